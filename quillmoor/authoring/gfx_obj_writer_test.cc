#include "quillmoor/authoring/gfx_obj_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace quillmoor::authoring {
namespace {

using dat::BspLeaf;
using dat::BspNode;
using dat::BspPortal;
using dat::InternalNode;

std::unique_ptr<BspNode> leaf(std::uint8_t kind, std::uint32_t index) {
  BspLeaf l;
  l.leaf_index = index;
  if (kind == dat::kBspPhysicsTree) {
    l.solid = 1;
    l.sphere = Sphere{{1, 2, 3}, 4};
    l.poly_ids = {1, 2, 3};  // an odd count leaves the next node unaligned
  }
  return std::make_unique<BspNode>(std::move(l));
}

InternalNode internal(std::uint8_t kind, const char (&tag)[5]) {
  InternalNode n;
  for (int i = 0; i < 4; ++i) n.node_type[i] = tag[i];
  n.plane = Plane{{0, 0, 1}, -2};
  if (kind != dat::kBspCellTree) n.sphere = Sphere{{0, 0, 0}, 9};
  if (kind != dat::kBspPhysicsTree && kind != dat::kBspCellTree) n.poly_ids = {7};
  return n;
}

// A tree with every node form: BPIN over (BPnn over a leaf) and (BpIN
// over PORT over two leaves), plus a BpIn and an unknown tag as
// childless internal nodes below the portal.
BspNode every_form(std::uint8_t kind) {
  InternalNode bpnn = internal(kind, "BPnn");
  bpnn.pos_child = leaf(kind, 1);

  BspPortal portal;
  portal.plane = Plane{{1, 0, 0}, 5};
  portal.pos_child = std::make_unique<BspNode>(internal(kind, "BpIn"));
  portal.neg_child = std::make_unique<BspNode>(internal(kind, "ZZZZ"));
  if (kind == dat::kBspDrawingTree) {
    portal.sphere = Sphere{{0, 1, 0}, 2};
    portal.poly_ids = {4};
    portal.portals = {{3, 9}, {4, 10}};
  }
  InternalNode bpin_neg = internal(kind, "BpIN");
  bpin_neg.neg_child = std::make_unique<BspNode>(std::move(portal));

  InternalNode root = internal(kind, "BPIN");
  root.pos_child = std::make_unique<BspNode>(std::move(bpnn));
  root.neg_child = std::make_unique<BspNode>(std::move(bpin_neg));
  return BspNode(std::move(root));
}

TEST(BspWriterTest, EveryFormRoundTripsInEveryKind) {
  for (const std::uint8_t kind : {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{2}, std::uint8_t{5}}) {
    SCOPED_TRACE(int{kind});
    const BspNode tree = every_form(kind);
    ByteWriter w;
    auto written = write_bsp_node(w, tree, kind);
    ASSERT_TRUE(written.ok()) << written.error();
    dat::BinReader r(w.bytes());
    auto read = BspNode::read(r, kind);
    ASSERT_TRUE(read.ok()) << read.error().message();
    EXPECT_EQ(r.position(), w.size());
    ByteWriter again;
    ASSERT_TRUE(write_bsp_node(again, *read, kind).ok());
    EXPECT_EQ(again.bytes(), w.bytes());
    const auto* portal = read->internal()->neg_child->internal()->neg_child->portal();
    ASSERT_NE(portal, nullptr);
    EXPECT_EQ(portal->portals.size(), kind == dat::kBspDrawingTree ? 2u : 0u);
  }
}

TEST(BspWriterTest, RefusesNodesNoReaderProduces) {
  struct Case {
    const char* name;
    std::uint8_t kind;
    BspNode (*make)();
  };
  const Case cases[] = {
      {"drawing leaf with a sphere", 0, [] { return std::move(*leaf(1, 0)); }},
      {"physics leaf without a sphere", 1, [] { return std::move(*leaf(0, 0)); }},
      {"child the tag does not read", 0, [] {
         InternalNode n = internal(0, "BpIn");
         n.pos_child = leaf(0, 1);
         return BspNode(std::move(n));
       }},
      {"child the tag reads is missing", 0, [] { return BspNode(internal(0, "BPIN")); }},
      {"internal node tagged LEAF", 0, [] { return BspNode(internal(0, "LEAF")); }},
      {"portal with one child", 2, [] {
         BspPortal p;
         p.pos_child = leaf(2, 1);
         return BspNode(std::move(p));
       }},
      {"cell internal node with a sphere", 2, [] { return BspNode(internal(0, "Bpnn")); }},
      {"physics portal with portals", 1, [] {
         BspPortal p;
         p.pos_child = leaf(1, 1);
         p.neg_child = leaf(1, 2);
         p.portals = {{1, 1}};
         return BspNode(std::move(p));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ByteWriter w;
    EXPECT_FALSE(write_bsp_node(w, c.make(), c.kind).ok());
  }
}

dat::Polygon polygon(std::uint8_t uv_flags, std::uint32_t side_mode) {
  dat::Polygon p;
  p.point_count = 3;
  p.uv_flags = uv_flags;
  p.side_mode = side_mode;
  p.front_surface = 1;
  p.back_surface = 2;
  p.vertex_ids = {0, 1, 2};
  if (p.has_front_uvs()) p.front_uv_indices = {0, 1, 2};
  if (p.has_back_uvs()) p.back_uv_indices = {2, 1, 0};
  return p;
}

dat::GfxObj sample_gfx_obj(std::size_t polygons) {
  dat::GfxObj g;
  g.id = 0x01000099;
  g.flags = 0xB;
  g.surface_ids = {0x08000001};
  g.vertex_array.vertex_type = 1;
  for (std::uint16_t id : {4, 1, 3}) {
    dat::SWVertex v;
    v.num_uvs = 1;
    v.origin = {static_cast<float>(id), 0, 1};
    v.normal = {0, 0, 1};
    v.uvs = {{0.5f, 0.25f}};
    g.vertex_array.vertices.put(id, v);
  }
  for (std::size_t i = 0; i < polygons; ++i) {
    g.physics_polygons.put(static_cast<std::uint16_t>(i), polygon(0x00, 2));
    g.drawing_polygons.put(static_cast<std::uint16_t>(i), polygon(static_cast<std::uint8_t>(i % 16), i % 3));
  }
  g.physics_bsp = every_form(dat::kBspPhysicsTree);
  g.center = {1, 2, 3};
  g.drawing_bsp = every_form(dat::kBspDrawingTree);
  g.extra_id = 0;
  return g;
}

TEST(GfxObjWriterTest, RoundTripsWithEveryCountWidth) {
  struct Case {
    int width;
    std::size_t polygons;
  };
  // 1-byte counts up to 0x7F, 2-byte up to 0x3FFF, 4-byte for any; 200
  // polygons need at least two bytes.
  const Case cases[] = {{0, 3}, {1, 3}, {2, 3}, {4, 3}, {0, 200}, {2, 200}, {4, 200}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " " << c.polygons);
    const dat::GfxObj original = sample_gfx_obj(c.polygons);
    GfxObjWriteOptions options;
    options.surface_count_width = c.width;
    options.physics_polygon_count_width = c.width;
    options.drawing_polygon_count_width = c.width;
    auto bytes = write_gfx_obj(original, options);
    ASSERT_TRUE(bytes.ok()) << bytes.error();
    auto shortest = write_gfx_obj(original);
    ASSERT_TRUE(shortest.ok());
    const std::size_t polygon_width = c.polygons < 0x80 ? 1 : 2;
    const std::size_t surface_extra = c.width == 0 ? 0 : c.width - 1;
    const std::size_t polygon_extra = c.width == 0 ? 0 : c.width - polygon_width;
    EXPECT_EQ(bytes->size(), shortest->size() + surface_extra + 2 * polygon_extra);

    dat::BinReader r(*bytes);
    auto read = dat::GfxObj::unpack(r);
    ASSERT_TRUE(read.ok()) << read.error().message();
    EXPECT_EQ(r.position(), bytes->size());
    EXPECT_EQ(read->physics_polygons.size(), c.polygons);
    EXPECT_EQ(read->vertex_array.vertices.size(), 3u);
    EXPECT_EQ(read->extra_id, std::optional<std::uint32_t>(0));
    auto again = write_gfx_obj(*read, options);
    ASSERT_TRUE(again.ok()) << again.error();
    EXPECT_EQ(*again, *bytes);
  }
}

TEST(GfxObjWriterTest, UnusedVertexCount) {
  dat::GfxObj g;
  g.vertex_array.vertex_type = 0;
  GfxObjWriteOptions options;
  options.unused_vertex_count = 5;
  auto bytes = write_gfx_obj(g, options);
  ASSERT_TRUE(bytes.ok()) << bytes.error();
  // id, flags, surface count, vertex_type 0, count 5, centre.
  ASSERT_EQ(bytes->size(), 4u + 4 + 1 + 8 + 12);
  EXPECT_EQ((*bytes)[13], 5);
  dat::BinReader r(*bytes);
  ASSERT_TRUE(dat::GfxObj::unpack(r).ok());
}

TEST(GfxObjWriterTest, RefusesRecordsNoReaderProduces) {
  struct Case {
    const char* name;
    void (*spoil)(dat::GfxObj&, GfxObjWriteOptions&);
  };
  const Case cases[] = {
      {"count too wide for one byte", [](dat::GfxObj& g, GfxObjWriteOptions& o) {
         for (std::uint32_t i = 0; i < 0x80; ++i) g.surface_ids.push_back(i);
         o.surface_count_width = 1;
       }},
      {"width 3", [](dat::GfxObj&, GfxObjWriteOptions& o) { o.drawing_polygon_count_width = 3; }},
      {"physics flag without tree", [](dat::GfxObj& g, GfxObjWriteOptions&) { g.physics_bsp.reset(); }},
      {"tree without drawing flag", [](dat::GfxObj& g, GfxObjWriteOptions&) { g.flags &= ~0x2u; }},
      {"extra id without flag", [](dat::GfxObj& g, GfxObjWriteOptions&) { g.flags &= ~0x8u; }},
      {"uvs not num_uvs long", [](dat::GfxObj& g, GfxObjWriteOptions&) { g.vertex_array.vertices.at(1).num_uvs = 2; }},
      {"vertices of another type", [](dat::GfxObj& g, GfxObjWriteOptions&) { g.vertex_array.vertex_type = 2; }},
      {"vertex ids not point_count long", [](dat::GfxObj& g, GfxObjWriteOptions&) {
         g.physics_polygons.at(0).point_count = 2;
       }},
      {"back uv list on one side", [](dat::GfxObj& g, GfxObjWriteOptions&) { g.physics_polygons.at(0).side_mode = 1; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dat::GfxObj g = sample_gfx_obj(2);
    GfxObjWriteOptions options;
    c.spoil(g, options);
    EXPECT_FALSE(write_gfx_obj(g, options).ok());
  }
}

}  // namespace
}  // namespace quillmoor::authoring
