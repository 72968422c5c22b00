#include "quillmoor/dat/graphics.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::dat {
namespace {

using authoring::ByteWriter;

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

TEST(PolygonTest, UvListsFollowFlagsAndSideMode) {
  struct Case {
    std::uint8_t point_count;
    std::uint8_t uv_flags;
    std::uint32_t side_mode;
    bool front;
    bool back;
    std::size_t size;
  };
  const Case cases[] = {
      {3, 0x00, 2, true, true, 22},     // 10 + 6 + 3 + 3
      {3, 0x00, 1, true, false, 19},    // back list only on side mode 2
      {3, 0x04, 2, false, true, 19},    // 0x04: no front list
      {3, 0x08, 2, true, false, 19},    // 0x08: no back list
      {3, 0x0C, 2, false, false, 16},
      {3, 0xF3, 2, true, true, 22},     // other bits change nothing
      {3, 0x00, 0x102, true, false, 19},  // only the value 2 adds the back list
      {0, 0x00, 2, false, false, 10},   // no points: only the header
      {0, 0x0C, 1, false, false, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << int{c.point_count} << " " << int{c.uv_flags} << " " << c.side_mode);
    ByteWriter w;
    w.u8(c.point_count).u8(c.uv_flags);  // point_count, uv_flags
    w.u32(c.side_mode);                   // side_mode
    w.u16(0x1111).u16(0x2222);            // front_surface, back_surface
    for (int i = 0; i < c.point_count; ++i) w.u16(static_cast<std::uint16_t>(100 + i));  // vertex_ids
    if (c.front) w.bytes({1, 2, 3});      // front_uv_indices
    if (c.back) w.bytes({4, 5, 6});       // back_uv_indices
    ASSERT_EQ(w.size(), c.size);
    w.bytes({0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE});  // whatever follows
    BinReader r(w.bytes());
    auto polygon = Polygon::read(r);
    ASSERT_TRUE(polygon.ok()) << polygon.error().message();
    EXPECT_EQ(r.position(), c.size);
    EXPECT_EQ(polygon->point_count, c.point_count);
    EXPECT_EQ(polygon->uv_flags, c.uv_flags);
    EXPECT_EQ(polygon->side_mode, c.side_mode);
    EXPECT_EQ(polygon->front_surface, 0x1111);
    EXPECT_EQ(polygon->back_surface, 0x2222);
    EXPECT_EQ(polygon->vertex_ids.size(), c.point_count);
    if (c.point_count > 0) {
      EXPECT_EQ(polygon->vertex_ids[2], 102);
    }
    const std::vector<std::uint8_t> front = c.front ? std::vector<std::uint8_t>{1, 2, 3} : std::vector<std::uint8_t>{};
    EXPECT_EQ(polygon->front_uv_indices, front);
    const std::vector<std::uint8_t> back = c.back ? std::vector<std::uint8_t>{4, 5, 6} : std::vector<std::uint8_t>{};
    EXPECT_EQ(polygon->back_uv_indices, back);

    // Each shorter prefix fails with the end of data and no context.
    for (std::size_t n = 0; n < c.size; ++n) {
      BinReader cut(std::span<const std::uint8_t>(w.bytes()).first(n));
      auto failed = Polygon::read(cut);
      ASSERT_FALSE(failed.ok()) << n;
      EXPECT_EQ(failed.error().message(), "failed to fill whole buffer") << n;
    }
  }
}

// A vertex with two uv pairs: 2 + 12 + 12 + 16 = 42 bytes.
void two_uv_vertex(ByteWriter& w) {
  w.u16(2);                          // num_uvs
  w.f32(1).f32(2).f32(3);            // origin
  w.f32(0).f32(0).f32(1);            // normal
  w.f32(0.25f).f32(0.5f);            // uvs[0]
  w.f32(0.75f).f32(1.0f);            // uvs[1]
}

TEST(SWVertexTest, ReadsFieldsInOrder) {
  ByteWriter w;
  two_uv_vertex(w);
  ASSERT_EQ(w.size() + 2, 44u);  // with its 16-bit id in a vertex array
  BinReader r(w.bytes());
  auto vertex = SWVertex::read(r);
  ASSERT_TRUE(vertex.ok()) << vertex.error().message();
  EXPECT_EQ(r.position(), 42u);
  EXPECT_EQ(vertex->num_uvs, 2);
  EXPECT_EQ(bits(vertex->origin.z), bits(3.0f));
  EXPECT_EQ(bits(vertex->normal.z), bits(1.0f));
  ASSERT_EQ(vertex->uvs.size(), 2u);
  EXPECT_EQ(bits(vertex->uvs[0].u), bits(0.25f));
  EXPECT_EQ(bits(vertex->uvs[1].v), bits(1.0f));
}

TEST(SWVertexTest, CutNamesTheField) {
  struct Case {
    std::size_t length;
    const char* message;
  };
  const Case cases[] = {
      {1, "failed to fill whole buffer\nWhile parsing field 'num_uvs' in SWVertex"},
      {2 + 4, "failed to fill whole buffer\nWhile parsing field 'y' in Vector3\nWhile parsing field 'origin' in SWVertex"},
      {2 + 12 + 8, "failed to fill whole buffer\nWhile parsing field 'z' in Vector3\nWhile parsing field 'normal' in SWVertex"},
      {26 + 8 + 2, "failed to fill whole buffer\nWhile parsing field 'u' in Vec2Duv\nWhile parsing field 'uvs' in SWVertex"},
      {26 + 8 + 4, "failed to fill whole buffer\nWhile parsing field 'v' in Vec2Duv\nWhile parsing field 'uvs' in SWVertex"},
      {26 + 8 + 6, "failed to fill whole buffer\nWhile parsing field 'v' in Vec2Duv\nWhile parsing field 'uvs' in SWVertex"},
  };
  ByteWriter w;
  w.zeros(5);  // the vertex starts at 5
  two_uv_vertex(w);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    BinReader r(std::span<const std::uint8_t>(w.bytes()).first(5 + c.length), 5);
    auto vertex = SWVertex::read(r);
    ASSERT_FALSE(vertex.ok());
    EXPECT_EQ(vertex.error().message(), c.message);
    EXPECT_EQ(r.position(), 5u);
  }
}

