#include "quillmoor/authoring/scene_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

namespace quillmoor::authoring {
namespace {

TEST(SceneWriterTest, LayoutAndRoundTrip) {
  dat::Scene scene;
  scene.id = 0x12000007;
  dat::ObjectDesc d;
  d.obj_id = 0x01000042;
  d.frame.origin = {1.0f, 2.0f, 3.0f};
  d.frame.orientation = {1.0f, 0.0f, 0.0f, 0.0f};
  d.frequency = 0.5f;
  d.max_rotation = 180.0f;
  d.aux_a = -1;
  d.skip_flag = 1;
  scene.objects = {d, dat::ObjectDesc{}};

  const auto bytes = write_scene(scene);
  ASSERT_EQ(bytes.size(), 8u + 2 * 76);
  // id, count, then the first descriptor's obj_id.
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 12),
            (std::vector<std::uint8_t>{0x07, 0x00, 0x00, 0x12, 0x02, 0x00, 0x00, 0x00, 0x42, 0x00, 0x00, 0x01}));
  // frequency at offset 32 and max_rotation at 52 of the descriptor.
  const auto u32_at = [&](std::size_t at) {
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 | std::uint32_t{bytes[at + 2]} << 16 |
           std::uint32_t{bytes[at + 3]} << 24;
  };
  EXPECT_EQ(u32_at(8 + 32), std::bit_cast<std::uint32_t>(0.5f));
  EXPECT_EQ(u32_at(8 + 52), std::bit_cast<std::uint32_t>(180.0f));
  EXPECT_EQ(u32_at(8 + 64), 0xFFFFFFFFu);
  EXPECT_EQ(u32_at(8 + 72), 1u);

  dat::BinReader reader(bytes);
  auto parsed = dat::Scene::unpack(reader);
  ASSERT_TRUE(parsed.ok()) << parsed.error().message();
  EXPECT_EQ(parsed->id, scene.id);
  ASSERT_EQ(parsed->objects.size(), 2u);
  EXPECT_EQ(parsed->objects[0].obj_id, d.obj_id);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(parsed->objects[0].frame.origin.z), std::bit_cast<std::uint32_t>(3.0f));
  EXPECT_EQ(parsed->objects[0].aux_a, -1);
  EXPECT_EQ(write_scene(*parsed), bytes);
}

}  // namespace
}  // namespace quillmoor::authoring
