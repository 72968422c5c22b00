#include "quillmoor/authoring/setup_model_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

namespace quillmoor::authoring {
namespace {

dat::Frame frame(float base) {
  dat::Frame f;
  f.origin = {base, base + 1, base + 2};
  f.orientation = {1, 0, 0, base};
  return f;
}

dat::SetupModel sample_setup() {
  dat::SetupModel s;
  s.id = 0x02000777;
  s.flags = 0x3;
  s.parts = {0x01000001, 0x01000002, 0x01000003};
  s.part_values = {1, 2, 3};
  s.part_vectors = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
  for (std::uint32_t key : {9u, 2u, 5u}) s.locations_a.put(key, dat::LocationType{key * 10, frame(static_cast<float>(key))});
  s.locations_b.put(1, dat::LocationType{7, frame(-1)});
  for (std::uint32_t key : {0x66u, 0x65u}) {
    dat::PlacementType p;
    p.frames = {frame(1), frame(2), frame(3)};
    p.hooks.push_back(make_animation_hook(5, 0x11, {0x01, 0x02, 0x00}));           // 3 + 1 padding
    p.hooks.push_back(make_animation_hook(5, 0x12, {0x01, 0x00, 0x80, 0x03, 0x00}));  // 5 + 3 padding
    p.hooks.push_back(make_animation_hook(13, key, std::vector<std::uint8_t>(40, 0xAB)));
    p.hooks.push_back(make_animation_hook(0, 0, {}));
    s.placements.put(key, std::move(p));
  }
  s.cyl_spheres = {{{1, 2, 3}, 0.5f, 2.0f}};
  s.spheres = {{{4, 5, 6}, 1.0f}, {{7, 8, 9}, 2.0f}};
  s.params = {0xDEADBEEF, 0, 1, 0x7FC00001};
  s.extra_spheres = {Sphere{{1, 0, 0}, 3}, Sphere{{0, 1, 0}, 4}};
  s.lights.put(4, dat::LightInfo{frame(50), 0xFFFFFFFF, 1, 2, 3});
  s.lights.put(1, dat::LightInfo{frame(60), 0x12345678, 4, 5, 6});
  s.linked_ids = {std::nullopt, 5u, std::nullopt, std::nullopt, 7u};
  return s;
}

TEST(SetupModelWriterTest, RoundTripsAndIsDeterministic) {
  const dat::SetupModel original = sample_setup();
  auto bytes = write_setup_model(original);
  ASSERT_TRUE(bytes.ok()) << bytes.error();

  dat::BinReader r(*bytes);
  auto read = dat::SetupModel::unpack(r);
  ASSERT_TRUE(read.ok()) << read.error().message();
  EXPECT_EQ(r.position(), bytes->size());
  EXPECT_EQ(read->parts, original.parts);
  EXPECT_EQ(read->locations_a.at(5).part_id, 50u);
  EXPECT_EQ(read->placements.at(0x66).hooks[1].payload,
            (std::vector<std::uint8_t>{0x01, 0x00, 0x80, 0x03, 0x00, 0, 0, 0}));
  EXPECT_EQ(read->linked_ids, original.linked_ids);

  // The read record (maps seeded afresh) writes the same bytes again.
  auto again = write_setup_model(*read);
  ASSERT_TRUE(again.ok()) << again.error();
  EXPECT_EQ(*again, *bytes);
  dat::SetupModel copy = original;  // another seed, another iteration order
  EXPECT_EQ(*write_setup_model(copy), *bytes);
}

TEST(SetupModelWriterTest, WritesStoredBytesBack) {
  // Literal bytes of a one-part setup; reading and writing keeps them.
  ByteWriter w;
  w.u32(0x02000001).u32(0).u32(1).u32(0x01000005);  // id, flags, part_count 1, parts
  w.u32(0).u32(0);                                  // locations_a, locations_b
  w.i32(1).u32(3);                                  // one placement, key 3
  w.zeros(28);                                      // its frame
  w.u32(1).u32(5).u32(9).bytes({7, 0xFF, 0x7F, 0x5A});  // one type-5 hook, padding byte 0x5A
  w.u32(0).u32(0);                                  // cyl_spheres, spheres
  w.zeros(16 + 32);                                 // params, extra_spheres
  w.u32(0);                                         // lights
  w.u32(1).u32(0).u32(0).u32(0).u32(2);             // linked_ids
  dat::BinReader r(w.bytes());
  auto setup = dat::SetupModel::unpack(r);
  ASSERT_TRUE(setup.ok()) << setup.error().message();
  auto bytes = write_setup_model(*setup);
  ASSERT_TRUE(bytes.ok()) << bytes.error();
  EXPECT_EQ(*bytes, w.bytes());
}

TEST(SetupModelWriterTest, RefusesRecordsNoReaderProduces) {
  struct Case {
    const char* name;
    void (*spoil)(dat::SetupModel&);
  };
  const Case cases[] = {
      {"part values without the flag", [](dat::SetupModel& s) { s.flags = 0x2; }},
      {"part vectors too short", [](dat::SetupModel& s) { s.part_vectors.pop_back(); }},
      {"frames per part", [](dat::SetupModel& s) { s.placements.at(0x65).frames.pop_back(); }},
      {"hook type 27", [](dat::SetupModel& s) { s.placements.at(0x65).hooks[3].hook_type = 27; }},
      {"hook payload length", [](dat::SetupModel& s) { s.placements.at(0x65).hooks[2].payload.pop_back(); }},
      {"type-5 padding", [](dat::SetupModel& s) { s.placements.at(0x65).hooks[0].payload.push_back(0); }},
      {"present linked id 0", [](dat::SetupModel& s) { s.linked_ids[0] = 0u; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dat::SetupModel s = sample_setup();
    c.spoil(s);
    auto bytes = write_setup_model(s);
    EXPECT_FALSE(bytes.ok());
  }
}

}  // namespace
}  // namespace quillmoor::authoring
