#include "apps/dat_tool/dat_tool.h"

#include <gtest/gtest.h>

#include "quillmoor/authoring/test_support.h"
#include "quillmoor/authoring/archive_writer.h"
#include "quillmoor/authoring/gfx_obj_writer.h"
#include "quillmoor/authoring/landblock_writer.h"
#include "quillmoor/authoring/region_writer.h"
#include "quillmoor/authoring/scene_writer.h"
#include "quillmoor/authoring/setup_model_writer.h"
#include "quillmoor/authoring/temp_dir.h"

namespace quillmoor::dat_tool {
namespace {

using tool_testing::Captured;

constexpr std::uint32_t kGfx = 0x01000001;         // stored compressed
constexpr std::uint32_t kBrokenGfx = 0x01000009;   // cut short
constexpr std::uint32_t kSetup = 0x02000001;
constexpr std::uint32_t kScene = 0x12000002;
constexpr std::uint32_t kOtherKind = 0x05000000;   // no reader
// Landblock x 0x01: its files' kind byte is that of a graphics object.
constexpr std::uint16_t kLandblock = 0x0107;

std::vector<std::uint8_t> gfx_bytes() {
  dat::GfxObj g;
  g.id = kGfx;
  g.vertex_array.vertex_type = 1;
  // Ids that sort differently as text (1, 10, 2) and as numbers.
  for (const std::uint16_t id : {10, 2, 1}) {
    dat::SWVertex v;
    v.origin = {static_cast<float>(id), 0.5f, -0.0f};
    g.vertex_array.vertices.put(id, std::move(v));
  }
  return std::move(authoring::write_gfx_obj(g)).value();
}

dat::Region small_region() {
  dat::Region r;
  r.id = dat::kRegionFileId;
  r.name = "Fixture \"Vale\"";
  r.land_parameters.land_height_table.assign(256, 0.25f);
  r.section_mask = dat::kRegionHasScene;
  r.scene_desc = dat::SceneDesc{{dat::SceneType{0, {kScene}}}};
  r.terrain_desc.terrain_types = {dat::TerrainType{"Grass", 0, {0}}};
  return r;
}

class DatToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::uint8_t> broken = gfx_bytes();
    broken.resize(10);  // id, flags and half the surface count
    dat::SetupModel setup;
    setup.id = kSetup;
    setup.parts = {kGfx};
    dat::ObjectDesc desc;
    desc.obj_id = kGfx;
    desc.frequency = 0.5f;
    portal_ = {
        {dat::kRegionFileId, authoring::write_region(small_region())},
        {kGfx, gfx_bytes(), 0, /*compress=*/true},
        {kBrokenGfx, broken},
        {kSetup, std::move(authoring::write_setup_model(setup)).value(), /*bit_flags=*/0x10},
        {kScene, authoring::write_scene(dat::Scene{kScene, {desc}})},
        {kOtherKind, {'h', 'i'}},
    };
    ASSERT_TRUE(authoring::write_archive(portal_path(), portal_).ok());

    dat::CellLandblock terrain;
    terrain.id = dat::terrain_file_id(kLandblock);
    terrain.terrain.assign(81, 0x0801);
    terrain.height.assign(81, 7);
    dat::LandblockInfo info;
    info.id = dat::info_file_id(kLandblock);
    info.num_cells = 3;
    dat::RestrictionTable table;
    table.tables.put(0x30, 5);
    table.tables.put(0x4, 6);
    info.restriction_tables = table;
    const std::vector<authoring::ArchiveFile> cell = {
        {dat::terrain_file_id(kLandblock), authoring::write_cell_landblock(terrain)},
        {dat::info_file_id(kLandblock), authoring::write_landblock_info(info)},
    };
    ASSERT_TRUE(authoring::write_archive(cell_path(), cell).ok());
  }

  std::string portal_path() const { return (dir_ / "portal.dat").string(); }
  std::string cell_path() const { return (dir_ / "cell.dat").string(); }

  static Captured run(const std::vector<std::string>& args) {
    return tool_testing::capture([&](std::FILE* out, std::FILE* err) { return run_dat_tool(args, out, err); });
  }

  // The stored size of a file of the portal archive.
  std::size_t stored_size(std::uint32_t id) const {
    for (const auto& f : portal_) {
      if (f.id == id) return f.compress ? authoring::compress_lrs(f.data).size() : f.data.size();
    }
    return 0;
  }

  authoring::TempDir dir_{"dat-tool"};
  std::vector<authoring::ArchiveFile> portal_;
};

