// The inspector and the general bake on the generated sample world.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "apps/bake_tool/bake_tool.h"
#include "apps/dat_tool/dat_tool.h"
#include "quillmoor/authoring/test_support.h"
#include "apps/twinrun/twinrun.h"
#include "apps/worldgen/world.h"
#include "quillmoor/authoring/temp_dir.h"

namespace quillmoor {
namespace {

using tool_testing::Captured;

class ToolsOnSampleWorldTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new authoring::TempDir("tools-world");
    auto written = worldgen::write_world(dir_->path(), worldgen::Options{});
    ASSERT_TRUE(written.ok()) << render_report(written.error());
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string portal() { return (*dir_ / "client_portal.dat").string(); }
  static std::string cell() { return (*dir_ / "client_cell_1.dat").string(); }

  static Captured dat(const std::vector<std::string>& args) {
    return tool_testing::capture(
        [&](std::FILE* out, std::FILE* err) { return dat_tool::run_dat_tool(args, out, err); });
  }
  static Captured bake(std::vector<std::string> args) {
    args.insert(args.begin(), {"--portal", portal(), "--cell", cell()});
    return tool_testing::capture([&](std::FILE* out, std::FILE* err) {
      return bake_tool::run_bake_tool(
          args, [](const char*) { return std::optional<std::string>(); }, twinrun::Settings{}, out, err);
    });
  }

  static authoring::TempDir* dir_;
};
authoring::TempDir* ToolsOnSampleWorldTest::dir_ = nullptr;

TEST_F(ToolsOnSampleWorldTest, InspectorListsAndShowsEveryFile) {
  for (const std::string& archive : {portal(), cell()}) {
    SCOPED_TRACE(archive);
    auto db = dat::DatDatabase::open(archive);
    ASSERT_TRUE(db.ok());
    const Captured info = dat({"info", archive});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("file_count:       " + std::to_string(db->file_count()) + "\n"), std::string::npos);
    auto stats = dat::directory_stats(*db);
    ASSERT_TRUE(stats.ok());
    EXPECT_EQ(stats->entries, db->file_count());

    const Captured ls = dat({"ls", archive, "--json"});
    ASSERT_EQ(ls.status, 0);
    EXPECT_EQ(static_cast<std::size_t>(std::count(ls.out.begin(), ls.out.end(), '\n')), db->file_count());

    const bool is_portal = archive == portal();
    std::size_t shown = 0, broken = 0;
    for (const auto& entry : dat_tool::sorted_entries(*db, std::nullopt)) {
      if (!dat_tool::record_kind_for(entry.id, is_portal)) continue;
      char id[16];
      std::snprintf(id, sizeof id, "%08X", entry.id);
      SCOPED_TRACE(id);
      const Captured show = dat({"show", archive, id});
      if (worldgen::is_deliberately_broken(entry.id)) {
        ++broken;
        EXPECT_EQ(show.status, 1);
        EXPECT_EQ(show.err.rfind(std::string("Error: parse 0x") + id + " as ", 0), 0u) << show.err;
      } else {
        ++shown;
        EXPECT_EQ(show.status, 0) << show.err;
        EXPECT_EQ(show.out.rfind(std::string("{\n  \"id\": \"0x") + id + "\"", 0), 0u);
      }
    }
    EXPECT_GT(shown, 10u);
    EXPECT_EQ(broken, 2u);  // the files the world breaks on purpose
  }
}

TEST_F(ToolsOnSampleWorldTest, RingBakeEqualsTwinrunsRunOnAnyNumberOfThreads) {
  const twinrun::RunResult reference = [] {
    auto p = dat::DatDatabase::open(portal());
    auto c = dat::DatDatabase::open(cell());
    auto bytes = p->get_file(dat::kRegionFileId);
    dat::BinReader reader(*bytes);
    auto region = dat::Region::unpack(reader);
    return twinrun::bake_ring_to_lines(*region, *p, *c, twinrun::ring_landblocks());
  }();
  std::string stream;
  for (const auto& entry : reference) {
    for (const auto& line : entry.lines) stream += bake_tool::stream_line(entry.landblock, line) + "\n";
  }
  ASSERT_GT(stream.size(), 100000u);

  for (const char* threads : {"1", "2", "3"}) {
    SCOPED_TRACE(threads);
    const Captured r = bake({"A3AE-AFBA", "--threads", threads});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == stream);

    const auto dir = *dir_ / (std::string("files-") + threads);
    ASSERT_EQ(bake({"A3AE-AFBA", "--threads", threads, "--out", dir.string()}).status, 0);
    for (const auto& entry : reference) {
      std::string content;
      for (const auto& line : entry.lines) content += line + "\n";
      char name[32];
      std::snprintf(name, sizeof name, "0x%04X.scenery.jsonl", entry.landblock);
      EXPECT_TRUE(tool_testing::read_file(dir / name) == content) << name;
    }
  }
}

TEST_F(ToolsOnSampleWorldTest, EveryLandblockBakesTheSameOnOneAndTwoThreads) {
  for (const char* mode : {"--slope", "--no-progress"}) {
    SCOPED_TRACE(mode);
    const Captured one = bake({"--all", mode, "--threads", "1"});
    const Captured two = bake({"--all", mode, "--threads", "2"});
    ASSERT_EQ(one.status, 0) << one.err;
    ASSERT_EQ(two.status, 0) << two.err;
    EXPECT_GT(one.out.size(), 100000u);
    EXPECT_TRUE(one.out == two.out);
    EXPECT_EQ(one.err, two.err);
  }
}

TEST_F(ToolsOnSampleWorldTest, RingMapIsSmallAndComplete) {
  const auto svg = *dir_ / "ring.svg";
  const Captured r = bake({"A3AE-AFBA", "--map", svg.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string text = tool_testing::read_file(svg);
  EXPECT_LT(text.size(), 3u << 20);
  const auto at = r.err.find("baked 169 LBs, ");
  ASSERT_NE(at, std::string::npos);
  const std::size_t placements = std::stoul(r.err.substr(at + 15));
  std::size_t circles = 0;
  for (std::size_t p = text.find("<circle cx"); p != std::string::npos; p = text.find("<circle cx", p + 1)) ++circles;
  // One mark per placement, plus one per model in the legend.
  EXPECT_GT(circles, placements);
  EXPECT_LT(circles, placements + 21);
  EXPECT_NE(text.find("<g id=\"footprints\""), std::string::npos);
  EXPECT_NE(text.find("<g id=\"roads\""), std::string::npos);
}

}  // namespace
}  // namespace quillmoor