TEST(CVertexArrayTest, OnlyTypeOneStoresVertices) {
  ByteWriter w;
  w.u32(0).u32(5);  // vertex_type 0, vertex count 5 (unused)
  w.u32(0xABCD);    // the next section
  BinReader r(w.bytes());
  auto array = CVertexArray::read(r);
  ASSERT_TRUE(array.ok()) << array.error().message();
  EXPECT_EQ(r.position(), 8u);
  EXPECT_EQ(array->vertex_type, 0u);
  EXPECT_TRUE(array->vertices.empty());

  ByteWriter empty;
  empty.u32(1).u32(0);  // vertex_type 1, no vertices
  BinReader r2(empty.bytes());
  auto none = CVertexArray::read(r2);
  ASSERT_TRUE(none.ok());
  EXPECT_TRUE(none->vertices.empty());
  EXPECT_EQ(r2.position(), 8u);
}

TEST(CVertexArrayTest, LaterDuplicateIdWins) {
  ByteWriter w;
  w.u32(1).u32(3);                                     // vertex_type 1, 3 vertices
  w.u16(7).u16(0).f32(1).f32(1).f32(1).zeros(12);      // id 7, no uvs, origin (1,1,1)
  w.u16(8).u16(0).f32(2).f32(2).f32(2).zeros(12);      // id 8
  w.u16(7).u16(0).f32(3).f32(3).f32(3).zeros(12);      // id 7 again
  BinReader r(w.bytes());
  auto array = CVertexArray::read(r);
  ASSERT_TRUE(array.ok()) << array.error().message();
  EXPECT_EQ(r.position(), w.size());
  ASSERT_EQ(array->vertices.size(), 2u);
  EXPECT_EQ(bits(array->vertices.at(7).origin.x), bits(3.0f));
  EXPECT_EQ(bits(array->vertices.at(8).origin.x), bits(2.0f));
}

TEST(CVertexArrayTest, HugeCountEndsAtEndOfData) {
  ByteWriter w;
  w.u32(1).u32(0xFFFFFFFF);  // vertex_type 1, a count no file can back
  w.u16(1).u16(0).zeros(24); // one vertex
  BinReader r(w.bytes());
  auto array = CVertexArray::read(r);
  ASSERT_FALSE(array.ok());
  EXPECT_EQ(array.error().message(), "failed to fill whole buffer");
}

}  // namespace
}  // namespace quillmoor::dat
