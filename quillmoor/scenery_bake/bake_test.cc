#include "quillmoor/scenery_bake/bake.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "quillmoor/scenery_bake/height.h"

namespace quillmoor::bake {
namespace {

constexpr std::uint32_t kBase = 0xA9B40000;  // landblock 0xA9B4: global vertices from (1352, 1440)
constexpr std::uint32_t kScene = 0x12000001;
constexpr std::uint32_t kObj = 0x01000010;
constexpr std::uint32_t kOtherObj = 0x01000020;
constexpr std::uint32_t kNoMeshObj = 0x01000030;
// Terrain word with type 1, which the fixture region does not have: the
// vertex contributes nothing.
constexpr std::uint16_t kInactive = 1u << 2;
// Terrain type 0, scene index 0: the fixture's one scene type.
constexpr std::uint16_t kActive = 0;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

std::string text(double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", digits, v);
  return buf;
}
std::string hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

dat::ObjectDesc desc(std::uint32_t obj, float ox, float oy) {
  dat::ObjectDesc d;
  d.obj_id = obj;
  d.frame.origin = {ox, oy, 0};
  d.frequency = 1;
  d.min_scale = 1;
  d.max_scale = 1;
  d.max_rotation = 0;
  d.min_slope = 0;
  d.max_slope = 10;
  return d;
}

// A region with one terrain type whose scene index 0 names scene type 0
// (scene ids kScene), a landblock with every vertex inactive and every
// height 0, a single-point mesh at the object's origin for kObj and
// kOtherObj, and no mesh for kNoMeshObj.
struct World {
  dat::Region region;
  dat::CellLandblock landblock;
  std::map<std::uint32_t, std::vector<dat::ObjectDesc>> scenes;
  std::map<std::uint32_t, std::vector<Vector3>> meshes;
  std::vector<std::uint32_t> scenes_asked;

  World() {
    region.land_parameters.land_height_table.assign(256, 0.0f);
    for (int i = 0; i < 256; ++i) region.land_parameters.land_height_table[static_cast<std::size_t>(i)] = static_cast<float>(i);
    dat::TerrainType type;
    type.scene_type_indices = {0};
    region.terrain_desc.terrain_types.push_back(type);
    dat::SceneType scene_type;
    scene_type.scene_ids = {kScene};
    region.scene_desc = dat::SceneDesc{};
    region.scene_desc->scene_types.push_back(scene_type);
    landblock.terrain.assign(81, kInactive);
    landblock.height.assign(81, 0);
    meshes[kObj] = {{0, 0, 0}};
    meshes[kOtherObj] = {{0, 0, 0}};
  }

  void activate(int vertex) { landblock.terrain[static_cast<std::size_t>(vertex)] = kActive; }
  void activate_all() { landblock.terrain.assign(81, kActive); }

