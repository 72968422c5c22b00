#include "quillmoor/dat/setup_model.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::dat {
namespace {

using authoring::ByteWriter;

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

// A frame whose seven floats are base, base + 1, ... (origin x, y, z, then
// orientation w, x, y, z).
void frame(ByteWriter& w, float base) {
  for (int i = 0; i < 7; ++i) w.f32(base + static_cast<float>(i));
}

// 16 bytes: centre (base, base + 1, base + 2), radius base + 3.
void sphere(ByteWriter& w, float base) {
  for (int i = 0; i < 4; ++i) w.f32(base + static_cast<float>(i));
}

// The sections after the placements with every count 0 and the fixed
// tail: 4 + 4 + 16 + 32 + 4 + 20 = 80 bytes.
void empty_tail(ByteWriter& w) {
  w.u32(0);         // cyl_spheres count
  w.u32(0);         // spheres count
  w.zeros(16);      // params
  w.zeros(32);      // extra_spheres
  w.u32(0);         // lights count
  w.zeros(20);      // linked_ids, all absent
}

// A setup with two parts and every later count 0.
std::vector<std::uint8_t> two_part_setup(std::uint32_t flags) {
  ByteWriter w;
  w.u32(0x02000001).u32(flags).u32(2);      // id, flags, part_count
  w.u32(0x01000010).u32(0x01000011);        // parts
  if (flags & 0x1) w.u32(7).u32(8);         // part_values
  if (flags & 0x2) {                        // part_vectors
    w.f32(1).f32(2).f32(3);
    w.f32(4).f32(5).f32(6);
  }
  w.u32(0);  // locations_a count
  w.u32(0);  // locations_b count
  w.i32(0);  // placement count
  empty_tail(w);
  return std::move(w).bytes();
}

TEST(SetupModelTest, LayoutSizeFollowsFlags) {
  struct Case {
    std::uint32_t flags;
    std::size_t size;
  };
  // 112 bytes plain; bit 0x1 adds two 32-bit values, bit 0x2 two Vector3;
  // other bits add nothing.
  const Case cases[] = {{0x0, 112}, {0x1, 120}, {0x2, 136}, {0x3, 144}, {0xFFFFFFFC, 112}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    const auto bytes = two_part_setup(c.flags);
    ASSERT_EQ(bytes.size(), c.size);
    BinReader r(bytes);
    auto setup = SetupModel::unpack(r);
    ASSERT_TRUE(setup.ok()) << setup.error().message();
    EXPECT_EQ(r.position(), c.size);
    EXPECT_EQ(setup->id, 0x02000001u);
    EXPECT_EQ(setup->flags, c.flags);
    EXPECT_EQ(setup->parts, (std::vector<std::uint32_t>{0x01000010, 0x01000011}));
    const std::vector<std::uint32_t> values = (c.flags & 0x1) ? std::vector<std::uint32_t>{7, 8}
                                                              : std::vector<std::uint32_t>{};
    EXPECT_EQ(setup->part_values, values);
    ASSERT_EQ(setup->part_vectors.size(), (c.flags & 0x2) ? 2u : 0u);
    if (c.flags & 0x2) {
      EXPECT_EQ(bits(setup->part_vectors[1].z), bits(6.0f));
    }
    for (const auto& linked : setup->linked_ids) EXPECT_FALSE(linked.has_value());

    // Every byte is needed: each shorter prefix fails at the end of data.
    for (std::size_t n = 0; n < bytes.size(); ++n) {
      BinReader cut(std::span<const std::uint8_t>(bytes).first(n));
      auto failed = SetupModel::unpack(cut);
      ASSERT_FALSE(failed.ok()) << "prefix " << n;
      EXPECT_TRUE(failed.error().is_eof()) << "prefix " << n;
    }
  }
}

TEST(SetupModelTest, ZeroPartsReadNoPartSections) {
  ByteWriter w;
  w.u32(0x02000002).u32(0x3).u32(0);  // id, flags 0x3, part_count 0
  w.u32(0).u32(0).i32(0);             // locations_a, locations_b, placements
  empty_tail(w);
  ASSERT_EQ(w.size(), 12u + 12u + 80u);
  BinReader r(w.bytes());
  auto setup = SetupModel::unpack(r);
  ASSERT_TRUE(setup.ok()) << setup.error().message();
  EXPECT_TRUE(setup->parts.empty());
  EXPECT_TRUE(setup->part_values.empty());
  EXPECT_TRUE(setup->part_vectors.empty());
  EXPECT_EQ(r.position(), w.size());
}

// Every section filled, duplicate keys included.
std::vector<std::uint8_t> full_setup() {
  ByteWriter w;
  w.u32(0x02000123).u32(0x3).u32(2);  // id, flags, part_count 2
  w.u32(0x01000001).u32(0x01000002);  // parts
  w.u32(11).u32(12);                  // part_values
  w.f32(1).f32(2).f32(3).f32(4).f32(5).f32(6);  // part_vectors
  // locations_a: two entries, key 4 twice; the second replaces the first.
  w.u32(2);
  w.u32(4).u32(100);  // key 4, part_id 100
  frame(w, 10);
  w.u32(4).u32(101);  // key 4 again, part_id 101
  frame(w, 20);
  // locations_b: one entry.
  w.u32(1);
  w.u32(9).u32(1);  // key 9, part_id 1
  frame(w, 30);
  // placements: one, with a frame per part and two hooks.
  w.i32(1);
  w.u32(0x65);  // key
  frame(w, 40);
  frame(w, 50);
  w.u32(2);                                   // hook count
  w.u32(5).u32(0xAABBCCDD);                   // type 5, hook_param
  w.bytes({0x01, 0x02, 0x00, 0xEE});          // byte, 16-bit 0x0002, one padding byte
  w.u32(1).u32(0).u32(0x12345678);            // type 1, param, 4 payload bytes
  // cyl_spheres: one.
  w.u32(1);
  w.f32(1.5f).f32(2.5f).f32(3.5f).f32(0.25f).f32(8.0f);  // origin, radius, height
  // spheres: two.
  w.u32(2);
  sphere(w, 60);
  sphere(w, 70);
  w.u32(0xDEADBEEF).u32(1).u32(2).u32(3);  // params
  sphere(w, 80);                            // extra_spheres[0]
  sphere(w, 90);                            // extra_spheres[1]
  // lights: two with key 3; the second wins.
  w.u32(2);
  w.u32(3);
  frame(w, 100);
  w.u32(0xFF0000FF).f32(1).f32(2).f32(3);  // color, intensity, falloff, cone_angle
  w.u32(3);
  frame(w, 110);
  w.u32(0x00FF00FF).f32(4).f32(5).f32(6);
  w.u32(0).u32(5).u32(0).u32(0).u32(7);  // linked_ids
  return std::move(w).bytes();
}

TEST(SetupModelTest, ReadsEverySection) {
  ByteWriter w;
  w.bytes(full_setup()).bytes({0x99, 0x98, 0x97});  // trailing bytes are ignored
  const auto& bytes = w.bytes();
  BinReader r(bytes);
  auto setup = SetupModel::unpack(r);
  ASSERT_TRUE(setup.ok()) << setup.error().message();
  const SetupModel& s = *setup;
  EXPECT_EQ(r.position(), bytes.size() - 3);
  EXPECT_EQ(s.part_values, (std::vector<std::uint32_t>{11, 12}));

  ASSERT_EQ(s.locations_a.size(), 1u);
  EXPECT_EQ(s.locations_a.at(4).part_id, 101u);
  EXPECT_EQ(bits(s.locations_a.at(4).frame.origin.x), bits(20.0f));
  EXPECT_EQ(bits(s.locations_a.at(4).frame.orientation.z), bits(26.0f));
  ASSERT_EQ(s.locations_b.size(), 1u);
  EXPECT_EQ(s.locations_b.at(9).part_id, 1u);

  ASSERT_EQ(s.placements.size(), 1u);
  const PlacementType& p = s.placements.at(0x65);
  ASSERT_EQ(p.frames.size(), 2u);
  EXPECT_EQ(bits(p.frames[1].origin.x), bits(50.0f));
  ASSERT_EQ(p.hooks.size(), 2u);
  EXPECT_EQ(p.hooks[0].hook_type, 5u);
  EXPECT_EQ(p.hooks[0].hook_param, 0xAABBCCDDu);
  EXPECT_EQ(p.hooks[0].payload, (std::vector<std::uint8_t>{0x01, 0x02, 0x00, 0xEE}));
  EXPECT_EQ(p.hooks[1].payload, (std::vector<std::uint8_t>{0x78, 0x56, 0x34, 0x12}));

  ASSERT_EQ(s.cyl_spheres.size(), 1u);
  EXPECT_EQ(bits(s.cyl_spheres[0].origin.z), bits(3.5f));
  EXPECT_EQ(bits(s.cyl_spheres[0].radius), bits(0.25f));
  EXPECT_EQ(bits(s.cyl_spheres[0].height), bits(8.0f));
  ASSERT_EQ(s.spheres.size(), 2u);
  EXPECT_EQ(bits(s.spheres[1].radius), bits(73.0f));
  EXPECT_EQ(s.params, (std::array<std::uint32_t, 4>{0xDEADBEEF, 1, 2, 3}));
  EXPECT_EQ(bits(s.extra_spheres[0].center.x), bits(80.0f));
  EXPECT_EQ(bits(s.extra_spheres[1].radius), bits(93.0f));

  ASSERT_EQ(s.lights.size(), 1u);
  const LightInfo& light = s.lights.at(3);
  EXPECT_EQ(bits(light.viewer_space_location.origin.x), bits(110.0f));
  EXPECT_EQ(light.color, 0x00FF00FFu);
  EXPECT_EQ(bits(light.intensity), bits(4.0f));
  EXPECT_EQ(bits(light.falloff), bits(5.0f));
  EXPECT_EQ(bits(light.cone_angle), bits(6.0f));

  const std::array<std::optional<std::uint32_t>, 5> linked = {std::nullopt, 5u, std::nullopt, std::nullopt, 7u};
  EXPECT_EQ(s.linked_ids, linked);
}

TEST(SetupModelTest, EveryTruncationFails) {
  const auto bytes = full_setup();
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    BinReader r(std::span<const std::uint8_t>(bytes).first(n));
    auto setup = SetupModel::unpack(r);
    ASSERT_FALSE(setup.ok()) << "prefix " << n;
    EXPECT_TRUE(setup.error().is_eof()) << "prefix " << n;
  }
}

