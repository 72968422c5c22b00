// Terrain height sampling on one landblock: the 9 x 9 grid of vertex
// heights and three samplers over it (bilinear height, the height of the
// terrain triangle's plane, and the slope of a cell).
//
// Every sampler works in single precision, each operation rounded on its
// own in the order written in height.cc; the bake's output is bit-exact
// only as long as that order holds. All four are pure and allocate nothing.
#pragma once

#include <array>
#include <cstdint>

#include "quillmoor/dat/landblock.h"
#include "quillmoor/dat/region.h"

namespace quillmoor::bake {

// Height grid: entry i * 9 + j is the height of vertex (i, j), which lies
// at landblock coordinates (24 i, 24 j).
using HeightGrid = std::array<float, 81>;

// Maps each height code through the region's land height table; a code
// beyond the table takes its last entry. With an empty table (never the
// case for a parsed region) every height stays 0. Height codes beyond the
// 81st are ignored; missing ones leave their vertex at 0.
HeightGrid vertex_heights(const dat::Region& region, const dat::CellLandblock& landblock);

// Bilinear interpolation between the four corners of the cell holding
// (x, y); coordinates are clamped to the landblock, and at the far edge
// the interpolation runs along the edge column or row only.
float bilinear_height_from_grid(const HeightGrid& grid, float x, float y);

// Height of the plane through the terrain triangle that holds (x, y). Each
// cell is split along one of its diagonals, chosen by a hash of the cell's
// global position, so the landblock id is needed. Points outside the
// landblock use the nearest edge cell's planes.
float triangle_plane_height_from_grid(const HeightGrid& grid, std::uint16_t landblock_id, float x,
                                      float y);

// Slope angle in radians (0 up to just under pi/2) of the cell holding
// (x, y); the position inside the cell does not matter. Negative or NaN
// coordinates use the first cell; at x >= 192 both x corners are the edge
// column, so the x gradient is 0 there (likewise for y).
float slope_at(const HeightGrid& grid, float x, float y);

// The diagonal choice of a cell at global cell indices (gx, gy), in
// wrapping 32-bit arithmetic. Bit 31 clear: the diagonal runs from
// (X1, Y0) to (X0, Y1); set: from (X0, Y0) to (X1, Y1).
std::uint32_t cell_split_hash(std::uint32_t gx, std::uint32_t gy);

}  // namespace quillmoor::bake
