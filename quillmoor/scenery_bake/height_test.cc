#include "quillmoor/scenery_bake/height.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace quillmoor::bake {
namespace {

constexpr std::uint16_t kLandblock = 0xA9B4;  // global cells start at (1352, 1440)

std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

std::string text(float v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", digits, static_cast<double>(v));
  return buf;
}

HeightGrid grid_with(int vx, int vy, float h) {
  HeightGrid grid{};
  grid[static_cast<std::size_t>(vx * 9 + vy)] = h;
  return grid;
}

// Height 12 i at vertex (i, j): the plane z = x / 2.
HeightGrid x_ramp() {
  HeightGrid grid{};
  for (int i = 0; i < 9; ++i)
    for (int j = 0; j < 9; ++j) grid[static_cast<std::size_t>(i * 9 + j)] = 12.0f * static_cast<float>(i);
  return grid;
}

TEST(VertexHeights, MapsEveryCodeThroughTheTable) {
  dat::Region region;
  for (int i = 0; i < 256; ++i) region.land_parameters.land_height_table.push_back(0.5f + 2.0f * static_cast<float>(i));
  dat::CellLandblock lb;
  for (int i = 0; i < 81; ++i) lb.height.push_back(static_cast<std::uint8_t>(i * 3));
  lb.height[80] = 255;  // the last table entry
  const HeightGrid grid = vertex_heights(region, lb);
  for (int i = 0; i < 80; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(bits(grid[static_cast<std::size_t>(i)]), bits(0.5f + 2.0f * static_cast<float>(i * 3)));
  }
  EXPECT_EQ(bits(grid[80]), bits(510.5f));
}

TEST(VertexHeights, ShortTableClampsToItsLastEntryAndEmptyTableGivesZeros) {
  dat::CellLandblock lb;
  lb.height.assign(81, 0);
  lb.height[5] = 1;
  lb.height[6] = 200;
  dat::Region region;
  region.land_parameters.land_height_table = {7.0f, 8.0f, 9.0f};
  const HeightGrid grid = vertex_heights(region, lb);
  EXPECT_EQ(grid[0], 7.0f);
  EXPECT_EQ(grid[5], 8.0f);
  EXPECT_EQ(grid[6], 9.0f);

  region.land_parameters.land_height_table.clear();
  for (float h : vertex_heights(region, lb)) EXPECT_EQ(bits(h), 0u);
}

TEST(VertexHeights, IgnoresCodesBeyondTheGridAndZeroesMissingOnes) {
  dat::Region region;
  region.land_parameters.land_height_table.assign(256, 3.0f);
  dat::CellLandblock lb;
  lb.height.assign(10, 1);
  HeightGrid grid = vertex_heights(region, lb);
  EXPECT_EQ(grid[9], 3.0f);
  EXPECT_EQ(bits(grid[10]), 0u);
  lb.height.assign(200, 1);
  grid = vertex_heights(region, lb);
  EXPECT_EQ(grid[80], 3.0f);
}

TEST(CellSplit, KnownCellsOfLandblockA9B4) {
  struct Case {
    std::uint32_t cx, cy;
    std::int32_t split;
  };
  const Case cases[] = {{0, 0, -1050945261}, {1, 0, 1941509174}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cx);
    EXPECT_EQ(static_cast<std::int32_t>(cell_split_hash(1352 + c.cx, 1440 + c.cy)), c.split);
  }
}

struct SampleCase {
  float x, y;
  float expected;
};

void expect_samples(const HeightGrid& grid, const SampleCase (&cases)[5], bool triangle) {
  for (const SampleCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
    const float got = triangle ? triangle_plane_height_from_grid(grid, kLandblock, c.x, c.y)
                               : bilinear_height_from_grid(grid, c.x, c.y);
    EXPECT_EQ(bits(got), bits(c.expected)) << got;
  }
}

TEST(TrianglePlane, CellWithSplitAboveZero) {
  // Cell (1, 0): h10 = 24, the other corners 0; the diagonal runs from
  // (48, 0) to (24, 24).
  const HeightGrid grid = grid_with(2, 0, 24.0f);
  const SampleCase cases[] = {
      {30, 6, 6},    // first triangle
      {42, 6, 18},   // first triangle, near the raised corner
      {30, 18, 6},   // on the diagonal: first triangle
      {42, 18, 6},   // second triangle
      {36, 12, 12},  // cell centre
  };
  expect_samples(grid, cases, true);
}