  std::vector<SceneryPlacement> bake(std::vector<FootprintRect> footprints = {}, bool slope_mode = false,
                                     std::uint32_t base = kBase) {
    SceneLookup scene_lookup = [this](std::uint32_t id) -> std::optional<std::vector<dat::ObjectDesc>> {
      scenes_asked.push_back(id);
      auto it = scenes.find(id);
      if (it == scenes.end()) return std::nullopt;
      return it->second;
    };
    MeshLookup mesh_lookup = [this](std::uint32_t id) -> const std::vector<Vector3>* {
      auto it = meshes.find(id);
      return it == meshes.end() ? nullptr : &it->second;
    };
    return bake_landblock_impl(region, landblock, base, scene_lookup, mesh_lookup, footprints, slope_mode);
  }
};

void expect_same(const std::vector<SceneryPlacement>& a, const std::vector<SceneryPlacement>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(a[i].obj_id, b[i].obj_id);
    for (auto field : {&SceneryPlacement::x, &SceneryPlacement::y, &SceneryPlacement::z, &SceneryPlacement::qw,
                       &SceneryPlacement::qx, &SceneryPlacement::qy, &SceneryPlacement::qz, &SceneryPlacement::scale}) {
      EXPECT_EQ(bits(a[i].*field), bits(b[i].*field));
    }
    EXPECT_EQ(a[i].source_cell_x, b[i].source_cell_x);
    EXPECT_EQ(a[i].source_cell_y, b[i].source_cell_y);
    EXPECT_EQ(a[i].source_obj_idx, b[i].source_obj_idx);
  }
}

// ---- Hashes and noise ----

TEST(VertexNoise, Vertex40OfLandblockA9B4) {
  const VertexNoise v = vertex_noise(1356, 1444);
  EXPECT_EQ(hex(v.hs), "0x86DF8891");
  EXPECT_EQ(text(hash_noise(v.hs), 7), "0.5268483");
  EXPECT_EQ(hex(v.hb), "0x9B47E060");
  EXPECT_EQ(text(v.nf, 7), "0.7357028");
  EXPECT_EQ(hex(v.m), "0x8D3EBBF9");
  EXPECT_EQ(text(v.nq, 7), "0.8729876");
  struct Case {
    std::uint32_t salt;
    const char* noise;
  };
  const Case cases[] = {{kSaltDisplaceX, "0.3328786"},
                        {kSaltDisplaceY, "0.4784717"},
                        {kSaltRotation, "0.2027897"},
                        {kSaltScale, "0.4194623"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.salt);
    EXPECT_EQ(text(descriptor_noise(v, 0, c.salt), 7), c.noise);
  }
}

TEST(VertexNoise, Vertex0OfLandblockA9B4) {
  EXPECT_EQ(text(vertex_noise(1352, 1440).nq, 7), "0.6647035");
}

TEST(VertexNoise, NoiseStaysBelowOne) {
  EXPECT_EQ(hash_noise(0), 0.0);
  EXPECT_LT(hash_noise(0xFFFFFFFFu), 1.0);
  EXPECT_EQ(text(hash_noise(0xFFFFFFFFu), 10), "0.9999999841");
}

// ---- Scene choice and the vertex filters ----

TEST(Bake, ChoosesTheSceneByTheSelectionHash) {
  World w;
  w.region.scene_desc->scene_types[0].scene_ids = {0x12000010, 0x12000011, 0x12000012};
  w.activate(40);
  w.bake();
  ASSERT_EQ(w.scenes_asked.size(), 1u);
  EXPECT_EQ(w.scenes_asked[0], 0x12000011u);  // 3 * 0.5268483 -> index 1
}

TEST(Bake, VerticesWithoutASceneContributeNothing) {
  struct Case {
    const char* name;
    void (*setup)(World&);
    bool asks_scene;
  };
  const Case cases[] = {
      {"terrain type out of range", [](World& w) { w.landblock.terrain[40] = 5u << 2; }, false},
      {"scene index out of range", [](World& w) { w.landblock.terrain[40] = 1u << 11; }, false},
      {"scene type index out of range",
       [](World& w) {
         w.activate(40);
         w.region.terrain_desc.terrain_types[0].scene_type_indices = {1};
       },
       false},
      {"empty scene id list",
       [](World& w) {
         w.activate(40);
         w.region.scene_desc->scene_types[0].scene_ids.clear();
       },
       false},
      {"scene not found",
       [](World& w) {
         w.activate(40);
         w.scenes.clear();
       },
       true},
      {"scene without descriptors",
       [](World& w) {
         w.activate(40);
         w.scenes[kScene].clear();
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    w.scenes[kScene] = {desc(kObj, 12, 12)};
    c.setup(w);
    EXPECT_TRUE(w.bake().empty());
    EXPECT_EQ(w.scenes_asked.size(), c.asks_scene ? 1u : 0u);
  }
}

TEST(Bake, RegionWithoutSceneSectionBakesNothing) {
  World w;
  w.activate_all();
  w.scenes[kScene] = {desc(kObj, 12, 12)};
  w.region.scene_desc.reset();
  EXPECT_TRUE(w.bake().empty());
  EXPECT_TRUE(w.scenes_asked.empty());
}

// ---- The worked placement ----

// The worked example's descriptor: origin (12, 12), displacement 6, scale
// 1 to 2, a full turn of rotation, always placed.
dat::ObjectDesc worked_descriptor() {
  dat::ObjectDesc d = desc(kObj, 12, 12);
  d.displace_x = 6;
  d.displace_y = 6;
  d.min_scale = 1;
  d.max_scale = 2;
  d.max_rotation = 360;
  return d;
}

TEST(Bake, SinglePlacementAtVertex40) {
  World w;
  w.activate(40);
  w.scenes[kScene] = {worked_descriptor()};
  w.meshes[kObj] = {{1, 0, 0}};
  const std::vector<SceneryPlacement> out = w.bake();
  ASSERT_EQ(out.size(), 1u);
  const SceneryPlacement& p = out[0];
  EXPECT_EQ(p.obj_id, kObj);
  EXPECT_EQ(text(p.x, 6), "110.870834");
  EXPECT_EQ(text(p.y, 6), "82.002731");
  EXPECT_EQ(bits(p.z), bits(-0.0f));
  EXPECT_EQ(text(p.qw, 6), "0.803834");
  EXPECT_EQ(bits(p.qx), 0u);
  EXPECT_EQ(bits(p.qy), 0u);
  EXPECT_EQ(text(p.qz, 6), "0.594853");
  EXPECT_EQ(text(p.scale, 6), "1.337429");
  EXPECT_EQ(p.source_cell_x, 4u);
  EXPECT_EQ(p.source_cell_y, 4u);
  EXPECT_EQ(p.source_obj_idx, 0u);
}

TEST(Bake, BoxOfTheWorkedPlacementIsTurnedAndScaled) {
  // The point (1, 0, 0) scaled by 1.337429 and turned by 1.2741658 rad
  // lands near (111.2618, 83.2818).
  struct Case {
    const char* name;
    FootprintRect rect;
    bool placed;
  };
  const Case cases[] = {
      {"around the turned point", {111.25f, 83.27f, 111.27f, 83.29f}, false},
      {"around the point turned the other way", {111.25f, 80.71f, 111.27f, 80.73f}, true},
      {"around the unturned point", {112.2f, 81.99f, 112.3f, 82.01f}, true},
      {"around the unscaled turned point", {111.16f, 82.95f, 111.17f, 82.96f}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    w.activate(40);
    w.scenes[kScene] = {worked_descriptor()};
    w.meshes[kObj] = {{1, 0, 0}};
    EXPECT_EQ(w.bake({c.rect}).size(), c.placed ? 1u : 0u);
  }
}

TEST(PlacementBox, TurnsCounterClockwiseThenMoves) {
  // A quarter turn: cos is -4.37e-8, sin 1.
  const float quarter = 1.57079637f;
  const FootprintRect box = placement_box({{2, 0, 5}, {0, 1, -5}}, quarter, 1.5f, 10, 20);
  EXPECT_EQ(bits(box.min_x), bits(8.5f));   // (0, 1.5) turns to (-1.5, 0)
  EXPECT_EQ(bits(box.min_y), bits(20.0f));
  EXPECT_EQ(bits(box.max_x), bits(10.0f));  // (3, 0) turns to (0, 3)
  EXPECT_EQ(bits(box.max_y), bits(23.0f));

  const float inf = std::numeric_limits<float>::infinity();
  const FootprintRect empty = placement_box({}, 0, 1, 10, 20);
  EXPECT_EQ(empty.min_x, inf);
  EXPECT_EQ(empty.min_y, inf);
  EXPECT_EQ(empty.max_x, -inf);
  EXPECT_EQ(empty.max_y, -inf);
  EXPECT_FALSE(rects_overlap(empty, {0, 0, 192, 192}));
  EXPECT_FALSE(rects_overlap(empty, empty));

  // NaN coordinates never enter the box, whatever their place in the list
  // (a NaN in either coordinate makes both turned coordinates NaN).
  for (const auto& points : {std::vector<Vector3>{{kNaN, 1, 0}, {3, kNaN, 0}, {1, 2, 0}},
                             std::vector<Vector3>{{1, 2, 0}, {kNaN, 1, 0}, {3, kNaN, 0}}}) {
    const FootprintRect b = placement_box(points, 0, 1, 0, 0);
    EXPECT_EQ(b.min_x, 1.0f);
    EXPECT_EQ(b.max_x, 1.0f);
    EXPECT_EQ(b.min_y, 2.0f);
    EXPECT_EQ(b.max_y, 2.0f);
  }
}

TEST(Bake, DisplacementIsAddedInDoublePrecision) {
  // Vertex 7 keeps its offsets and stands at x 0. The shift is a hair
  // above half a float step at 64: added in double it rounds up, added
  // after rounding to float it would tie back down to 64.
  World w;
  w.activate(7);
  dat::ObjectDesc d = desc(kObj, 64, 0);
  d.displace_x = 0x1.cd61a8p-18f;
  w.scenes[kScene] = {d};
  const std::vector<SceneryPlacement> out = w.bake();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(bits(out[0].x), bits(std::nextafter(64.0f, 100.0f)));
  EXPECT_EQ(bits(out[0].y), bits(168.0f));
}

TEST(Bake, DegreeFactorIsTheWidenedFloat) {
  // 0.0174533 as a float, widened: not pi / 180.
  World w;
  w.activate(40);
  dat::ObjectDesc d = desc(kObj, 0, 0);
  d.max_rotation = 360;
  w.scenes[kScene] = {d};
  const std::vector<SceneryPlacement> out = w.bake();
  ASSERT_EQ(out.size(), 1u);
  const double n = descriptor_noise(vertex_noise(1356, 1444), 0, kSaltRotation);
  const float a = static_cast<float>((360.0 * n) * 0.017453299835324287);
  EXPECT_EQ(bits(out[0].qw), bits(std::cos(a * 0.5f)));
  EXPECT_EQ(bits(out[0].qz), bits(std::sin(a * 0.5f)));
  const float a_pi = static_cast<float>((360.0 * n) * 0.017453292519943295);
  EXPECT_NE(bits(a), bits(a_pi));
}

TEST(Bake, Vertex0TurnsOffsetsOutOfTheLandblock) {
  World w;
  w.activate(0);
  dat::ObjectDesc d = desc(kObj, 12, 12);
  d.displace_x = 6;
  d.displace_y = 6;
  w.scenes[kScene] = {d};
  EXPECT_TRUE(w.bake().empty());
  // Zero offsets stay on the vertex (as negative zeros, which are kept).
  w.scenes[kScene] = {desc(kObj, 0, 0)};
  const std::vector<SceneryPlacement> out = w.bake();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].x, 0.0f);
  EXPECT_EQ(out[0].y, 0.0f);
}

TEST(Bake, QuarterTurnOfEachNoiseBand) {
  // Origin (10, 20), no displacement, turned about the vertex.
  struct Case {
    int vertex;
    double nq_low, nq_high;
    float x, y;
  };
  const Case cases[] = {
      {38, 0.0, 0.25, 96 + 10, 48 + 20},    // unchanged
      {14, 0.25, 0.5, 24 - 20, 120 + 10},   // (-y, x)
      {30, 0.5, 0.75, 72 - 10, 72 - 20},    // (-x, -y)
      {40, 0.75, 1.0, 96 + 20, 96 - 10},    // (y, -x)
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vertex);
    const double nq = vertex_noise(1352 + c.vertex / 9, 1440 + c.vertex % 9).nq;
    ASSERT_GE(nq, c.nq_low);
    ASSERT_LT(nq, c.nq_high);
    World w;
    w.activate(c.vertex);
    w.scenes[kScene] = {desc(kObj, 10, 20)};
    const std::vector<SceneryPlacement> out = w.bake();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(bits(out[0].x), bits(c.x));
    EXPECT_EQ(bits(out[0].y), bits(c.y));
    EXPECT_EQ(out[0].source_cell_x, static_cast<std::uint32_t>(c.vertex / 9));
    EXPECT_EQ(out[0].source_cell_y, static_cast<std::uint32_t>(c.vertex % 9));
  }
}

// ---- Per-descriptor tests ----

TEST(Bake, FrequencyComparesInDoublePrecision) {
  // The float nearest to nf lies below nf at vertex 40 and above it at
  // vertex 41; only a comparison in double tells them apart.
  struct Vertex {
    int index;
    bool nearest_above;
  };
  for (const Vertex& v : {Vertex{40, false}, Vertex{41, true}}) {
    const double nf = vertex_noise(1352 + v.index / 9, 1440 + v.index % 9).nf;
    const float near = static_cast<float>(nf);
    ASSERT_EQ(static_cast<double>(near) > nf, v.nearest_above);
    struct Case {
      const char* name;
      float frequency;
      bool placed;
    };
    const Case cases[] = {
        {"nearest float", near, v.nearest_above},
        {"float below", std::nextafter(near, 0.0f), false},
        {"float above", std::nextafter(near, 1.0f), true},
        {"zero", 0.0f, false},
        {"one", 1.0f, true},
        {"negative", -1.0f, false},
        {"NaN", kNaN, false},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "vertex " << v.index << ", " << c.name);
      World w;
      w.activate(v.index);
      dat::ObjectDesc d = desc(kObj, 0, 0);
      d.frequency = c.frequency;
      w.scenes[kScene] = {d};
      EXPECT_EQ(w.bake().size(), c.placed ? 1u : 0u);
    }
  }
}