TEST(SetupModelTest, NegativePlacementCount) {
  struct Case {
    std::int32_t count;
    const char* message;
  };
  // The count stands at 20..23 (no parts, no locations); the error points
  // just behind it.
  const Case cases[] = {
      {-1, "SetupModel 0x02000001 declared negative placement count -1 at 0x18"},
      {INT32_MIN, "SetupModel 0x02000001 declared negative placement count -2147483648 at 0x18"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    ByteWriter w;
    w.u32(0x02000001).u32(0).u32(0);  // id, flags, part_count
    w.u32(0).u32(0);                  // locations_a, locations_b
    w.i32(c.count);                   // placement count
    empty_tail(w);
    BinReader r(w.bytes());
    auto setup = SetupModel::unpack(r);
    ASSERT_FALSE(setup.ok());
    EXPECT_EQ(setup.error().kind(), BinError::Kind::kCustom);
    EXPECT_EQ(setup.error().position(), 0x18u);
    EXPECT_EQ(setup.error().message(), c.message);
  }
}

TEST(SetupModelTest, HugeCountsEndAtEndOfData) {
  // Each count in turn claims the most it can; the file is otherwise a
  // zero-part setup. No reader may reserve for the claim.
  struct Case {
    const char* name;
    std::size_t offset;
  };
  const Case cases[] = {
      {"part_count", 8}, {"locations_a", 12}, {"locations_b", 16}, {"placements", 20},
      {"cyl_spheres", 24}, {"spheres", 28}, {"lights", 80},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ByteWriter w;
    w.u32(0x02000001).u32(0x3).u32(0);  // id, flags, part_count
    w.u32(0).u32(0).i32(0);             // locations_a, locations_b, placements
    empty_tail(w);
    auto bytes = std::move(w).bytes();
    const std::uint32_t huge = std::string(c.name) == "placements" ? 0x7FFFFFFF : 0xFFFFFFFF;
    std::memcpy(bytes.data() + c.offset, &huge, 4);
    BinReader r(bytes);
    auto setup = SetupModel::unpack(r);
    ASSERT_FALSE(setup.ok());
    EXPECT_TRUE(setup.error().is_eof());
  }
}

TEST(SetupModelTest, SmallRecordsNameTheFailingField) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    BinResult<int> (*read)(BinReader&);
    const char* message;
  };
  auto cyl = [](BinReader& r) -> BinResult<int> {
    QM_TRY(CylSphere::read(r));
    return 0;
  };
  auto loc = [](BinReader& r) -> BinResult<int> {
    QM_TRY(LocationType::read(r));
    return 0;
  };
  auto light = [](BinReader& r) -> BinResult<int> {
    QM_TRY(LightInfo::read(r));
    return 0;
  };
  auto filled = [](std::size_t n) { return std::vector<std::uint8_t>(n, 0x41); };
  const Case cases[] = {
      // origin (12) then two bytes of radius.
      {"cyl radius", filled(14), cyl, "failed to fill whole buffer\nWhile parsing field 'radius' in CylSphere"},
      {"cyl origin", filled(5), cyl,
       "failed to fill whole buffer\nWhile parsing field 'y' in Vector3\nWhile parsing field 'origin' in CylSphere"},
      {"cyl height", filled(17), cyl, "failed to fill whole buffer\nWhile parsing field 'height' in CylSphere"},
      {"location part_id", filled(3), loc, "failed to fill whole buffer\nWhile parsing field 'part_id' in LocationType"},
      // part_id (4), origin (12), then 6 bytes into the orientation: its y.
      {"location frame", filled(4 + 12 + 9), loc,
       "failed to fill whole buffer\nWhile parsing field 'y' in Quaternion\n"
       "While parsing field 'orientation' in Frame\nWhile parsing field 'frame' in LocationType"},
      {"light frame", filled(2), light,
       "failed to fill whole buffer\nWhile parsing field 'x' in Vector3\nWhile parsing field 'origin' in Frame\n"
       "While parsing field 'viewer_space_location' in LightInfo"},
      {"light color", filled(30), light, "failed to fill whole buffer\nWhile parsing field 'color' in LightInfo"},
      {"light intensity", filled(32), light, "failed to fill whole buffer\nWhile parsing field 'intensity' in LightInfo"},
      {"light falloff", filled(39), light, "failed to fill whole buffer\nWhile parsing field 'falloff' in LightInfo"},
      {"light cone_angle", filled(43), light, "failed to fill whole buffer\nWhile parsing field 'cone_angle' in LightInfo"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A record read further into the file rewinds to its own first byte.
    ByteWriter w;
    w.zeros(3).bytes(c.bytes);
    BinReader r(w.bytes(), 3);
    auto result = c.read(r);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().message(), c.message);
    EXPECT_EQ(r.position(), 3u);
  }
}