TEST(TrianglePlane, CellWithSplitBelowZeroGivesNegativeZeros) {
  // Cell (0, 0): h10 = 24; the diagonal runs from (0, 0) to (24, 24).
  const HeightGrid grid = grid_with(1, 0, 24.0f);
  const SampleCase cases[] = {
      {18, 6, 12},
      {6, 6, -0.0f},   // on the diagonal
      {6, 18, -0.0f},  // second triangle
      {12, 3, 9},
      {23, 1, 22},
  };
  expect_samples(grid, cases, true);
  EXPECT_TRUE(std::signbit(triangle_plane_height_from_grid(grid, kLandblock, 6, 6)));
  EXPECT_TRUE(std::signbit(triangle_plane_height_from_grid(grid, kLandblock, 6, 18)));
}

TEST(Bilinear, CellWithOneRaisedCorner) {
  const HeightGrid grid = grid_with(2, 0, 24.0f);
  const SampleCase cases[] = {
      {30, 6, 4.5f},  // (0.25 * 24) * 0.75
      {36, 12, 6},
      {48, 0, 24},  // on the raised vertex
      {24, 0, 0},
      {42, 18, 4.5f},
  };
  expect_samples(grid, cases, false);
}

TEST(Samplers, UnevenCellsRoundEachStepInOrder) {
  // Six uneven vertices around cells (0, 0) and (1, 0) of landblock 0xA9B4
  // (one cell of each split). The expected bits follow the formulas step
  // by step in single precision; regrouping any sum or product changes
  // some of them. For the slope, the argument of the square root.
  HeightGrid grid{};
  grid[0] = 13.7f;   // (0, 0)
  grid[9] = 41.3f;   // (1, 0)
  grid[18] = 7.9f;   // (2, 0)
  grid[1] = 29.1f;   // (0, 1)
  grid[10] = 3.3f;   // (1, 1)
  grid[19] = 55.5f;  // (2, 1)
  struct Case {
    float x, y;
    std::uint32_t triangle, bilinear, slope_squared;
  };
  const Case cases[] = {
      {0x1.f147aep+2f, 0x1.cf5c28p+1f, 0x41873b0c, 0x41b2ce35, 0x3e6471c5},  // (7.77, 3.62)
      {0x1.9b851ep+3f, 0x1.18f5c2p+3f, 0x416965b5, 0x41bd3d91, 0x3e6471c5},  // (12.86, 8.78)
      {0x1.600000p+2f, 0x1.340000p+4f, 0x41a11ddd, 0x41b47e22, 0x3e6471c5},  // (5.5, 19.25), second triangle
      {0x1.44ccccp+4f, 0x1.61999ap+4f, 0x40c1dddc, 0x411a253f, 0x3e6471c5},  // (20.3, 22.1), second triangle
      {0x1.800000p+3f, 0x1.800000p+3f, 0x41080002, 0x41aecccd, 0x3e6471c5},  // (12, 12), on the diagonal
      {0x1.966666p+4f, 0x1.866666p+3f, 0x41a047ac, 0x41b49612, 0x3e460b64},  // (25.4, 12.2)
      {0x1.4a6666p+5f, 0x1.8cccccp+1f, 0x41450da2, 0x41a2496b, 0x3e460b64},  // (41.3, 3.1)
      {0x1.61999ap+5f, 0x1.4e6666p+4f, 0x422458bd, 0x422b5967, 0x3e460b64},  // (44.2, 20.9), second triangle
      {0x1.e9999ap+4f, 0x1.400000p+4f, 0x411b8bee, 0x41a0851f, 0x3e460b64},  // (30.6, 20), on the diagonal
      {0x1.200000p+5f, 0x1.800000p+3f, 0x40b33324, 0x41d80000, 0x3e460b64},  // (36, 12), on the diagonal
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
    EXPECT_EQ(bits(triangle_plane_height_from_grid(grid, kLandblock, c.x, c.y)), c.triangle);
    EXPECT_EQ(bits(bilinear_height_from_grid(grid, c.x, c.y)), c.bilinear);
    EXPECT_EQ(bits(slope_at(grid, c.x, c.y)), bits(std::atan(std::sqrt(std::bit_cast<float>(c.slope_squared)))));
  }
}

