#include "apps/bake_tool/bake_tool.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "apps/bake_tool/parallel_bake.h"
#include "apps/bake_tool/svg_map.h"
#include "quillmoor/authoring/test_support.h"
#include "apps/twinrun/fixture_world.h"
#include "apps/twinrun/placement_line.h"
#include "apps/twinrun/ring_bake.h"
#include "quillmoor/authoring/temp_dir.h"

namespace quillmoor::bake_tool {
namespace {

using tool_testing::Captured;
using twinrun::testing::kExampleLandblock;
using twinrun::testing::kExampleLine;

TEST(ParseLandblocksTest, IdsAndRanges) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::uint16_t> ids;
  };
  const Case cases[] = {
      {{"A9B4"}, {0xA9B4}},
      {{"0xa9b4", "0XA9B4"}, {0xA9B4}},  // repeats are dropped
      {{"7"}, {0x0007}},
      {{"A9B4", "0101"}, {0x0101, 0xA9B4}},  // id order, not argument order
      {{"A3AE-A4AF"}, {0xA3AE, 0xA3AF, 0xA4AE, 0xA4AF}},  // x-major rectangle
      {{"A3AE-A3AE"}, {0xA3AE}},
      {{"A4AF", "A3AE-A4AF"}, {0xA3AE, 0xA3AF, 0xA4AE, 0xA4AF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    auto ids = parse_landblocks(c.args);
    ASSERT_TRUE(ids.ok()) << ids.error();
    EXPECT_EQ(*ids, c.ids);
  }
  auto ring = parse_landblocks({"A3AE-AFBA"});
  ASSERT_TRUE(ring.ok());
  EXPECT_EQ(*ring, twinrun::ring_landblocks());

  struct Bad {
    const char* arg;
    const char* message;
  };
  const Bad bad[] = {
      {"A9B4X", "'A9B4X' is not a landblock id (four hex digits, e.g. A9B4)"},
      {"12345", "'12345' is not a landblock id"},
      {"", "'' is not a landblock id"},
      {"A3AE-", "'A3AE-' is not a landblock range (e.g. A3AE-AFBA)"},
      {"A3AE-AFBA-B0B0", "is not a landblock range"},
      {"A4AE-A3AF", "range 'A4AE-A3AF' is empty"},  // x runs backwards
      {"A3AF-A4AE", "range 'A3AF-A4AE' is empty"},  // y runs backwards
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.arg);
    auto ids = parse_landblocks({b.arg});
    ASSERT_FALSE(ids.ok());
    EXPECT_NE(ids.error().find(b.message), std::string::npos) << ids.error();
  }
}

TEST(StreamLineTest, LeadsWithTheLandblock) {
  EXPECT_EQ(stream_line(0x0A0B, "{\"obj_id\":\"0x01000001\"}"), "{\"landblock\":\"0x0A0B\",\"obj_id\":\"0x01000001\"}");
}

TEST(ParseOptionsTest, Errors) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{}, "no landblocks: give ids, ranges or --all"},
      {{"--slope"}, "no landblocks"},
      {{"--all", "A9B4"}, "--all excludes a list of landblocks"},
      {{"A9B4", "--out", "d", "--stream", "-"}, "--out and --stream exclude each other"},
      {{"A9B4", "--threads"}, "--threads needs a value"},
      {{"A9B4", "--threads", "0"}, "--threads takes a whole number from 1 to 256, not '0'"},
      {{"A9B4", "--threads", "-2"}, "not '-2'"},
      {{"A9B4", "--threads", "2x"}, "not '2x'"},
      {{"A9B4", "--threads", "257"}, "not '257'"},
      {{"A9B4", "--map"}, "--map needs a value"},
      {{"A9B4", "--frob"}, "unknown option --frob"},
      {{"Z9B4"}, "'Z9B4' is not a landblock id"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    auto o = parse_options(c.args);
    ASSERT_FALSE(o.ok());
    EXPECT_NE(o.error().find(c.message), std::string::npos) << o.error();
  }
  auto o = parse_options({"--all", "--slope", "--threads", "4", "--map", "m.svg", "--no-progress"});
  ASSERT_TRUE(o.ok());
  EXPECT_TRUE(o->all && o->slope);
  EXPECT_EQ(o->threads, 4u);
  EXPECT_EQ(o->map, "m.svg");
  EXPECT_EQ(o->progress, ProgressMode::kOff);
}