TEST(SetupModelTest, SetupPassesRecordErrorsOnUnchanged) {
  // A setup cut two bytes into the radius of its cylinder sphere.
  ByteWriter w;
  w.u32(0x02000001).u32(0).u32(0);  // id, flags, part_count
  w.u32(0).u32(0).i32(0);           // locations_a, locations_b, placements
  w.u32(1);                         // cyl_spheres count
  w.f32(1).f32(2).f32(3);           // origin
  w.u16(0);                         // half of radius
  BinReader r(w.bytes());
  auto setup = SetupModel::unpack(r);
  ASSERT_FALSE(setup.ok());
  EXPECT_EQ(setup.error().message(), "failed to fill whole buffer\nWhile parsing field 'radius' in CylSphere");
}

// ---- placements and animation hooks ----------------------------------------

TEST(PlacementTypeTest, HookSizesByType) {
  struct Case {
    std::uint32_t type;
    std::vector<std::uint8_t> payload;  // as stored, padding included
    std::size_t hook_size;
  };
  auto filled = [](std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(0xA0 + i);
    return v;
  };
  const Case cases[] = {
      {0, {}, 8},           {1, filled(4), 12},   {2, filled(4), 12},   {3, filled(28), 36},
      {4, {}, 8},           {6, filled(4), 12},   {7, filled(16), 24},  {8, filled(12), 20},
      {9, filled(16), 24},  {10, filled(12), 20}, {11, filled(16), 24}, {12, filled(8), 16},
      {13, filled(40), 48}, {14, filled(4), 12},  {15, filled(4), 12},  {16, filled(4), 12},
      {17, {}, 8},          {18, filled(4), 12},  {19, filled(8), 16},  {20, filled(12), 20},
      {21, filled(16), 24}, {22, filled(12), 20}, {23, filled(8), 16},  {24, filled(12), 20},
      {25, filled(4), 12},  {26, filled(40), 48},
      // Type 5: a byte, a 16-bit value, a second one when bit 0x8000 is set,
      // then padding to a multiple of 4.
      {5, {0x01, 0x02, 0x00, 0xEE}, 12},                          // 0x0002: 3 + 1 padding
      {5, {0x01, 0xFF, 0x7F, 0xEE}, 12},                          // 0x7FFF: 3 + 1 padding
      {5, {0x01, 0x00, 0x80, 0x03, 0x00, 0xE1, 0xE2, 0xE3}, 16},  // 0x8000: 5 + 3 padding
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    ByteWriter w;
    w.u32(2);                          // hook count (part_count 0: no frames)
    w.u32(c.type).u32(0x01020304);     // hook_type, hook_param
    w.bytes(c.payload);
    w.u32(17).u32(0xCAFEF00D);         // a second hook: type 17, no payload
    ASSERT_EQ(w.size(), 4 + c.hook_size + 8);
    BinReader r(w.bytes());
    auto placement = PlacementType::read(r, 0);
    ASSERT_TRUE(placement.ok()) << placement.error().message();
    EXPECT_EQ(r.position(), w.size());
    EXPECT_TRUE(placement->frames.empty());
    ASSERT_EQ(placement->hooks.size(), 2u);
    EXPECT_EQ(placement->hooks[0].hook_type, c.type);
    EXPECT_EQ(placement->hooks[0].hook_param, 0x01020304u);
    EXPECT_EQ(placement->hooks[0].payload, c.payload);
    EXPECT_EQ(placement->hooks[1].hook_type, 17u);
    EXPECT_EQ(placement->hooks[1].hook_param, 0xCAFEF00Du);
    EXPECT_TRUE(placement->hooks[1].payload.empty());
  }
}