TEST(Bake, FrequencyZeroNeverAndOneAlwaysOverTheWholeLandblock) {
  World w;
  w.activate_all();
  w.meshes[kObj] = {};  // a box that overlaps nothing
  dat::ObjectDesc d = desc(kObj, 0, 0);
  d.frequency = 0;
  w.scenes[kScene] = {d};
  EXPECT_TRUE(w.bake().empty());
  w.scenes[kScene][0].frequency = 1;
  const std::vector<SceneryPlacement> out = w.bake();
  ASSERT_EQ(out.size(), 81u);
  for (std::size_t i = 0; i < out.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(out[i].source_cell_x, i / 9);
    EXPECT_EQ(out[i].source_cell_y, i % 9);
  }
}

TEST(Bake, SkipFlagDropsAndLaterDescriptorsKeepTheirPosition) {
  World w;
  w.activate(40);
  dat::ObjectDesc skipped = desc(kObj, 0, 0);
  skipped.skip_flag = 1;
  dat::ObjectDesc no_mesh = desc(kNoMeshObj, 0, 0);
  w.scenes[kScene] = {skipped, no_mesh, desc(kOtherObj, 0, 0)};
  const std::vector<SceneryPlacement> out = w.bake();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].obj_id, kOtherObj);
  EXPECT_EQ(out[0].source_obj_idx, 2u);
}