// The example world of twinrun's tests: one landblock that bakes to one
// placement, one whose terrain is cut short, and one with a building.
class BakeToolTest : public ::testing::Test {
 protected:
  static constexpr std::uint16_t kTruncated = 0xA9B5;

  void SetUp() override {
    twinrun::testing::ArchiveFixture cell = twinrun::testing::example_cell();
    auto truncated = authoring::write_cell_landblock(twinrun::testing::example_terrain(kTruncated));
    truncated.resize(250);
    cell.files[dat::terrain_file_id(kTruncated)] = truncated;
    twinrun::testing::example_portal().write(dir_ / "portal.dat");
    cell.write(dir_ / "cell.dat");
  }

  Captured run(std::vector<std::string> args, std::map<std::string, std::string> env = {}) {
    if (env.empty()) args.insert(args.begin(), {"--portal", (dir_ / "portal.dat").string(), "--cell", (dir_ / "cell.dat").string()});
    return tool_testing::capture([&](std::FILE* out, std::FILE* err) {
      return run_bake_tool(
          args,
          [&](const char* name) -> std::optional<std::string> {
            auto it = env.find(name);
            return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
          },
          twinrun::Settings{}, out, err);
    });
  }

  authoring::TempDir dir_{"bake-tool"};
};

TEST_F(BakeToolTest, StreamsTwinrunsLinesWithTheLandblock) {
  const Captured r = run({"A9B4-A9B6"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, stream_line(kExampleLandblock, kExampleLine) + "\n");
  EXPECT_EQ(r.err, "quillmoor-bake: baked 3 LBs, 1 placements (triangle plane)\n");
}

TEST_F(BakeToolTest, WritesOneFilePerLandblock) {
  const auto out = dir_ / "out" / "deeper";
  const Captured r = run({"A9B4", "A9B5", "0101", "--out", out.string()});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(tool_testing::read_file(out / "0xA9B4.scenery.jsonl"), std::string(kExampleLine) + "\n");
  // Without terrain, or with terrain that does not parse: an empty file.
  EXPECT_EQ(tool_testing::read_file(out / "0xA9B5.scenery.jsonl"), "");
  EXPECT_TRUE(std::filesystem::exists(out / "0x0101.scenery.jsonl"));
  EXPECT_EQ(std::filesystem::file_size(out / "0x0101.scenery.jsonl"), 0u);
}

TEST_F(BakeToolTest, AllMeansEveryLandblockWithTerrain) {
  const Captured r = run({"--all", "--stream", (dir_ / "all.jsonl").string()});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.err, "quillmoor-bake: baked 2 LBs, 1 placements (triangle plane)\n");  // A9B4, A9B5
  EXPECT_EQ(tool_testing::read_file(dir_ / "all.jsonl"), stream_line(kExampleLandblock, kExampleLine) + "\n");
}

TEST_F(BakeToolTest, SlopeModeIsTheBakesOtherHeightMode) {
  auto portal = dat::DatDatabase::open(dir_ / "portal.dat");
  auto cell = dat::DatDatabase::open(dir_ / "cell.dat");
  ASSERT_TRUE(portal.ok() && cell.ok());
  twinrun::SceneCache scenes;
  twinrun::MeshCache meshes;
  const auto baked = twinrun::bake_one_landblock(twinrun::testing::example_region(), *portal, *cell, scenes,
                                                 meshes, kExampleLandblock, /*bilinear_with_slope=*/true);
  std::string expected;
  for (const auto& p : baked.placements) expected += stream_line(kExampleLandblock, twinrun::placement_line(p)) + "\n";
  const Captured r = run({"A9B4", "--slope"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, expected);
  EXPECT_NE(r.err.find("(bilinear with slope)"), std::string::npos);
}

TEST_F(BakeToolTest, ArchivesComeFromTheEnvironmentLikeTwinrun) {
  const Captured r = run({"A9B4"}, {{"QUILLMOOR_PORTAL_DAT", (dir_ / "portal.dat").string()},
                                    {"QUILLMOOR_CELL_DAT", (dir_ / "cell.dat").string()}});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, stream_line(kExampleLandblock, kExampleLine) + "\n");

  const Captured none = run({"A9B4"}, {{"QUILLMOOR_PORTAL_DAT", (dir_ / "missing.dat").string()}});
  EXPECT_EQ(none.status, kExitError);
  EXPECT_EQ(none.err, "Error: client_portal.dat not found in any candidate location\n");
}

