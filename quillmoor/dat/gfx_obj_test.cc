#include "quillmoor/dat/gfx_obj.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::dat {
namespace {

using authoring::ByteWriter;

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

// id, flags, two surface ids, a type-1 vertex array with one vertex:
// 4 + 4 + 9 + 8 + 28 = 53 bytes.
void head(ByteWriter& w, std::uint32_t flags) {
  w.u32(0x01000042).u32(flags);           // id, flags
  w.u8(2).u32(0x08000001).u32(0x08000002);  // surface_ids: compact count 2, two ids
  w.u32(1).u32(1);                        // vertex_type 1, one vertex
  w.u16(3).u16(0);                        // vertex id 3, num_uvs 0
  w.f32(1.5f).f32(-2.0f).f32(4.0f);       // origin
  w.f32(0).f32(0).f32(1);                 // normal
}

void center(ByteWriter& w) { w.f32(10).f32(20).f32(30); }

TEST(GfxObjTest, SectionsFollowFlags) {
  struct Case {
    const char* name;
    std::uint32_t flags;
    bool write_extra;
    bool expect_extra;
  };
  const Case cases[] = {
      {"flags 0", 0x0, false, false},
      {"bit 0x4 reads nothing", 0x4, false, false},
      {"other bits read nothing", 0xFFFFFFF4, false, false},
      {"extra id 0 is present", 0x8, true, true},
      {"bytes behind are not an extra id", 0x0, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ByteWriter w;
    head(w, c.flags);
    center(w);
    const std::size_t end = w.size() + (c.expect_extra ? 4 : 0);
    if (c.write_extra) w.u32(0);  // extra_id 0
    BinReader r(w.bytes());
    auto gfx = GfxObj::unpack(r);
    ASSERT_TRUE(gfx.ok()) << gfx.error().message();
    EXPECT_EQ(r.position(), end);
    EXPECT_EQ(gfx->id, 0x01000042u);
    EXPECT_EQ(gfx->flags, c.flags);
    EXPECT_EQ(gfx->surface_ids, (std::vector<std::uint32_t>{0x08000001, 0x08000002}));
    ASSERT_EQ(gfx->vertex_array.vertices.size(), 1u);
    EXPECT_EQ(bits(gfx->vertex_array.vertices.at(3).origin.y), bits(-2.0f));
    EXPECT_EQ(bits(gfx->center.z), bits(30.0f));
    EXPECT_TRUE(gfx->physics_polygons.empty());
    EXPECT_FALSE(gfx->physics_bsp.has_value());
    EXPECT_TRUE(gfx->drawing_polygons.empty());
    EXPECT_FALSE(gfx->drawing_bsp.has_value());
    EXPECT_EQ(gfx->extra_id.has_value(), c.expect_extra);
    if (c.expect_extra) {
      EXPECT_EQ(*gfx->extra_id, 0u);
    }
  }
}

// Every section present: flags 0xB.
std::vector<std::uint8_t> full_gfx_obj() {
  ByteWriter w;
  head(w, 0xB);
  // Physics polygons: compact count 0x80 0x02 (the two-byte form of 2).
  w.bytes({0x80, 0x02});
  w.u16(5);                                       // polygon id 5
  w.u8(3).u8(0x0C).u32(1).u16(0).u16(0);          // 3 points, no uv lists
  w.u16(0).u16(1).u16(2);                         // vertex_ids
  w.u16(5);                                       // polygon id 5 again: replaces the first
  w.u8(1).u8(0x00).u32(2).u16(9).u16(8);          // 1 point, both uv lists
  w.u16(3).u8(0x21).u8(0x22);                     // vertex_ids, front, back uv index
  // Physics tree: one leaf (tag, index, solid, sphere, count, one id).
  w.raw("FAEL").u32(0).u32(1).f32(0).f32(0).f32(0).f32(2).u32(1).u16(5);
  center(w);
  // Drawing polygons: compact count 0; the tree follows directly.
  w.u8(0x00);
  w.raw("FAEL").u32(6);  // drawing leaf: tag, index
  w.u32(0x0A000001);     // extra_id
  return std::move(w).bytes();
}

TEST(GfxObjTest, ReadsEverySection) {
  ByteWriter w;
  w.bytes(full_gfx_obj()).bytes({1, 2, 3});  // trailing bytes are ignored
  BinReader r(w.bytes());
  auto gfx = GfxObj::unpack(r);
  ASSERT_TRUE(gfx.ok()) << gfx.error().message();
  EXPECT_EQ(r.position(), w.size() - 3);
  ASSERT_EQ(gfx->physics_polygons.size(), 1u);
  const Polygon& polygon = gfx->physics_polygons.at(5);
  EXPECT_EQ(polygon.point_count, 1);
  EXPECT_EQ(polygon.front_surface, 9);
  EXPECT_EQ(polygon.back_surface, 8);
  EXPECT_EQ(polygon.vertex_ids, (std::vector<std::uint16_t>{3}));
  EXPECT_EQ(polygon.front_uv_indices, (std::vector<std::uint8_t>{0x21}));
  EXPECT_EQ(polygon.back_uv_indices, (std::vector<std::uint8_t>{0x22}));
  ASSERT_TRUE(gfx->physics_bsp.has_value());
  ASSERT_NE(gfx->physics_bsp->leaf(), nullptr);
  EXPECT_EQ(gfx->physics_bsp->leaf()->solid, 1u);
  EXPECT_EQ(gfx->physics_bsp->leaf()->poly_ids, (std::vector<std::uint16_t>{5}));
  EXPECT_EQ(bits(gfx->center.x), bits(10.0f));
  EXPECT_TRUE(gfx->drawing_polygons.empty());
  ASSERT_TRUE(gfx->drawing_bsp.has_value());
  ASSERT_NE(gfx->drawing_bsp->leaf(), nullptr);
  EXPECT_EQ(gfx->drawing_bsp->leaf()->leaf_index, 6u);
  EXPECT_FALSE(gfx->drawing_bsp->leaf()->sphere.has_value());
  EXPECT_EQ(gfx->extra_id, std::optional<std::uint32_t>(0x0A000001));
}

TEST(GfxObjTest, EveryTruncationFails) {
  const auto bytes = full_gfx_obj();
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    BinReader r(std::span<const std::uint8_t>(bytes).first(n));
    auto gfx = GfxObj::unpack(r);
    ASSERT_FALSE(gfx.ok()) << "prefix " << n;
    EXPECT_TRUE(gfx.error().is_eof()) << "prefix " << n;
  }
}

TEST(GfxObjTest, HugeCountsEndAtEndOfData) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  auto build = [](auto fill) {
    ByteWriter w;
    fill(w);
    return std::move(w).bytes();
  };
  const Case cases[] = {
      {"surface ids", build([](ByteWriter& w) { w.u32(1).u32(0).bytes({0xFF, 0xFF, 0xFF, 0xFF}).zeros(40); })},
      {"vertices", build([](ByteWriter& w) { w.u32(1).u32(0).u8(0).u32(1).u32(0xFFFFFFFF).zeros(40); })},
      {"physics polygons",
       build([](ByteWriter& w) { w.u32(1).u32(1).u8(0).u32(0).u32(0).bytes({0xFF, 0xFF, 0xFF, 0xFF}).zeros(40); })},
      {"drawing polygons", build([](ByteWriter& w) {
         w.u32(1).u32(2).u8(0).u32(0).u32(0).zeros(12).bytes({0xBF, 0xFF}).zeros(40);
       })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BinReader r(c.bytes);
    auto gfx = GfxObj::unpack(r);
    ASSERT_FALSE(gfx.ok());
    EXPECT_TRUE(gfx.error().is_eof());
  }
}

TEST(GfxObjTest, TreeErrorsPassThrough) {
  // A drawing tree deeper than the bound fails the whole object with the
  // tree's own error.
  ByteWriter w;
  w.u32(1).u32(0x2).u8(0).u32(0).u32(0);  // id, flags 0x2, no surfaces, empty vertex array
  center(w);
  w.u8(0);  // no drawing polygons
  const std::size_t tree_start = w.size();
  for (std::uint32_t i = 0; i < kMaxBspDepth; ++i) w.raw("nnPB").zeros(16);  // tag BPnn, plane
  char expected[64];
  std::snprintf(expected, sizeof expected, "BSP tree deeper than 1000 levels at 0x%zx", tree_start + 20 * 1000);
  BinReader r(w.bytes());
  auto gfx = GfxObj::unpack(r);
  ASSERT_FALSE(gfx.ok());
  EXPECT_EQ(gfx.error().message(), expected);
}

}  // namespace
}  // namespace quillmoor::dat