TEST(Bake, DisplacementOfZeroOrLessLeavesTheOrigin) {
  for (float displace : {0.0f, -6.0f, kNaN}) {
    SCOPED_TRACE(displace);
    World w;
    w.activate(40);
    dat::ObjectDesc d = desc(kObj, 12, 12);
    d.displace_x = displace;
    d.displace_y = displace;
    w.scenes[kScene] = {d};
    const std::vector<SceneryPlacement> out = w.bake();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(bits(out[0].x), bits(108.0f));  // (y, -x) turn at vertex 40
    EXPECT_EQ(bits(out[0].y), bits(84.0f));
  }
}

TEST(Bake, BoundsKeepTheEdgesAndDropBeyond) {
  // Vertex 40 turns (x, y) into (y, -x): px = 96 + y, py = 96 - x.
  const float step = std::nextafter(192.0f, 200.0f) - 192.0f;
  struct Case {
    const char* name;
    float ox, oy;
    bool placed;
  };
  const Case cases[] = {
      {"px 192", 0, 96, true},
      {"px above 192", 0, 96 + step, false},
      {"px 0", 0, -96, true},
      {"px below 0", 0, -96.00001f, false},
      {"py 0", 96, 0, true},
      {"py below 0", 96.00001f, 0, false},
      {"py 192", -96, 0, true},
      {"py above 192", -96 - step, 0, false},
      {"corner 192, 192", -96, 96, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    w.activate(40);
    w.scenes[kScene] = {desc(kObj, c.ox, c.oy)};
    EXPECT_EQ(w.bake().size(), c.placed ? 1u : 0u);
  }
  // The step really is one float past 192.
  EXPECT_EQ(std::nextafter(192.0f, 200.0f), 96.0f + (96.0f + step));
}

TEST(Bake, RoadTestUsesRowLengthEight) {
  // Candidate at (30, 5), cell (1, 0): the word tested is 1 * 8 + 0 = 8,
  // the vertex (0, 8), not the cell's own vertex word 9.
  struct Case {
    const char* name;
    int road_word;
    std::uint16_t road_bits;
    bool placed;
  };
  const Case cases[] = {
      {"no road", -1, 0, true},      {"word 8, road 1", 8, 1, false}, {"word 8, road 2", 8, 2, false},
      {"word 8, road 3", 8, 3, false}, {"word 9 only", 9, 3, true},    {"word 0 only", 0, 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    w.activate(40);
    if (c.road_word >= 0) w.landblock.terrain[static_cast<std::size_t>(c.road_word)] = kInactive | c.road_bits;
    // (y, -x) turn: px = 96 + y = 30, py = 96 - x = 5.
    w.scenes[kScene] = {desc(kObj, 91, -66)};
    const std::vector<SceneryPlacement> out = w.bake();
    ASSERT_EQ(out.size(), c.placed ? 1u : 0u);
    if (c.placed) {
      EXPECT_EQ(out[0].x, 30.0f);
      EXPECT_EQ(out[0].y, 5.0f);
    }
  }
}

TEST(Bake, RoadIndexBeyondTheTerrainWordsIsNoRoad) {
  // Only 41 terrain words; a candidate at (192, 192) would test word 72.
  World w;
  w.landblock.terrain = std::vector<std::uint16_t>(41, kInactive);
  w.activate(40);
  w.scenes[kScene] = {desc(kObj, -96, 96)};
  const std::vector<SceneryPlacement> out = w.bake();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].x, 192.0f);
  EXPECT_EQ(out[0].y, 192.0f);
}