TEST_F(BakeToolTest, FailuresPrintTheReport) {
  // A portal archive without the region file.
  twinrun::testing::ArchiveFixture empty;
  empty.files[0x05000000] = {1};
  empty.write(dir_ / "no-region.dat");
  const Captured region = run({"--portal", (dir_ / "no-region.dat").string(), "--cell", (dir_ / "cell.dat").string(), "A9B4"}, {{"unused", ""}});
  EXPECT_EQ(region.status, kExitError);
  EXPECT_EQ(region.err, "Error: fetch Region 0x13000000\n\nCaused by:\n    File ID 13000000 not found in provider\n");

  const Captured open = run({"--portal", (dir_ / "nope.dat").string(), "A9B4"}, {{"unused", ""}});
  EXPECT_EQ(open.status, kExitError);
  EXPECT_EQ(open.err.rfind("Error: open portal " + (dir_ / "nope.dat").string() + "\n\nCaused by:\n", 0), 0u) << open.err;

  // Output that cannot be written: a directory where a file should go, a
  // file where a directory should go.
  std::filesystem::create_directories(dir_ / "taken.svg");
  const Captured map = run({"A9B4", "--map", (dir_ / "taken.svg").string()});
  EXPECT_EQ(map.status, kExitError);
  EXPECT_EQ(map.err.rfind("Error: write " + (dir_ / "taken.svg").string() + "\n\nCaused by:\n    ", 0), 0u) << map.err;
  std::ofstream(dir_ / "plain").put('x');
  const Captured out = run({"A9B4", "--out", (dir_ / "plain").string()});
  EXPECT_EQ(out.status, kExitError);
  EXPECT_EQ(out.err.rfind("Error: create " + (dir_ / "plain").string() + "\n\nCaused by:\n    ", 0), 0u) << out.err;
  const Captured stream = run({"A9B4", "--stream", (dir_ / "taken.svg").string()});
  EXPECT_EQ(stream.status, kExitError);
  EXPECT_EQ(stream.err.rfind("Error: write " + (dir_ / "taken.svg").string() + "\n\nCaused by:\n    ", 0), 0u) << stream.err;

  const Captured usage = run({"A9B4", "--threads", "0"});
  EXPECT_EQ(usage.status, kExitUsage);
  EXPECT_EQ(usage.err.rfind("quillmoor-bake: --threads takes", 0), 0u);
  EXPECT_NE(usage.err.find("\n\nusage: quillmoor-bake"), std::string::npos);
  const Captured help = run({"--help"});
  EXPECT_EQ(help.status, kExitOk);
  EXPECT_EQ(help.out, kUsage);
}

TEST_F(BakeToolTest, ProgressBarOnRequest) {
  const Captured r = run({"A9B4-A9B5", "--progress", "--out", (dir_ / "p").string()});
  ASSERT_EQ(r.status, kExitOk);
  EXPECT_EQ(r.err,
            "\rquillmoor-bake: [####################--------------------] 1/2 LBs"
            "\rquillmoor-bake: [########################################] 2/2 LBs\n"
            "quillmoor-bake: baked 2 LBs, 1 placements (triangle plane)\n");
}

TEST_F(BakeToolTest, MapShowsWhatTheBakeDid) {
  const auto svg_path = dir_ / "map.svg";
  const Captured r = run({"A9B4-A9B5", "--map", svg_path.string()});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, "");  // a map alone writes no lines
  const std::string svg = tool_testing::read_file(svg_path);
  EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
  // The one placement, at (110.870834, 82.002731) of landblock A9B4, which
  // is the lower of the two landblocks (y B4 below B5), north up.
  const std::string colour = model_colour(twinrun::testing::kPointGfx);
  EXPECT_NE(svg.find("<g fill=\"" + colour + "\">\n<circle cx=\"110.9\" cy=\"302.0\" r=\"3\"/>\n</g>"), std::string::npos) << svg;
  EXPECT_NE(svg.find("0x01000001  1</text>"), std::string::npos);
  EXPECT_NE(svg.find("2 landblocks (1 with terrain), 1 placements"), std::string::npos);
}

MapTile flat_tile(std::uint16_t lb, float height) {
  MapTile t;
  t.landblock = lb;
  t.has_terrain = true;
  t.cell_height.fill(height);
  return t;
}