TEST(Samplers, UnevenInteriorCellsRoundEachStepInOrder) {
  // Cells away from the origin, where the corner coordinates enter every
  // sum: (5, 6) with its diagonal from (X0, Y0), (3, 2) with the other.
  HeightGrid grid{};
  grid[5 * 9 + 6] = 0x1.5f8ce6p+7f;  // about 175.8
  grid[5 * 9 + 7] = 0x1.078a28p+5f;  // about 32.9
  grid[6 * 9 + 6] = 0x1.2ad66cp+7f;  // about 149.4
  grid[6 * 9 + 7] = 0x1.a9db9ep+7f;  // about 212.9
  grid[3 * 9 + 2] = 0x1.773256p+6f;  // about 93.8
  grid[3 * 9 + 3] = 0x1.326b86p+7f;  // about 153.2
  grid[4 * 9 + 2] = 0x1.3120fap+6f;  // about 76.3
  grid[4 * 9 + 3] = 0x1.8d71d4p+6f;  // about 99.4
  EXPECT_NE(cell_split_hash(1352 + 5, 1440 + 6) >> 31, 0u);
  EXPECT_EQ(cell_split_hash(1352 + 3, 1440 + 2) >> 31, 0u);
  struct Case {
    float x, y;
    std::uint32_t triangle, bilinear, slope_squared;
  };
  const Case cases[] = {
      {0x1.2cf1ccp+6f, 0x1.c7bb62p+5f, 0x42e34442, 0x42df9b2a, 0x40a53ebd},  // (75.24, 56.97), first triangle
      {0x1.6e76f4p+6f, 0x1.0f776ep+6f, 0x42d271e2, 0x42d028b3, 0x40a53ebd},  // (91.62, 67.87), second triangle
      {0x1.f71a18p+6f, 0x1.2780a6p+7f, 0x43335c06, 0x431ade68, 0x414f9960},  // (125.78, 147.75), first triangle
      {0x1.09e382p+7f, 0x1.440460p+7f, 0x4325acd5, 0x4309e462, 0x414f9960},  // (132.94, 162.01), second triangle
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
    EXPECT_EQ(bits(triangle_plane_height_from_grid(grid, kLandblock, c.x, c.y)), c.triangle);
    EXPECT_EQ(bits(bilinear_height_from_grid(grid, c.x, c.y)), c.bilinear);
    EXPECT_EQ(bits(slope_at(grid, c.x, c.y)), bits(std::atan(std::sqrt(std::bit_cast<float>(c.slope_squared)))));
  }
}

TEST(Samplers, EqualHeightsEverywhere) {
  HeightGrid grid;
  grid.fill(10.0f);
  // Points where the bilinear weights are exact; the triangle sampler is
  // exact anywhere.
  const float points[][2] = {{0, 0},     {12, 6},   {30, 18},    {96, 96},  {192, 192}, {191.5f, 0.25f},
                             {-50, 300}, {250, -1}, {5.5f, 7.25f}, {100, 37}};
  for (const auto& p : points) {
    SCOPED_TRACE(testing::Message() << "(" << p[0] << ", " << p[1] << ")");
    EXPECT_EQ(bits(triangle_plane_height_from_grid(grid, kLandblock, p[0], p[1])), bits(10.0f));
    EXPECT_EQ(bits(slope_at(grid, p[0], p[1])), 0u);
  }
  const float exact[][2] = {{0, 0}, {12, 6}, {30, 18}, {96, 96}, {192, 192}, {-50, 300}, {250, -1}};
  for (const auto& p : exact) {
    SCOPED_TRACE(testing::Message() << "(" << p[0] << ", " << p[1] << ")");
    EXPECT_EQ(bits(bilinear_height_from_grid(grid, p[0], p[1])), bits(10.0f));
  }
  // The four separately rounded products land one step below.
  EXPECT_EQ(text(bilinear_height_from_grid(grid, 5.5f, 7.25f), 8), "9.99999905");
}

TEST(Samplers, PlaneRisingAlongX) {
  const HeightGrid grid = x_ramp();
  EXPECT_EQ(bits(bilinear_height_from_grid(grid, 30, 40)), bits(15.0f));
  EXPECT_EQ(bits(triangle_plane_height_from_grid(grid, kLandblock, 30, 40)), bits(15.0f));
  const float slope_points[][2] = {{0, 0}, {30, 40}, {100, 190}, {191.9f, 5}, {-20, -20}, {150, 250}};
  for (const auto& p : slope_points) {
    SCOPED_TRACE(testing::Message() << "(" << p[0] << ", " << p[1] << ")");
    EXPECT_EQ(bits(slope_at(grid, p[0], p[1])), bits(std::atan(0.5f)));
  }
  EXPECT_EQ(text(slope_at(grid, 30, 40), 7), "0.4636476");
  // From x = 192 on both x corners are the edge column: no x gradient.
  for (float x : {192.0f, 200.0f, 1e30f, std::numeric_limits<float>::infinity()}) {
    SCOPED_TRACE(x);
    EXPECT_EQ(bits(slope_at(grid, x, 50)), 0u);
  }
}