TEST(Bake, TouchingAFootprintDrops) {
  // The single-point mesh gives the box (108, 84, 108, 84).
  const float after = std::nextafter(108.0f, 200.0f);
  const float before = std::nextafter(108.0f, 0.0f);
  struct Case {
    const char* name;
    FootprintRect rect;
    bool placed;
  };
  const Case cases[] = {
      {"max_x equals footprint min_x", {108, 80, 120, 90}, false},
      {"min_x equals footprint max_x", {90, 80, 108, 90}, false},
      {"footprint just right", {after, 80, 120, 90}, true},
      {"footprint just left", {90, 80, before, 90}, true},
      {"footprint above", {100, 84.00001f, 120, 90}, true},
      {"touching in y", {100, 84, 120, 90}, false},
      {"far away", {0, 0, 10, 10}, true},
      {"covers", {0, 0, 192, 192}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    w.activate(40);
    w.scenes[kScene] = {desc(kObj, 12, 12)};
    EXPECT_EQ(w.bake({c.rect}).size(), c.placed ? 1u : 0u);
  }
}

TEST(Bake, EarlierPlacementsWinOverlaps) {
  const std::vector<Vector3> wide = {{-30, -30, 0}, {30, 30, 0}};
  {
    SCOPED_TRACE("same vertex: the smaller descriptor position wins");
    World w;
    w.activate(40);
    w.meshes[kObj] = wide;
    w.meshes[kOtherObj] = wide;
    w.scenes[kScene] = {desc(kOtherObj, 0, 0), desc(kObj, 5, 5)};
    const std::vector<SceneryPlacement> out = w.bake();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].obj_id, kOtherObj);
    EXPECT_EQ(out[0].source_obj_idx, 0u);
  }
  {
    SCOPED_TRACE("across vertices: the earlier vertex wins");
    World w;
    w.activate(40);
    w.activate(41);  // 24 units further in y
    w.meshes[kObj] = wide;
    w.scenes[kScene] = {desc(kObj, 0, 0)};
    const std::vector<SceneryPlacement> out = w.bake();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].source_cell_x, 4u);
    EXPECT_EQ(out[0].source_cell_y, 4u);
  }
  {
    SCOPED_TRACE("a mesh without points overlaps nothing");
    World w;
    w.activate(40);
    w.activate(41);
    w.meshes[kObj] = {};
    w.scenes[kScene] = {desc(kObj, 0, 0), desc(kObj, 0, 0)};
    EXPECT_EQ(w.bake({{0, 0, 192, 192}}).size(), 4u);
  }
}