TEST(SvgMapTest, TerrainRowsJoinAndRoadsFootprintsAndMarksAppear) {
  MapTile low = flat_tile(0x1010, 0.0f);
  low.road_cells = (std::uint64_t{1} << (2 * 8 + 0)) | (std::uint64_t{1} << (3 * 8 + 0));  // cells (2,0), (3,0)
  low.footprints.push_back({10.0f, 20.0f, 30.0f, 50.0f});
  low.footprints.push_back({INFINITY, INFINITY, -INFINITY, -INFINITY});  // a mesh of NaN points only: not drawn
  low.marks.push_back({96.0f, 96.0f, 0x01000001});
  low.marks.push_back({0.0f, 192.0f, 0x02000005});
  MapTile high = flat_tile(0x1110, 100.0f);
  const MapTile tiles[] = {low, high};
  const std::string svg = render_map(tiles, "test <map>");

  // Two landblocks side by side: each row of cells is one rectangle per
  // landblock, of the lowest and the highest shade.
  EXPECT_NE(svg.find("<rect x=\"0\" y=\"168\" width=\"192\" height=\"24\" fill=\"" + height_colour(0, 0, 100) + "\"/>"),
            std::string::npos) << svg;
  EXPECT_NE(svg.find("<rect x=\"192\" y=\"168\" width=\"192\" height=\"24\" fill=\"" + height_colour(100, 0, 100) + "\"/>"),
            std::string::npos);
  // The two road cells of the bottom row join.
  EXPECT_NE(svg.find("<g id=\"roads\" fill=\"#8b5a2b\" fill-opacity=\"0.85\" shape-rendering=\"crispEdges\">\n"
                     "<rect x=\"48\" y=\"168\" width=\"48\" height=\"24\"/>\n</g>"),
            std::string::npos);
  EXPECT_NE(svg.find("<rect x=\"10.0\" y=\"142.0\" width=\"20.0\" height=\"30.0\"/>"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
  EXPECT_NE(svg.find("<circle cx=\"96.0\" cy=\"96.0\" r=\"3\"/>"), std::string::npos);
  EXPECT_NE(svg.find("<circle cx=\"0.0\" cy=\"0.0\" r=\"3\"/>"), std::string::npos);
  EXPECT_NE(svg.find("test &lt;map&gt;"), std::string::npos);
  EXPECT_NE(svg.find(">height 0</text>"), std::string::npos);
}

TEST(SvgMapTest, ColoursAreStableAndDistinct) {
  EXPECT_EQ(model_colour(0x01000001), model_colour(0x01000001));
  EXPECT_NE(model_colour(0x01000001), model_colour(0x01000002));
  EXPECT_EQ(model_colour(0x01000001).size(), 7u);
  // The ramp runs from dark green to light grey; a flat world is all low.
  EXPECT_EQ(height_colour(0, 0, 10), height_colour(-5, 0, 10));
  EXPECT_EQ(height_colour(10, 0, 10), height_colour(50, 0, 10));
  EXPECT_NE(height_colour(0, 0, 10), height_colour(10, 0, 10));
  EXPECT_EQ(height_colour(7, 3, 3), height_colour(3, 3, 3));
  EXPECT_EQ(height_colour(NAN, 0, 10), height_colour(0, 0, 10));
}

TEST(SvgMapTest, LargeAreasAreSimplified) {
  std::vector<MapTile> tiles;
  for (unsigned i = 0; i <= kFullDetailLandblocks; ++i) {
    MapTile t = flat_tile(static_cast<std::uint16_t>(i), static_cast<float>(i % 7));
    t.road_cells = ~std::uint64_t{0};
    tiles.push_back(std::move(t));
  }
  tiles[0].marks.assign(kMaxMarks + 1, MapMark{1, 1, 0x01000001});
  const std::string svg = render_map(tiles, "big");
  EXPECT_EQ(svg.find("<circle cx=\"1.0\""), std::string::npos);
  EXPECT_NE(svg.find("placements left out (" + std::to_string(kMaxMarks + 1) + ")"), std::string::npos);
  EXPECT_NE(svg.find("roads not drawn at this size"), std::string::npos);
  // One rectangle per landblock column run, never per cell.
  EXPECT_EQ(svg.find("height=\"24\""), std::string::npos);
  EXPECT_LT(svg.size(), 400000u);
}

}  // namespace
}  // namespace quillmoor::bake_tool
