#include "quillmoor/dat/scene.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::dat {
namespace {

using authoring::ByteWriter;

constexpr char kEof[] = "failed to fill whole buffer";

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

// One descriptor whose every 4-byte slot holds a distinct value, so that a
// field read from the wrong offset shows.
void write_marked_desc(ByteWriter& w, std::uint32_t obj_id) {
  w.u32(obj_id)                            // 0: obj_id
      .f32(1.0f).f32(2.0f).f32(3.0f)       // 4: frame origin x, y, z
      .f32(0.5f).f32(0.25f).f32(0.125f).f32(-1.0f)  // 16: orientation w, x, y, z
      .f32(0.75f)                          // 32: frequency
      .f32(4.0f)                           // 36: displace_x
      .f32(5.0f)                           // 40: displace_y
      .f32(1.5f)                           // 44: min_scale
      .f32(2.5f)                           // 48: max_scale
      .f32(90.0f)                          // 52: max_rotation
      .f32(0.1f)                           // 56: min_slope
      .f32(0.9f)                           // 60: max_slope
      .i32(-7)                             // 64: aux_a
      .i32(0x12345678)                     // 68: aux_b
      .u32(1);                             // 72: skip_flag
}

TEST(SceneTest, EmptySceneIsEightBytes) {
  const auto bytes = ByteWriter().u32(0x12000042).u32(0).bytes();  // id, count 0
  BinReader reader(bytes);
  auto scene = Scene::unpack(reader);
  ASSERT_TRUE(scene.ok()) << scene.error().message();
  EXPECT_EQ(scene->id, 0x12000042u);
  EXPECT_TRUE(scene->objects.empty());
  EXPECT_EQ(reader.position(), 8u);
}

TEST(SceneTest, DescriptorFieldsSitAtFixedOffsets) {
  ByteWriter w;
  w.u32(0x12000001).u32(2);  // id, two descriptors
  write_marked_desc(w, 0x01000A01);
  write_marked_desc(w, 0x02000B02);
  w.u32(0xEEEEEEEE);  // ignored trailing bytes
  const auto bytes = std::move(w).bytes();
  ASSERT_EQ(bytes.size(), 8u + 2 * ObjectDesc::kSize + 4);

  BinReader reader(bytes);
  auto scene = Scene::unpack(reader);
  ASSERT_TRUE(scene.ok()) << scene.error().message();
  EXPECT_EQ(reader.position(), 8u + 2 * ObjectDesc::kSize);
  ASSERT_EQ(scene->objects.size(), 2u);
  EXPECT_EQ(scene->objects[0].obj_id, 0x01000A01u);
  EXPECT_EQ(scene->objects[1].obj_id, 0x02000B02u);

  const ObjectDesc& d = scene->objects[1];
  EXPECT_EQ(bits(d.frame.origin.x), bits(1.0f));
  EXPECT_EQ(bits(d.frame.origin.y), bits(2.0f));
  EXPECT_EQ(bits(d.frame.origin.z), bits(3.0f));
  EXPECT_EQ(bits(d.frame.orientation.w), bits(0.5f));
  EXPECT_EQ(bits(d.frame.orientation.x), bits(0.25f));
  EXPECT_EQ(bits(d.frame.orientation.y), bits(0.125f));
  EXPECT_EQ(bits(d.frame.orientation.z), bits(-1.0f));
  EXPECT_EQ(bits(d.frequency), bits(0.75f));
  EXPECT_EQ(bits(d.displace_x), bits(4.0f));
  EXPECT_EQ(bits(d.displace_y), bits(5.0f));
  EXPECT_EQ(bits(d.min_scale), bits(1.5f));
  EXPECT_EQ(bits(d.max_scale), bits(2.5f));
  EXPECT_EQ(bits(d.max_rotation), bits(90.0f));
  EXPECT_EQ(bits(d.min_slope), bits(0.1f));
  EXPECT_EQ(bits(d.max_slope), bits(0.9f));
  EXPECT_EQ(d.aux_a, -7);
  EXPECT_EQ(d.aux_b, 0x12345678);
  EXPECT_EQ(d.skip_flag, 1u);
}

TEST(SceneTest, FloatsAreKeptAsStoredBits) {
  // A quiet NaN with payload and a negative zero pass through unchanged.
  ByteWriter w;
  w.u32(1).u32(1).u32(0x01000001).zeros(28)
      .u32(0x7FC01234)   // frequency: NaN with payload
      .u32(0x80000000)   // displace_x: -0.0
      .zeros(36);
  BinReader reader(w.bytes());
  auto scene = Scene::unpack(reader);
  ASSERT_TRUE(scene.ok()) << scene.error().message();
  EXPECT_EQ(bits(scene->objects[0].frequency), 0x7FC01234u);
  EXPECT_EQ(bits(scene->objects[0].displace_x), 0x80000000u);
}

TEST(SceneTest, CutFilesFail) {
  ByteWriter w;
  w.u32(0x12000001).u32(2);
  write_marked_desc(w, 1);
  write_marked_desc(w, 2);
  const auto bytes = std::move(w).bytes();
  struct Case {
    const char* where;
    std::size_t size;
    std::vector<std::string> context;
  };
  const Case cases[] = {
      {"inside the id", 2, {}},
      {"inside the count", 6, {}},
      {"inside the first obj_id", 10, {}},
      {"inside the first frame's origin y", 8 + 4 + 5,
       {"While parsing field 'y' in Vector3", "While parsing field 'origin' in Frame"}},
      {"inside the second frame's orientation x", 8 + 76 + 4 + 12 + 4 + 2,
       {"While parsing field 'x' in Quaternion", "While parsing field 'orientation' in Frame"}},
      {"inside the first frequency", 8 + 33, {}},
      {"inside the second skip_flag (8 + 76 + 75)", 8 + 76 + 75, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    BinReader reader(std::span<const std::uint8_t>(bytes).first(c.size));
    auto scene = Scene::unpack(reader);
    ASSERT_FALSE(scene.ok());
    EXPECT_TRUE(scene.error().is_eof());
    EXPECT_EQ(scene.error().base_message(), kEof);
    EXPECT_EQ(scene.error().context(), c.context);
  }
}

TEST(SceneTest, HugeCountFailsWithoutReserving) {
  ByteWriter w;
  w.u32(0x12000001).u32(0xFFFFFFFF);  // id, a count no file can back
  write_marked_desc(w, 1);            // one real descriptor, then the end
  BinReader reader(w.bytes());
  auto scene = Scene::unpack(reader);
  ASSERT_FALSE(scene.ok());
  EXPECT_EQ(scene.error().message(), kEof);
}

}  // namespace
}  // namespace quillmoor::dat
