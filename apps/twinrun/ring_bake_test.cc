#include "apps/twinrun/ring_bake.h"

#include <gtest/gtest.h>

#include <cmath>

#include "apps/twinrun/fixture_world.h"
#include "quillmoor/authoring/temp_dir.h"

namespace quillmoor::twinrun {
namespace {

using testing::ArchiveFixture;
using testing::kExampleLandblock;
using testing::kExampleLine;

TEST(BuildingFootprintTest, UnturnedBuildingIsItsMeshShifted) {
  dat::Frame frame{{100.0f, 50.0f, 7.0f}, {1.0f, 0.0f, 0.0f, 0.0f}};
  const LocalMesh mesh = {{-2.0f, -1.0f, 0.0f}, {3.0f, 4.0f, 9.0f}, {0.5f, 0.5f, -3.0f}};
  const auto r = building_footprint(frame, mesh);
  EXPECT_EQ(r.min_x, 98.0f);
  EXPECT_EQ(r.min_y, 49.0f);
  EXPECT_EQ(r.max_x, 103.0f);
  EXPECT_EQ(r.max_y, 54.0f);
}

TEST(BuildingFootprintTest, QuarterTurnMapsXOntoY) {
  const float c = std::cos(0.7853982f), s = std::sin(0.7853982f);  // 45 degrees: a 90 degree heading
  dat::Frame frame{{0.0f, 0.0f, 0.0f}, {c, 0.0f, 0.0f, s}};
  const auto r = building_footprint(frame, {{1.0f, 0.0f, 0.0f}});
  EXPECT_NEAR(r.min_x, 0.0f, 1e-6f);
  EXPECT_NEAR(r.min_y, 1.0f, 1e-6f);
  EXPECT_EQ(r.min_x, r.max_x);
  EXPECT_EQ(r.min_y, r.max_y);
}

TEST(BuildingFootprintTest, NanPointsNeverEnterTheRectangle) {
  dat::Frame frame{{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f, 0.0f}};
  // A NaN coordinate spreads to both turned coordinates; z is not used.
  const auto r = building_footprint(frame, {{NAN, 5.0f, 0.0f}, {1.0f, 2.0f, NAN}});
  EXPECT_EQ(r.min_x, 1.0f);
  EXPECT_EQ(r.max_x, 1.0f);
  EXPECT_EQ(r.min_y, 2.0f);
  EXPECT_EQ(r.max_y, 2.0f);
}

class RingBakeTest : public ::testing::Test {
 protected:
  RunResult bake(const ArchiveFixture& portal, const ArchiveFixture& cell,
                 std::vector<std::uint16_t> ids) {
    portal.write(dir_ / "portal.dat");
    cell.write(dir_ / "cell.dat");
    auto p = dat::DatDatabase::open(dir_ / "portal.dat");
    auto c = dat::DatDatabase::open(dir_ / "cell.dat");
    EXPECT_TRUE(p.ok() && c.ok());
    return bake_ring_to_lines(testing::example_region(), *p, *c, ids);
  }

  authoring::TempDir dir_{"ring-bake"};
};

TEST_F(RingBakeTest, KeepsInputOrderAndAbsorbsBadTerrain) {
  ArchiveFixture cell = testing::example_cell();
  auto truncated = authoring::write_cell_landblock(testing::example_terrain(0xA9B5));
  truncated.resize(250);
  cell.files[dat::terrain_file_id(0xA9B5)] = truncated;

  const RunResult run = bake(testing::example_portal(), cell, {0xA9B5, 0x0101, kExampleLandblock});
  ASSERT_EQ(run.size(), 3u);
  EXPECT_EQ(run[0], (LandblockLines{0xA9B5, {}}));  // terrain does not parse
  EXPECT_EQ(run[1], (LandblockLines{0x0101, {}}));  // no terrain at all
  EXPECT_EQ(run[2], (LandblockLines{kExampleLandblock, {kExampleLine}}));  // no info: no footprints
}

TEST_F(RingBakeTest, BuildingsKeepSceneryOff) {
  struct Case {
    const char* name;
    std::uint32_t model;
    bool info_parses;
    bool placed;
  };
  const Case cases[] = {
      {"building over the spot", testing::kPointGfx + 1, true, false},
      {"building without a mesh", 0x0100DEAD, true, true},
      {"info that does not parse", testing::kPointGfx + 1, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ArchiveFixture portal = testing::example_portal();
    // A 10 x 10 block around the example placement (110.87, 82.00).
    portal.files[testing::kPointGfx + 1] =
        testing::gfx_with_points(testing::kPointGfx + 1, {{-5.0f, -5.0f, 0.0f}, {5.0f, 5.0f, 0.0f}});
    ArchiveFixture cell = testing::example_cell();
    dat::LandblockInfo info;
    dat::BuildInfo building;
    building.model_id = c.model;
    building.frame = {{110.0f, 82.0f, 0.0f}, {1.0f, 0.0f, 0.0f, 0.0f}};
    info.buildings.push_back(building);
    auto bytes = authoring::write_landblock_info(info);
    if (!c.info_parses) bytes.resize(bytes.size() - 1);
    cell.files[dat::info_file_id(kExampleLandblock)] = bytes;

    const RunResult run = bake(portal, cell, {kExampleLandblock});
    ASSERT_EQ(run.size(), 1u);
    EXPECT_EQ(run[0].lines.size(), c.placed ? 1u : 0u);
  }
}

}  // namespace
}  // namespace quillmoor::twinrun