TEST_F(DatToolTest, UsageErrorsExitWithTwoAndTheUsage) {
  const std::string p = portal_path();
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{}, "missing COMMAND"},
      {{"frob", p}, "unknown command 'frob'"},
      {{"info"}, "info takes ARCHIVE"},
      {{"info", p, "extra"}, "info takes ARCHIVE"},
      {{"info", p, "--bogus"}, "unknown option --bogus"},
      {{"ls", p, "--kind"}, "--kind needs a value"},
      {{"ls", p, "--kind", "0x100"}, "--kind takes a hexadecimal byte such as 0x01, not '0x100'"},
      {{"ls", p, "--as", "gfx"}, "ls does not take --as"},
      {{"cat", p}, "cat takes ARCHIVE ID"},
      {{"cat", p, "xyz"}, "ID is a hexadecimal file id such as 0x13000000, not 'xyz'"},
      {{"cat", p, "123456789"}, "not '123456789'"},  // nine digits
      {{"cat", p, "1", "--json"}, "cat does not take --json"},
      {{"show", p, "1", "--as", "mesh"}, "--as takes region, scene, setup, gfx, terrain or info, not 'mesh'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const Captured r = run(c.args);
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(std::string("quillmoor-dat: ") + "", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\n\nusage: quillmoor-dat"), std::string::npos);
  }
}