TEST(Slope, WholeCellSharesOneValue) {
  const HeightGrid grid = grid_with(2, 0, 24.0f);
  const float expected = std::atan(std::sqrt(0.5f));
  EXPECT_EQ(text(expected, 7), "0.6154797");
  for (const auto& p : {std::array<float, 2>{24, 0}, {30, 6}, {47.9f, 23.9f}, {36, 12}}) {
    SCOPED_TRACE(testing::Message() << "(" << p[0] << ", " << p[1] << ")");
    EXPECT_EQ(bits(slope_at(grid, p[0], p[1])), bits(expected));
  }
  // The neighbouring cell (2, 0) shares the raised vertex.
  EXPECT_EQ(bits(slope_at(grid, 50, 2)), bits(expected));
  // Cells away from the vertex are flat.
  EXPECT_EQ(bits(slope_at(grid, 80, 80)), 0u);
}

TEST(Samplers, OutsideTheLandblockUsesTheEdge) {
  // Heights vary along the far column x = 8 only: vertex (8, j) = 3 j.
  HeightGrid grid{};
  for (int j = 0; j < 9; ++j) grid[static_cast<std::size_t>(72 + j)] = 3.0f * static_cast<float>(j);
  // Bilinear at x >= 192 interpolates along that column.
  EXPECT_EQ(bits(bilinear_height_from_grid(grid, 192, 36)), bits(4.5f));
  EXPECT_EQ(bits(bilinear_height_from_grid(grid, 500, 36)), bits(4.5f));
  EXPECT_EQ(bits(bilinear_height_from_grid(grid, 500, 1000)), bits(24.0f));
  // The triangle sampler at x = 192 uses cell 7, equal to its value there.
  EXPECT_EQ(bits(triangle_plane_height_from_grid(grid, kLandblock, 192, 36)), bits(4.5f));
  // Slope at the far column: both x corners at x = 8, y gradient 3 / 24.
  EXPECT_EQ(bits(slope_at(grid, 192, 36)), bits(std::atan(0.125f)));

  // Negative x: bilinear clamps to the column x = 0, the triangle
  // sampler extends cell 0's plane.
  const HeightGrid ramp = x_ramp();
  EXPECT_EQ(bits(bilinear_height_from_grid(ramp, -30, 40)), 0u);
  EXPECT_EQ(bits(triangle_plane_height_from_grid(ramp, kLandblock, -30, 40)), bits(-15.0f));
  EXPECT_EQ(bits(triangle_plane_height_from_grid(ramp, kLandblock, 240, 40)), bits(120.0f));
  EXPECT_EQ(bits(slope_at(ramp, -30, 40)), bits(std::atan(0.5f)));
}

TEST(Samplers, NonFiniteCoordinatesAreDefined) {
  const HeightGrid ramp = x_ramp();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_TRUE(std::isnan(bilinear_height_from_grid(ramp, nan, 10)));
  EXPECT_TRUE(std::isnan(triangle_plane_height_from_grid(ramp, kLandblock, nan, 10)));
  // NaN coordinates take the first cell for the slope.
  EXPECT_EQ(bits(slope_at(ramp, nan, nan)), bits(std::atan(0.5f)));
  // Infinite coordinates clamp like large ones.
  EXPECT_EQ(bits(bilinear_height_from_grid(ramp, inf, 0)), bits(96.0f));
  EXPECT_EQ(bits(bilinear_height_from_grid(ramp, -inf, 0)), 0u);
  EXPECT_EQ(bits(slope_at(ramp, -inf, inf)), bits(std::atan(0.5f)));
  // The triangle sampler picks an edge cell for huge values (the plane
  // itself then gives infinities or NaN, as the formula does).
  const float huge = triangle_plane_height_from_grid(ramp, kLandblock, 1e30f, 10);
  EXPECT_EQ(bits(huge), bits(triangle_plane_height_from_grid(ramp, kLandblock, 1e30f, 10)));
}

}  // namespace
}  // namespace quillmoor::bake
