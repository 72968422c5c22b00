// What the map needs of one baked landblock, without the terrain record.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "apps/twinrun/ring_bake.h"
#include "quillmoor/dat/region.h"

namespace quillmoor::bake_tool {

struct MapMark {
  float x = 0, y = 0;  // landblock space
  std::uint32_t obj_id = 0;
};

struct MapTile {
  std::uint16_t landblock = 0;
  bool has_terrain = false;
  // Mean of the four corner heights of cell (cx, cy), at cx * 8 + cy.
  std::array<float, 64> cell_height{};
  // Bit cx * 8 + cy: the bake treats cell (cx, cy) as road.
  std::uint64_t road_cells = 0;
  std::vector<bake::FootprintRect> footprints;
  std::vector<MapMark> marks;
};

MapTile make_tile(const dat::Region& region, const twinrun::LandblockBake& baked);

}  // namespace quillmoor::bake_tool
