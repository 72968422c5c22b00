#include "apps/twinrun/caches.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "apps/twinrun/fixture_world.h"
#include "quillmoor/authoring/temp_dir.h"

namespace quillmoor::twinrun {
namespace {

using testing::ArchiveFixture;
using testing::gfx_with_points;
using testing::setup_with_parts;

constexpr std::uint32_t kGfxA = 0x01000010;  // points (1, 2, 3), (4, 5, 6)
constexpr std::uint32_t kGfxB = 0x01000011;  // point (7, 8, 9)
constexpr std::uint32_t kFlat = 0x01000012;  // vertex type 2: no vertices
constexpr std::uint32_t kGhost = 0x010000FF;  // not stored

std::vector<float> xs(const LocalMesh* mesh) {
  std::vector<float> out;
  if (mesh == nullptr) return out;
  for (const auto& p : *mesh) out.push_back(p.x);
  std::sort(out.begin(), out.end());
  return out;
}

// The same graphics object with another vertex type, same length: the
// vertex type follows id, flags and an empty surface list (one count byte).
std::vector<std::uint8_t> with_vertex_type(std::vector<std::uint8_t> bytes, std::uint8_t type) {
  bytes.at(9) = type;
  return bytes;
}

class CachesTest : public ::testing::Test {
 protected:
  CachesTest() {
    portal_.files[kGfxA] = gfx_with_points(kGfxA, {{1, 2, 3}, {4, 5, 6}});
    portal_.files[kGfxB] = gfx_with_points(kGfxB, {{7, 8, 9}});
    portal_.files[kFlat] = gfx_with_points(kFlat, {{1, 1, 1}}, /*vertex_type=*/2);
  }

  const dat::DatDatabase& open() {
    portal_.write(path_);
    db_.emplace(std::move(dat::DatDatabase::open(path_)).value());
    return *db_;
  }

  authoring::TempDir dir_{"caches"};
  std::filesystem::path path_ = dir_ / "portal.dat";
  ArchiveFixture portal_;
  std::optional<dat::DatDatabase> db_;
};

TEST_F(CachesTest, MeshDependsOnTheKindByte) {
  struct Case {
    const char* name;
    std::uint32_t id;
    std::vector<std::uint8_t> bytes;
    std::vector<float> expected_xs;  // empty: absent
  };
  const Case cases[] = {
      {"graphics object", 0x01000100, gfx_with_points(0x01000100, {{2, 0, 0}}), {2}},
      {"kind 0x03 is never read", 0x03000100, gfx_with_points(0x03000100, {{2, 0, 0}}), {}},
      {"kind 0x00 is never read", 0x00000100, gfx_with_points(0x00000100, {{2, 0, 0}}), {}},
      {"vertex type other than 1", 0x01000101, gfx_with_points(0x01000101, {{2, 0, 0}}, 2), {}},
      {"setup joins its parts in order", 0x02000001, setup_with_parts(0x02000001, {kGfxA, kGfxB}), {1, 4, 7}},
      {"setup skips a missing part", 0x02000002, setup_with_parts(0x02000002, {kGhost, kGfxB}), {7}},
      {"setup repeats a part listed twice", 0x02000003, setup_with_parts(0x02000003, {kGfxB, kGfxB}), {7, 7}},
      {"setup part of another kind is read as a graphics object", 0x02000004,
       setup_with_parts(0x02000004, {0x05000001}), {3}},
      {"setup whose parts have no points", 0x02000005, setup_with_parts(0x02000005, {kGhost, kFlat}), {}},
      {"setup without parts", 0x02000006, setup_with_parts(0x02000006, {}), {}},
      {"setup that does not parse", 0x02000007, {1, 2, 3}, {}},
  };
  portal_.files[0x05000001] = gfx_with_points(0x05000001, {{3, 0, 0}});
  for (const Case& c : cases) portal_.files[c.id] = c.bytes;
  const auto& db = open();
  MeshCache cache;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LocalMesh* mesh = cache.lookup(db, c.id);
    EXPECT_EQ(mesh != nullptr, !c.expected_xs.empty());
    EXPECT_EQ(xs(mesh), c.expected_xs);
  }
  EXPECT_EQ(cache.lookup(db, kGhost), nullptr);
}

TEST_F(CachesTest, RemembersFailuresAndResultsForTheRun) {
  // Same size before and after: the archive's layout stays the same, so
  // the open handle reads the new bytes wherever it does read.
  const auto five = gfx_with_points(0x01000200, {{5, 0, 0}});
  const auto six = gfx_with_points(0x01000201, {{6, 0, 0}});
  portal_.files[0x01000200] = with_vertex_type(five, 2);
  portal_.files[0x01000201] = six;
  dat::Scene broken{0x12000001, {testing::example_desc()}};
  auto scene_bytes = authoring::write_scene(broken);
  scene_bytes[4] = 2;  // claims two descriptors, holds one
  portal_.files[0x12000001] = scene_bytes;
  const auto& db = open();

  MeshCache meshes;
  SceneCache scenes;
  EXPECT_EQ(meshes.lookup(db, 0x01000200), nullptr);
  EXPECT_EQ(xs(meshes.lookup(db, 0x01000201)), std::vector<float>{6});
  EXPECT_FALSE(scenes.lookup(db, 0x12000001).has_value());

  portal_.files[0x01000200] = five;
  portal_.files[0x01000201] = with_vertex_type(six, 2);
  scene_bytes[4] = 1;
  portal_.files[0x12000001] = scene_bytes;
  portal_.write(path_);

  EXPECT_EQ(meshes.lookup(db, 0x01000200), nullptr);
  EXPECT_EQ(xs(meshes.lookup(db, 0x01000201)), std::vector<float>{6});
  EXPECT_FALSE(scenes.lookup(db, 0x12000001).has_value());
  // A new run sees the archive as it is now.
  EXPECT_EQ(xs(MeshCache().lookup(db, 0x01000200)), std::vector<float>{5});
  EXPECT_TRUE(SceneCache().lookup(db, 0x12000001).has_value());
}

TEST_F(CachesTest, SceneLookupHandsOutCopies) {
  portal_.files[0x12000001] = authoring::write_scene(dat::Scene{0x12000001, {}});
  portal_.files[0x12000002] = authoring::write_scene(dat::Scene{0x12000002, {testing::example_desc()}});
  const auto& db = open();
  SceneCache cache;
  const auto empty = cache.lookup(db, 0x12000001);
  ASSERT_TRUE(empty.has_value());  // present, with no objects
  EXPECT_TRUE(empty->objects.empty());
  auto scene = cache.lookup(db, 0x12000002);
  ASSERT_TRUE(scene.has_value());
  scene->objects.clear();
  EXPECT_EQ(cache.lookup(db, 0x12000002)->objects.size(), 1u);
  EXPECT_FALSE(cache.lookup(db, 0x120000FF).has_value());
}

}  // namespace
}  // namespace quillmoor::twinrun