TEST_F(DatToolTest, HelpGoesToStandardOutput) {
  for (const char* flag : {"--help", "-h"}) {
    const Captured r = run({"show", flag});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, kUsage);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(DatToolTest, InfoSummarisesHeaderAndDirectory) {
  const Captured text = run({"info", portal_path()});
  ASSERT_EQ(text.status, kExitOk) << text.err;
  EXPECT_NE(text.out.find("block_size:       1024\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("file_count:       6\n"), std::string::npos);
  EXPECT_NE(text.out.find("compressed_files: 1\n"), std::string::npos);  // 0x10 alone is not compression
  EXPECT_NE(text.out.find("tree_depth:       1\n"), std::string::npos);
  EXPECT_NE(text.out.find("tree_nodes:       1\n"), std::string::npos);

  const Captured json = run({"info", portal_path(), "--json"});
  ASSERT_EQ(json.status, kExitOk);
  EXPECT_NE(json.out.find("\"file_count\": 6,"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"version_string\": \"00000000000000000000000000000000\""), std::string::npos);
}

TEST_F(DatToolTest, DirectoryStatsFollowTheTree) {
  struct Case {
    std::uint32_t files;
    std::uint32_t per_node;
  };
  for (const Case c : {Case{0, 61}, Case{1, 61}, Case{61, 61}, Case{7, 1}, Case{40, 3}}) {
    SCOPED_TRACE(std::to_string(c.files) + " files, " + std::to_string(c.per_node) + " per node");
    std::vector<authoring::ArchiveFile> files;
    for (std::uint32_t i = 0; i < c.files; ++i) files.push_back({0x05000000 + i, {std::uint8_t(i)}});
    authoring::ArchiveOptions options;
    options.max_entries_per_node = c.per_node;
    const auto path = dir_ / "tree.dat";
    ASSERT_TRUE(authoring::write_archive(path, files, options).ok());
    auto db = dat::DatDatabase::open(path);
    ASSERT_TRUE(db.ok());
    auto stats = dat::directory_stats(*db);
    ASSERT_TRUE(stats.ok());
    EXPECT_EQ(stats->entries, c.files);
    if (c.files == 0) {
      EXPECT_EQ(stats->depth, db->header().root_offset == 0 ? 0u : 1u);
    } else if (c.files <= c.per_node) {
      EXPECT_EQ(stats->depth, 1u);
      EXPECT_EQ(stats->nodes, 1u);
    } else {
      // Every node holds at most per_node entries, so there are at least
      // files / per_node of them, and a node with k entries has at most
      // k + 1 children.
      EXPECT_GE(stats->nodes, (c.files + c.per_node - 1) / c.per_node);
      EXPECT_GE(stats->depth, 2u);
      std::uint64_t reach = 0, level = 1;
      for (std::uint32_t d = 0; d < stats->depth; ++d, level *= c.per_node + 1) reach += level * c.per_node;
      EXPECT_GE(reach, c.files);
    }
  }
}

TEST_F(DatToolTest, LsSortsByIdAndFiltersByKind) {
  const Captured all = run({"ls", portal_path()});
  ASSERT_EQ(all.status, kExitOk) << all.err;
  std::string expected;
  for (const auto& [id, flags] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
           {kGfx, 1}, {kBrokenGfx, 0}, {kSetup, 0x10}, {kOtherKind, 0}, {kScene, 0}, {dat::kRegionFileId, 0}}) {
    char line[80];
    std::snprintf(line, sizeof line, "0x%08X %10zu 0x%08X %s\n", id, stored_size(id), flags,
                  flags == 1 ? "compressed" : "stored");
    expected += line;
  }
  EXPECT_EQ(all.out, expected);
  EXPECT_NE(stored_size(kGfx), gfx_bytes().size());  // the stored, compressed length

  const Captured kind = run({"ls", portal_path(), "--kind", "01", "--json"});
  ASSERT_EQ(kind.status, kExitOk);
  EXPECT_EQ(kind.out, "{\"id\":\"0x01000001\",\"size\":" + std::to_string(stored_size(kGfx)) +
                          ",\"flags\":1,\"compressed\":true}\n"
                          "{\"id\":\"0x01000009\",\"size\":10,\"flags\":0,\"compressed\":false}\n");
  EXPECT_EQ(run({"ls", portal_path(), "--kind", "0x7F"}).out, "");
}

TEST_F(DatToolTest, CatWritesTheDecompressedBytes) {
  const Captured r = run({"cat", portal_path(), "0x01000001"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  const std::vector<std::uint8_t> expected = gfx_bytes();
  EXPECT_EQ(r.out, std::string(expected.begin(), expected.end()));
  EXPECT_EQ(run({"cat", portal_path(), "5000000"}).out, "hi");  // "0x" is optional
}

TEST_F(DatToolTest, FailuresPrintTheReport) {
  struct Case {
    std::vector<std::string> args;
    std::string report;
  };
  const Case cases[] = {
      {{"cat", portal_path(), "0x0100000F"},
       "Error: fetch file 0x0100000F\n\nCaused by:\n    File ID 0100000F not found in provider\n"},
      {{"show", cell_path(), "0x0107FFFD"}, "Error: no reader for file 0x0107FFFD (choose one with --as)\n"},
      {{"show", portal_path(), "0x05000000"}, "Error: no reader for file 0x05000000 (choose one with --as)\n"},
      {{"show", portal_path(), "0x0100000F"},
       "Error: fetch file 0x0100000F\n\nCaused by:\n    File ID 0100000F not found in provider\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[2]);
    const Captured r = run(c.args);
    EXPECT_EQ(r.status, kExitError);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.report);
  }

  const Captured missing = run({"info", (dir_ / "none.dat").string()});
  EXPECT_EQ(missing.status, kExitError);
  EXPECT_EQ(missing.err.rfind("Error: open " + (dir_ / "none.dat").string() + "\n\nCaused by:\n    0: Failed to open file at ", 0), 0u)
      << missing.err;
}

TEST_F(DatToolTest, FileThatDoesNotParsePrintsTheReadersError) {
  const Captured r = run({"show", portal_path(), "0x01000009"});
  EXPECT_EQ(r.status, kExitError);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("Error: parse 0x01000009 as GfxObj\n\nCaused by:\n", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("failed to fill whole buffer"), std::string::npos) << r.err;

  // Forcing a reader that does not fit fails the same way.
  const Captured forced = run({"show", cell_path(), "0107FFFF", "--as", "info"});
  EXPECT_EQ(forced.status, kExitError);
  EXPECT_EQ(forced.err.rfind("Error: parse 0x0107FFFF as LandblockInfo\n\nCaused by:\n", 0), 0u) << forced.err;
}

TEST_F(DatToolTest, ShowChoosesTheReaderByArchiveAndId) {
  struct Case {
    std::string archive;
    std::string id;
    std::vector<std::string> fragments;  // in this order in the output
  };
  const Case cases[] = {
      {portal_path(), "13000000", {"\"id\": \"0x13000000\"", "\"name\": \"Fixture \\\"Vale\\\"\"", "\"land_height_table\": [0.25,"}},
      {portal_path(), "0x12000002", {"\"objects\": [", "\"obj_id\": \"0x01000001\"", "\"frequency\": 0.5"}},
      {portal_path(), "0x02000001", {"\"parts\": [\"0x01000001\"]", "\"locations_a\": {}", "\"linked_ids\": [null,null,null,null,null]"}},
      // Vertices by numeric id, 1 2 10; the stored -0 stays -0.
      {portal_path(), "0x01000001", {"\"1\": {", "\"origin\": [1,0.5,-0]", "\"2\": {", "\"10\": {", "\"physics_bsp\": null"}},
      // In the cell archive the low 16 bits decide, whatever the kind byte.
      {cell_path(), "0107FFFF", {"\"id\": \"0x0107FFFF\"", "\"terrain\": [2049,2049,", "\"height\": [7,7,"}},
      {cell_path(), "0107FFFE", {"\"num_cells\": 3", "\"restriction_tables\": {\n    \"4\": \"0x00000006\",\n    \"48\": \"0x00000005\"\n  }"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const Captured r = run({"show", c.archive, c.id});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.err, "");
    std::size_t at = 0;
    for (const std::string& fragment : c.fragments) {
      const std::size_t found = r.out.find(fragment, at);
      EXPECT_NE(found, std::string::npos) << fragment << "\n" << r.out;
      if (found != std::string::npos) at = found + fragment.size();
    }
    // Every parse fills maps with fresh seeds; the text stays the same.
    EXPECT_EQ(run({"show", c.archive, c.id}).out, r.out);
  }
}

TEST(RecordKindTest, DispatchRules) {
  struct Case {
    std::uint32_t id;
    bool portal;
    std::optional<RecordKind> kind;
  };
  const Case cases[] = {
      {0x13000000, true, RecordKind::kRegion},
      {0x13000001, true, std::nullopt},
      {0x0100FFFF, true, RecordKind::kGfxObj},
      {0x02000010, true, RecordKind::kSetupModel},
      {0x12000000, true, RecordKind::kScene},
      {0x0100FFFF, false, RecordKind::kTerrain},
      {0x13000000, false, std::nullopt},
      {0xA9B4FFFE, false, RecordKind::kInfo},
      {0xA9B40100, false, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(record_kind_for(c.id, c.portal), c.kind);
  }
}

}  // namespace
}  // namespace quillmoor::dat_tool
