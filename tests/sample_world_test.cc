// The sample world as the project's corpus: the generator is
// deterministic, every file of both archives parses with its reader (the
// deliberately broken ones fail), every format feature appears, and
// twinrun passes on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "apps/twinrun/twinrun.h"
#include "apps/worldgen/catalogue.h"
#include "apps/worldgen/landblocks.h"
#include "apps/worldgen/world.h"
#include "quillmoor/authoring/temp_dir.h"
#include "quillmoor/authoring/test_support.h"
#include "quillmoor/dat/archive.h"
#include "quillmoor/dat/gfx_obj.h"
#include "quillmoor/dat/landblock.h"
#include "quillmoor/dat/region.h"
#include "quillmoor/dat/scene.h"
#include "quillmoor/dat/setup_model.h"

namespace quillmoor {
namespace {

using worldgen::Extent;
using worldgen::Options;

class SampleWorldTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new authoring::TempDir("sample-world");
    auto written = worldgen::write_world(dir_->path(), Options{});
    ASSERT_TRUE(written.ok()) << render_report(written.error());
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::filesystem::path portal_path() { return *dir_ / "client_portal.dat"; }
  static std::filesystem::path cell_path() { return *dir_ / "client_cell_1.dat"; }

  static authoring::TempDir* dir_;
};
authoring::TempDir* SampleWorldTest::dir_ = nullptr;

TEST_F(SampleWorldTest, SameOptionsSameBytes) {
  authoring::TempDir again("sample-world-again");
  ASSERT_TRUE(worldgen::write_world(again.path(), Options{}).ok());
  EXPECT_TRUE(tool_testing::read_file(portal_path()) == tool_testing::read_file(again / "client_portal.dat"));
  EXPECT_TRUE(tool_testing::read_file(cell_path()) == tool_testing::read_file(again / "client_cell_1.dat"));

  authoring::TempDir other("sample-world-other");
  ASSERT_TRUE(worldgen::write_world(other.path(), Options{.seed = 2}).ok());
  EXPECT_FALSE(tool_testing::read_file(cell_path()) == tool_testing::read_file(other / "client_cell_1.dat"));
}

// The ring extent's bytes are what the integration tests and the twinrun
// totals rest on: the generator may change (the whole-world extent has),
// but not these bytes, unless on purpose and with every total re-checked.
TEST_F(SampleWorldTest, RingExtentBytesArePinned) {
  auto fnv1a = [](const std::string& bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    return h;
  };
  const std::string portal = tool_testing::read_file(portal_path());
  const std::string cell = tool_testing::read_file(cell_path());
  EXPECT_EQ(portal.size(), 127376u);
  EXPECT_EQ(cell.size(), 145552u);
  EXPECT_EQ(fnv1a(portal), 0x722949493abd0714ull);
  EXPECT_EQ(fnv1a(cell), 0x3511c28817cb8ba0ull);
}

// The whole world's interior cells: the ids that follow each landblock's
// id, opaque bytes of plausible sizes, a quarter stored compressed; none
// for the landblock that has no files at all.
TEST(WorldInteriorCellsTest, IdsSizesAndCompression) {
  std::size_t files = 0, compressed = 0;
  for (const std::uint16_t lb : {std::uint16_t{0x0000}, std::uint16_t{0x1234}, std::uint16_t{0xA9B6},
                                 std::uint16_t{0xFFFF}}) {
    SCOPED_TRACE(lb);
    const auto cells = worldgen::interior_cell_files(1, lb);
    ASSERT_EQ(cells.size(), worldgen::interior_cell_count(1, lb));
    EXPECT_GE(cells.size(), 12u);
    EXPECT_LE(cells.size(), 20u);
    for (std::size_t k = 0; k < cells.size(); ++k) {
      const auto& f = cells[k];
      EXPECT_EQ(f.id, (std::uint32_t{lb} << 16) | (0x0100 + k));
      EXPECT_GE(f.data.size(), 300u);
      EXPECT_LT(f.data.size(), 1500u);
      EXPECT_EQ(f.compress, (f.bit_flags & 1) != 0);
      if (f.compress) {
        ++compressed;
        EXPECT_LT(authoring::compress_lrs(f.data).size(), f.data.size() * 3 / 4);  // packs well
      }
      ++files;
    }
    // Same seed, same bytes; another seed, other bytes.
    const auto again = worldgen::interior_cell_files(1, lb);
    const auto other = worldgen::interior_cell_files(2, lb);
    for (std::size_t k = 0; k < cells.size(); ++k) EXPECT_EQ(cells[k].data, again[k].data);
    EXPECT_NE(cells.front().data, other.front().data);
  }
  EXPECT_GT(compressed, files / 8);
  EXPECT_LT(compressed, files / 2);
  EXPECT_TRUE(worldgen::interior_cell_files(1, worldgen::kLandblockWithoutTerrain).empty());
}

// Parses a file with the reader its id names; returns whether it parsed.
bool parses(std::uint32_t id, bool cell, std::span<const std::uint8_t> bytes) {
  dat::BinReader reader(bytes);
  if (cell) {
    if ((id & 0xFFFF) == 0xFFFF) return dat::CellLandblock::unpack(bytes).ok();
    if ((id & 0xFFFF) == 0xFFFE) return dat::LandblockInfo::unpack(bytes).ok();
    return true;
  }
  if (id == dat::kRegionFileId) return dat::Region::unpack(reader).ok();
  switch (id >> 24) {
    case 0x01: return dat::GfxObj::unpack(reader).ok();
    case 0x02: return dat::SetupModel::unpack(reader).ok();
    case 0x12: return dat::Scene::unpack(reader).ok();
    default: return true;  // kinds the tool never reads
  }
}

TEST_F(SampleWorldTest, EveryFileParsesUnlessBrokenOnPurpose) {
  for (const bool cell : {false, true}) {
    SCOPED_TRACE(cell ? "cell" : "portal");
    auto db = dat::DatDatabase::open(cell ? cell_path() : portal_path());
    ASSERT_TRUE(db.ok()) << render_report(db.error().to_chain());
    std::size_t compressed = 0, other_flags = 0;
    std::vector<std::uint32_t> ids;
    for (const auto& [id, entry] : db->entries()) {
      ids.push_back(id);
      if (entry.bit_flags & 1) ++compressed;
      if (entry.bit_flags & ~1u) ++other_flags;
    }
    std::sort(ids.begin(), ids.end());
    std::size_t broken = 0;
    for (const std::uint32_t id : ids) {
      SCOPED_TRACE(id);
      auto bytes = db->get_file(id);
      ASSERT_TRUE(bytes.ok());
      const bool expect_broken = worldgen::is_deliberately_broken(id);
      EXPECT_EQ(parses(id, cell, *bytes), !expect_broken);
      broken += expect_broken;
    }
    EXPECT_EQ(broken, 2u);
    EXPECT_GT(compressed, 0u);
    EXPECT_GT(other_flags, 0u);
    EXPECT_NE(db->header().block_size, 0u);
  }
}

TEST_F(SampleWorldTest, RingCarriesTheFaultsTheBakeAbsorbs) {
  auto cell = dat::DatDatabase::open(cell_path());
  ASSERT_TRUE(cell.ok());
  EXPECT_EQ(cell->find(dat::terrain_file_id(worldgen::kLandblockWithoutTerrain)), nullptr);
  EXPECT_EQ(cell->find(dat::info_file_id(worldgen::kLandblockWithoutInfo)), nullptr);
  EXPECT_NE(cell->find(dat::terrain_file_id(worldgen::kLandblockWithoutInfo)), nullptr);
  auto portal = dat::DatDatabase::open(portal_path());
  ASSERT_TRUE(portal.ok());
  EXPECT_EQ(portal->find(worldgen::kSceneMissing), nullptr);
  EXPECT_EQ(portal->find(worldgen::kMissingPart), nullptr);
  EXPECT_NE(portal->find(worldgen::kBillboard), nullptr);
  EXPECT_NE(cell->header().block_size, portal->header().block_size);
}

TEST_F(SampleWorldTest, ModelsUseEveryFormatFeature) {
  auto portal = dat::DatDatabase::open(portal_path());
  ASSERT_TRUE(portal.ok());
  std::set<std::uint32_t> hook_types;
  std::set<std::size_t> type5_sizes;
  bool part_values = false, part_vectors = false, lights = false, linked = false;
  bool physics = false, drawing = false, extra_id = false, other_vertex_type = false;
  for (const auto& [id, entry] : portal->entries()) {
    auto bytes = portal->get_file(id);
    ASSERT_TRUE(bytes.ok());
    dat::BinReader reader(*bytes);
    if (id >> 24 == 0x02) {
      auto setup = dat::SetupModel::unpack(reader);
      ASSERT_TRUE(setup.ok());
      part_values |= !setup->part_values.empty();
      part_vectors |= !setup->part_vectors.empty();
      lights |= !setup->lights.empty();
      for (const auto& l : setup->linked_ids) linked |= l.has_value();
      for (const auto& [key, placement] : setup->placements) {
        for (const auto& hook : placement.hooks) {
          hook_types.insert(hook.hook_type);
          if (hook.hook_type == 5) type5_sizes.insert(8 + hook.payload.size());
        }
      }
    } else if (id >> 24 == 0x01 && !worldgen::is_deliberately_broken(id)) {
      auto gfx = dat::GfxObj::unpack(reader);
      ASSERT_TRUE(gfx.ok());
      physics |= gfx->physics_bsp.has_value() && !gfx->physics_polygons.empty();
      drawing |= gfx->drawing_bsp.has_value() && !gfx->drawing_polygons.empty();
      extra_id |= gfx->extra_id.has_value();
      other_vertex_type |= gfx->vertex_array.vertex_type != 1;
    }
  }
  EXPECT_EQ(hook_types.size(), 27u);
  EXPECT_EQ(type5_sizes, (std::set<std::size_t>{12, 16}));
  EXPECT_TRUE(part_values && part_vectors && lights && linked);
  EXPECT_TRUE(physics && drawing && extra_id && other_vertex_type);
}

TEST_F(SampleWorldTest, TwinrunPasses) {
  std::map<std::string, std::string> env = {
      {"QUILLMOOR_PORTAL_DAT", portal_path().string()},
      {"QUILLMOOR_CELL_DAT", cell_path().string()},
      {"QUILLMOOR_DETERMINISM_OUT", (*dir_ / "out").string()},
  };
  const auto captured = tool_testing::capture([&](std::FILE*, std::FILE* err) {
    return twinrun::run_twinrun(
        [&](const char* name) -> std::optional<std::string> {
          auto it = env.find(name);
          return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
        },
        twinrun::Settings{}, err);
  });
  const int status = captured.status;
  const std::string& text = captured.err;
  EXPECT_EQ(status, 0) << text;
  EXPECT_NE(text.find("twinrun: PASS \u2014 all 169 LBs byte-identical across 2 runs\n"), std::string::npos);
  const auto at = text.find("total placements = ");
  ASSERT_NE(at, std::string::npos);
  const long total = std::stol(text.substr(at + 19));
  EXPECT_GT(total, 2000) << text;
  // Damaged landblocks are present with no lines.
  EXPECT_EQ(std::filesystem::file_size(*dir_ / "out/run1/0xA5B0.scenery.jsonl"), 0u);
  EXPECT_EQ(std::filesystem::file_size(*dir_ / "out/run2/0xA7B3.scenery.jsonl"), 0u);
}

}  // namespace
}  // namespace quillmoor