TEST(PlacementTypeTest, FramesFollowPartCount) {
  ByteWriter w;
  frame(w, 1);   // frame 0
  frame(w, 8);   // frame 1
  w.u32(0);      // hook count
  w.u32(0xFF);   // not part of the record
  BinReader r(w.bytes());
  auto placement = PlacementType::read(r, 2);
  ASSERT_TRUE(placement.ok()) << placement.error().message();
  EXPECT_EQ(r.position(), 28u * 2 + 4);
  ASSERT_EQ(placement->frames.size(), 2u);
  EXPECT_EQ(bits(placement->frames[0].origin.x), bits(1.0f));
  EXPECT_EQ(bits(placement->frames[0].orientation.w), bits(4.0f));
  EXPECT_EQ(bits(placement->frames[1].orientation.z), bits(14.0f));
  EXPECT_TRUE(placement->hooks.empty());
}

TEST(PlacementTypeTest, Failures) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::uint32_t part_count;
    const char* message;
  };
  auto build = [](auto fill) {
    ByteWriter w;
    fill(w);
    return std::move(w).bytes();
  };
  const Case cases[] = {
      // The type is checked before any payload; the error points behind
      // hook_param (hook at 4, so 0xc).
      {"type 27", build([](ByteWriter& w) { w.u32(1).u32(27).u32(0); }), 0,
       "Unsupported AnimationHook type: 0x0000001B at 0xc"},
      {"type max", build([](ByteWriter& w) { w.u32(1).u32(0xFFFFFFFF).u32(0).zeros(64); }), 0,
       "Unsupported AnimationHook type: 0xFFFFFFFF at 0xc"},
      // After one 28-byte frame the hook starts at 32.
      {"type 27 behind a frame", build([](ByteWriter& w) { w.zeros(28).u32(1).u32(27).u32(0); }), 1,
       "Unsupported AnimationHook type: 0x0000001B at 0x28"},
      {"type-5 padding cut", build([](ByteWriter& w) { w.u32(1).u32(5).u32(0).bytes({1, 2, 0}); }), 0,
       "failed to fill whole buffer"},
      {"type-5 second value cut", build([](ByteWriter& w) { w.u32(1).u32(5).u32(0).bytes({1, 0, 0x80, 3}); }), 0,
       "failed to fill whole buffer"},
      {"payload cut", build([](ByteWriter& w) { w.u32(1).u32(3).u32(0).zeros(27); }), 0,
       "failed to fill whole buffer"},
      {"hook_param cut", build([](ByteWriter& w) { w.u32(1).u32(0).u16(0); }), 0, "failed to fill whole buffer"},
      {"hook count cut", build([](ByteWriter& w) { w.zeros(28).u16(0); }), 1, "failed to fill whole buffer"},
      {"huge hook count", build([](ByteWriter& w) { w.u32(0xFFFFFFFF).u32(0).u32(0); }), 0,
       "failed to fill whole buffer"},
      {"huge part count", build([](ByteWriter& w) { w.zeros(30); }), 0xFFFFFFFF,
       "failed to fill whole buffer\nWhile parsing field 'x' in Vector3\nWhile parsing field 'origin' in Frame"},
      {"frame cut", build([](ByteWriter& w) { w.zeros(28 + 16); }), 2,
       "failed to fill whole buffer\nWhile parsing field 'x' in Quaternion\nWhile parsing field 'orientation' in Frame"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BinReader r(c.bytes);
    auto placement = PlacementType::read(r, c.part_count);
    ASSERT_FALSE(placement.ok());
    EXPECT_EQ(placement.error().message(), c.message);
  }
}

}  // namespace
}  // namespace quillmoor::dat