TEST(Bake, ScaleAndRotationShortcuts) {
  struct Case {
    const char* name;
    float min_scale, max_scale, max_rotation;
    float scale, qw, qz;
  };
  const Case cases[] = {
      {"equal scales, no rotation", 0.8f, 0.8f, 0, 0.8f, 1, 0},
      {"negative rotation", 1, 1, -45, 1, 1, 0},
      {"equal zero scales", 0, 0, 0, 0, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    w.activate(40);
    dat::ObjectDesc d = desc(kObj, 0, 0);
    d.min_scale = c.min_scale;
    d.max_scale = c.max_scale;
    d.max_rotation = c.max_rotation;
    w.scenes[kScene] = {d};
    const std::vector<SceneryPlacement> out = w.bake();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(bits(out[0].scale), bits(c.scale));
    EXPECT_EQ(bits(out[0].qw), bits(c.qw));
    EXPECT_EQ(bits(out[0].qz), bits(c.qz));
  }
}

TEST(Bake, ZeroMinScaleIsStoredAsComputed) {
  World w;
  w.activate(40);
  dat::ObjectDesc d = desc(kObj, 0, 0);
  d.min_scale = 0;
  d.max_scale = 2;
  w.scenes[kScene] = {d};
  const std::vector<SceneryPlacement> out = w.bake();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_TRUE(std::isnan(out[0].scale));  // pow(inf, n) * 0
}

TEST(Bake, BaseLowBitsAreIgnored) {
  World w;
  w.activate_all();
  for (std::size_t i = 0; i < 81; ++i) w.landblock.height[i] = static_cast<std::uint8_t>((i * 37) % 50);
  dat::ObjectDesc d = desc(kObj, 7, 3);
  d.displace_x = 10;
  d.displace_y = 10;
  d.max_rotation = 180;
  d.min_scale = 0.5f;
  d.max_scale = 1.5f;
  w.meshes[kObj] = {{1, 1, 0}, {-1, 2, 0}};
  w.scenes[kScene] = {d, desc(kOtherObj, -5, 9)};
  const std::vector<SceneryPlacement> clear = w.bake({}, false, 0xA9B40000);
  ASSERT_FALSE(clear.empty());
  expect_same(clear, w.bake({}, false, 0xA9B4FFFF));
  expect_same(clear, w.bake({}, false, 0xA9B41234));
}

TEST(Bake, HeightComesFromTheChosenSampler) {
  World w;
  w.activate_all();
  for (std::size_t i = 0; i < 81; ++i) w.landblock.height[i] = static_cast<std::uint8_t>((i * 53) % 90);
  dat::ObjectDesc d = desc(kObj, 5, 11);
  d.max_slope = 2;  // every cell
  w.meshes[kObj] = {};
  w.scenes[kScene] = {d};
  const HeightGrid heights = vertex_heights(w.region, w.landblock);
  int differing = 0;
  for (bool slope_mode : {false, true}) {
    SCOPED_TRACE(slope_mode);
    const std::vector<SceneryPlacement> out = w.bake({}, slope_mode);
    ASSERT_FALSE(out.empty());
    for (const SceneryPlacement& p : out) {
      const float plane = triangle_plane_height_from_grid(heights, 0xA9B4, p.x, p.y);
      const float bilinear = bilinear_height_from_grid(heights, p.x, p.y);
      EXPECT_EQ(bits(p.z), bits(slope_mode ? bilinear : plane));
      differing += bits(plane) != bits(bilinear);
    }
  }
  EXPECT_GT(differing, 0);  // the fixture tells the samplers apart
}

TEST(Bake, SlopeModeWithZeroLimitsKeepsOnlyFlatCells) {
  World w;
  w.activate_all();
  w.landblock.height[40] = 10;  // raises vertex (4, 4): cells (3..4, 3..4) slope
  dat::ObjectDesc d = desc(kObj, 0, 0);
  d.min_slope = 0;
  d.max_slope = 0;
  w.meshes[kObj] = {};
  w.scenes[kScene] = {d};
  // Each candidate stands on its vertex, whose slope cell is (vx, vy).
  const std::vector<SceneryPlacement> out = w.bake({}, true);
  EXPECT_EQ(out.size(), 77u);
  for (const SceneryPlacement& p : out) {
    const bool sloped = (p.source_cell_x == 3 || p.source_cell_x == 4) && (p.source_cell_y == 3 || p.source_cell_y == 4);
    EXPECT_FALSE(sloped) << p.source_cell_x << "," << p.source_cell_y;
  }
  // Without the slope filter every vertex places.
  EXPECT_EQ(w.bake({}, false).size(), 81u);
}

TEST(Bake, SlopeLimitsThemselvesAreAllowed) {
  World w;
  w.activate(40);
  w.landblock.height[50] = 24;  // vertex (5, 5): cell (4, 4) has h11 = 24
  const HeightGrid heights = vertex_heights(w.region, w.landblock);
  const float slope = slope_at(heights, 100, 102);
  ASSERT_GT(slope, 0.0f);
  struct Case {
    float min_slope, max_slope;
    bool placed;
  };
  const Case cases[] = {{slope, slope, true},
                        {0, std::nextafter(slope, 0.0f), false},
                        {std::nextafter(slope, 2.0f), 2, false},
                        {kNaN, 2, true},
                        {0, kNaN, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.min_slope << ".." << c.max_slope);
    dat::ObjectDesc d = desc(kObj, -6, 4);  // (y, -x) turn: (100, 102)
    d.min_slope = c.min_slope;
    d.max_slope = c.max_slope;
    w.scenes[kScene] = {d};
    EXPECT_EQ(w.bake({}, true).size(), c.placed ? 1u : 0u);
  }
}

// ---- Hostile descriptor values ----

TEST(Bake, NaNOriginIsCarriedThroughDeterministically) {
  // (y, -x) turn at vertex 40: a NaN origin.y gives px NaN, which passes
  // the bounds test; the road test then reads cell x 0.
  World w;
  w.activate(40);
  w.scenes[kScene] = {desc(kObj, 91, kNaN), desc(kOtherObj, 12, 12)};
  const std::vector<SceneryPlacement> out = w.bake();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_TRUE(std::isnan(out[0].x));
  EXPECT_EQ(out[0].y, 5.0f);
  EXPECT_TRUE(std::isnan(out[0].z));
  // Its box holds no x coordinate, so it blocks nothing.
  EXPECT_EQ(out[1].obj_id, kOtherObj);
  expect_same(out, w.bake());

  // With a road at word 0 (cell (0, 0) by the NaN x) it is dropped.
  w.landblock.terrain[0] = kInactive | 1;
  const std::vector<SceneryPlacement> on_road = w.bake();
  ASSERT_EQ(on_road.size(), 1u);
  EXPECT_EQ(on_road[0].obj_id, kOtherObj);

  // Both coordinates NaN, and the slope mode.
  w.landblock.terrain[0] = kInactive;
  w.scenes[kScene] = {desc(kObj, kNaN, kNaN)};
  for (bool slope_mode : {false, true}) {
    SCOPED_TRACE(slope_mode);
    const std::vector<SceneryPlacement> both = w.bake({}, slope_mode);
    ASSERT_EQ(both.size(), 1u);
    EXPECT_TRUE(std::isnan(both[0].x));
    EXPECT_TRUE(std::isnan(both[0].y));
  }
}

TEST(Bake, HugeAndInfiniteValuesDoNotBreakTheBake) {
  World w;
  w.activate_all();
  const float inf = std::numeric_limits<float>::infinity();
  dat::ObjectDesc d = desc(kObj, 0, 0);
  d.displace_x = 3e38f;  // pushes every x out of bounds, or to infinity
  dat::ObjectDesc e = desc(kOtherObj, 1, 1);
  e.max_rotation = inf;
  e.min_scale = 1e-30f;
  e.max_scale = 1e30f;
  w.scenes[kScene] = {d, e};
  const std::vector<SceneryPlacement> out = w.bake();
  expect_same(out, w.bake());
  for (const SceneryPlacement& p : out) EXPECT_EQ(p.obj_id, kOtherObj);
}

}  // namespace
}  // namespace quillmoor::bake
