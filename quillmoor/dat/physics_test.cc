#include "quillmoor/dat/physics.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::dat {
namespace {

using authoring::ByteWriter;

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

// Tags are stored with their characters reversed: "BPnn" is the bytes n n P B.
void tag(ByteWriter& w, std::string reading_order) {
  w.raw(std::string(reading_order.rbegin(), reading_order.rend()));
}

void plane(ByteWriter& w, float base) {  // normal (base, base+1, base+2), d base+3
  for (int i = 0; i < 4; ++i) w.f32(base + static_cast<float>(i));
}
void sphere(ByteWriter& w, float base) {  // centre (base, base+1, base+2), radius base+3
  for (int i = 0; i < 4; ++i) w.f32(base + static_cast<float>(i));
}

// A leaf as a drawing or cell tree stores it: tag, leaf_index. 8 bytes.
void short_leaf(ByteWriter& w, std::uint32_t index) {
  tag(w, "LEAF");
  w.u32(index);
}

// A physics-tree leaf without polygons: 4 + 4 + 4 + 16 + 4 = 32 bytes.
void physics_leaf(ByteWriter& w, std::uint32_t index) {
  tag(w, "LEAF");
  w.u32(index);    // leaf_index
  w.u32(0);        // solid
  sphere(w, 0);    // sphere
  w.u32(0);        // polygon count
}

BinResult<BspNode> read_all(const std::vector<std::uint8_t>& bytes, std::uint8_t kind, std::uint64_t* end) {
  BinReader r(bytes);
  auto node = BspNode::read(r, kind);
  *end = r.position();
  return node;
}

TEST(BspLeafTest, DrawingLeafIsEightBytes) {
  const std::vector<std::uint8_t> bytes = {'F', 'A', 'E', 'L', 0x07, 0x00, 0x00, 0x00, 0xEE};
  for (const std::uint8_t kind : {std::uint8_t{0}, std::uint8_t{2}, std::uint8_t{9}}) {
    SCOPED_TRACE(int{kind});
    std::uint64_t end = 0;
    auto node = read_all(bytes, kind, &end);
    ASSERT_TRUE(node.ok()) << node.error().message();
    EXPECT_EQ(end, 8u);
    const BspLeaf* leaf = node->leaf();
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->leaf_index, 7u);
    EXPECT_EQ(leaf->solid, 0u);
    EXPECT_FALSE(leaf->sphere.has_value());
    EXPECT_TRUE(leaf->poly_ids.empty());
  }
  // A physics leaf needs solid, sphere and a count behind the index.
  std::uint64_t end = 0;
  auto physics = read_all(bytes, kBspPhysicsTree, &end);
  ASSERT_FALSE(physics.ok());
  EXPECT_EQ(physics.error().message(), "failed to fill whole buffer");
}

TEST(BspLeafTest, PhysicsLeafWithPolygons) {
  ByteWriter w;
  tag(w, "LEAF");
  w.u32(3);                       // leaf_index
  w.u32(1);                       // solid
  w.f32(1).f32(2).f32(3).f32(9);  // sphere
  w.u32(3);                       // polygon count
  w.u16(10).u16(11).u16(12);      // poly_ids
  ASSERT_EQ(w.size(), 38u);
  std::uint64_t end = 0;
  auto node = read_all(w.bytes(), kBspPhysicsTree, &end);
  ASSERT_TRUE(node.ok()) << node.error().message();
  EXPECT_EQ(end, 38u);
  const BspLeaf* leaf = node->leaf();
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(leaf->leaf_index, 3u);
  EXPECT_EQ(leaf->solid, 1u);
  ASSERT_TRUE(leaf->sphere.has_value());
  EXPECT_EQ(bits(leaf->sphere->center.y), bits(2.0f));
  EXPECT_EQ(bits(leaf->sphere->radius), bits(9.0f));
  EXPECT_EQ(leaf->poly_ids, (std::vector<std::uint16_t>{10, 11, 12}));
}

TEST(BspInternalTest, TagDecidesChildren) {
  struct Case {
    const char* tag;
    bool pos;
    bool neg;
  };
  const Case cases[] = {
      {"BPIN", true, true},   {"BPnN", true, true},   {"BPIn", true, false}, {"BPnn", true, false},
      {"BpIN", false, true},  {"BpnN", false, true},  {"BpIn", false, false}, {"Bpnn", false, false},
      {"BPxN", false, false}, {"XPIN", false, false}, {"BXIN", false, false}, {"BPIX", false, false},
      {"LEAX", false, false}, {"PORX", false, false}, {"bPIN", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    // Drawing tree: children are 8-byte leaves 1 (positive) and 2 (negative).
    ByteWriter w;
    tag(w, c.tag);
    plane(w, 5);
    if (c.pos) short_leaf(w, 1);
    if (c.neg) short_leaf(w, 2);
    sphere(w, 20);
    w.u32(1).u16(77);  // polygon count, poly_ids
    std::uint64_t end = 0;
    auto node = read_all(w.bytes(), kBspDrawingTree, &end);
    ASSERT_TRUE(node.ok()) << node.error().message();
    EXPECT_EQ(end, w.size());
    const InternalNode* internal = node->internal();
    ASSERT_NE(internal, nullptr);
    EXPECT_EQ(std::string(internal->node_type.begin(), internal->node_type.end()), c.tag);
    EXPECT_EQ(bits(internal->plane.d), bits(8.0f));
    ASSERT_EQ(internal->pos_child != nullptr, c.pos);
    ASSERT_EQ(internal->neg_child != nullptr, c.neg);
    if (c.pos) {
      EXPECT_EQ(internal->pos_child->leaf()->leaf_index, 1u);
    }
    if (c.neg) {
      EXPECT_EQ(internal->neg_child->leaf()->leaf_index, 2u);
    }
    ASSERT_TRUE(internal->sphere.has_value());
    EXPECT_EQ(bits(internal->sphere->radius), bits(23.0f));
    EXPECT_EQ(internal->poly_ids, (std::vector<std::uint16_t>{77}));
  }
}

TEST(BspInternalTest, LayoutByTreeKind) {
  // BPnn: a positive child only. Physics trees store a sphere but no
  // polygon list, cell trees neither, drawing and unknown kinds both.
  struct Case {
    std::uint8_t kind;
    bool sphere;
    bool polys;
  };
  const Case cases[] = {{0, true, true}, {1, true, false}, {2, false, false}, {3, true, true}, {255, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int{c.kind});
    ByteWriter w;
    tag(w, "BPnn");  // stored n n P B
    plane(w, 0);
    if (c.kind == kBspPhysicsTree) {
      physics_leaf(w, 4);
    } else {
      short_leaf(w, 4);
    }
    if (c.sphere) sphere(w, 30);
    if (c.polys) w.u32(2).u16(5).u16(6);
    w.u32(0xFFFFFFFF);  // not part of the node
    std::uint64_t end = 0;
    auto node = read_all(w.bytes(), c.kind, &end);
    ASSERT_TRUE(node.ok()) << node.error().message();
    EXPECT_EQ(end, w.size() - 4);
    const InternalNode* internal = node->internal();
    ASSERT_NE(internal, nullptr);
    ASSERT_NE(internal->pos_child, nullptr);
    EXPECT_EQ(internal->neg_child, nullptr);
    EXPECT_EQ(internal->pos_child->leaf()->leaf_index, 4u);
    EXPECT_EQ(internal->sphere.has_value(), c.sphere);
    EXPECT_EQ(internal->poly_ids.size(), c.polys ? 2u : 0u);
  }
}

TEST(BspPortalTest, DrawingPortal) {
  ByteWriter w;
  tag(w, "PORT");  // stored T R O P
  plane(w, 1);
  short_leaf(w, 1);  // positive child
  short_leaf(w, 2);  // negative child
  const std::size_t after_children = w.size();
  sphere(w, 40);
  w.u32(1);                          // polygon count
  w.u32(2);                          // portal count
  w.u16(0x0102);                     // poly_ids
  w.bytes({0x03, 0x00, 0x09, 0x00}); // PortalPoly: portal_index 3, poly_id 9
  w.bytes({0x04, 0x00, 0x0A, 0x00}); // PortalPoly: portal_index 4, poly_id 10
  ASSERT_EQ(w.size() - after_children, 16u + 4 + 4 + 2 + 8);
  std::uint64_t end = 0;
  auto node = read_all(w.bytes(), kBspDrawingTree, &end);
  ASSERT_TRUE(node.ok()) << node.error().message();
  EXPECT_EQ(end, w.size());
  const BspPortal* portal = node->portal();
  ASSERT_NE(portal, nullptr);
  EXPECT_EQ(bits(portal->plane.normal.x), bits(1.0f));
  EXPECT_EQ(portal->pos_child->leaf()->leaf_index, 1u);
  EXPECT_EQ(portal->neg_child->leaf()->leaf_index, 2u);
  ASSERT_TRUE(portal->sphere.has_value());
  EXPECT_EQ(bits(portal->sphere->radius), bits(43.0f));
  EXPECT_EQ(portal->poly_ids, (std::vector<std::uint16_t>{0x0102}));
  ASSERT_EQ(portal->portals.size(), 2u);
  EXPECT_EQ(portal->portals[0].portal_index, 3u);
  EXPECT_EQ(portal->portals[0].poly_id, 9u);
  EXPECT_EQ(portal->portals[1].portal_index, 4u);
  EXPECT_EQ(portal->portals[1].poly_id, 10u);
}

TEST(BspPortalTest, OtherKindsStorePlaneAndChildrenOnly) {
  for (const std::uint8_t kind : {std::uint8_t{1}, std::uint8_t{2}, std::uint8_t{7}}) {
    SCOPED_TRACE(int{kind});
    ByteWriter w;
    tag(w, "PORT");
    plane(w, 1);
    if (kind == kBspPhysicsTree) {
      physics_leaf(w, 1);
      physics_leaf(w, 2);
    } else {
      short_leaf(w, 1);
      short_leaf(w, 2);
    }
    w.u32(0xFFFFFFFF);  // not part of the node
    std::uint64_t end = 0;
    auto node = read_all(w.bytes(), kind, &end);
    ASSERT_TRUE(node.ok()) << node.error().message();
    EXPECT_EQ(end, w.size() - 4);
    const BspPortal* portal = node->portal();
    ASSERT_NE(portal, nullptr);
    EXPECT_FALSE(portal->sphere.has_value());
    EXPECT_TRUE(portal->poly_ids.empty());
    EXPECT_TRUE(portal->portals.empty());
    EXPECT_EQ(portal->neg_child->leaf()->leaf_index, 2u);
  }
}

TEST(BspPortalTest, BodyReaderStartsBehindTheTag) {
  // Cell tree: plane and two children, nothing else.
  ByteWriter w;
  plane(w, 0);
  short_leaf(w, 5);
  short_leaf(w, 6);
  BinReader r(w.bytes());
  auto portal = BspPortal::read(r, kBspCellTree);
  ASSERT_TRUE(portal.ok()) << portal.error().message();
  EXPECT_EQ(r.position(), 32u);
  EXPECT_EQ(portal->pos_child->leaf()->leaf_index, 5u);
}

TEST(BspCellTreeTest, InternalNodeHasNoSphereOrPolygons) {
  ByteWriter w;
  tag(w, "BPIN");
  plane(w, 0);
  short_leaf(w, 1);
  short_leaf(w, 2);
  ASSERT_EQ(w.size(), 4u + 16 + 8 + 8);
  std::uint64_t end = 0;
  auto node = read_all(w.bytes(), kBspCellTree, &end);
  ASSERT_TRUE(node.ok()) << node.error().message();
  EXPECT_EQ(end, w.size());
  EXPECT_FALSE(node->internal()->sphere.has_value());
  EXPECT_TRUE(node->internal()->poly_ids.empty());
}

TEST(BspTreeTest, Failures) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::uint8_t kind;
    const char* message;
  };
  auto build = [](auto fill) {
    ByteWriter w;
    fill(w);
    return std::move(w).bytes();
  };
  const Case cases[] = {
      {"tag cut", {'F', 'A', 'E'}, 0, "failed to fill whole buffer"},
      {"plane cut", build([](ByteWriter& w) { tag(w, "BPIN"); w.zeros(6); }), 0,
       "failed to fill whole buffer\nWhile parsing field 'y' in Vector3\nWhile parsing field 'normal' in Plane"},
      {"sphere cut", build([](ByteWriter& w) { tag(w, "BpIn"); plane(w, 0); w.zeros(13); }), 0,
       "failed to fill whole buffer\nWhile parsing field 'radius' in Sphere"},
      // A grandchild cut short fails the whole tree.
      {"grandchild cut", build([](ByteWriter& w) {
         tag(w, "BPIN"); plane(w, 0);      // root
         tag(w, "BPIN"); plane(w, 0);      // positive child
         short_leaf(w, 1);                 // its positive child
         tag(w, "LEAF"); w.u16(0);         // its negative child, cut inside leaf_index
       }), 0, "failed to fill whole buffer"},
      {"portal poly cut", build([](ByteWriter& w) {
         tag(w, "PORT"); plane(w, 0); short_leaf(w, 1); short_leaf(w, 2);
         sphere(w, 0); w.u32(0).u32(1);    // no polygons, one portal
         w.u16(3).u8(0);                   // portal_index, then half of poly_id
       }), 0, "failed to fill whole buffer\nWhile parsing field 'poly_id' in PortalPoly"},
      {"portal index cut", build([](ByteWriter& w) {
         tag(w, "PORT"); plane(w, 0); short_leaf(w, 1); short_leaf(w, 2);
         sphere(w, 0); w.u32(0).u32(1).u8(3);
       }), 0, "failed to fill whole buffer\nWhile parsing field 'portal_index' in PortalPoly"},
      {"portal missing child", build([](ByteWriter& w) { tag(w, "PORT"); plane(w, 0); short_leaf(w, 1); }), 2,
       "failed to fill whole buffer"},
      {"huge leaf id count", build([](ByteWriter& w) { tag(w, "LEAF"); w.u32(0).u32(0); sphere(w, 0);
                                                       w.u32(0xFFFFFFFF).u16(1); }), 1,
       "failed to fill whole buffer"},
      {"huge portal count", build([](ByteWriter& w) {
         tag(w, "PORT"); plane(w, 0); short_leaf(w, 1); short_leaf(w, 2);
         sphere(w, 0); w.u32(0xFFFFFFFF).u32(0xFFFFFFFF);
       }), 0, "failed to fill whole buffer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::uint64_t end = 0;
    auto node = read_all(c.bytes, c.kind, &end);
    ASSERT_FALSE(node.ok());
    EXPECT_EQ(node.error().message(), c.message);
  }
}

// A chain of `depth` levels in a cell tree: depth - 1 BPnn nodes of 20
// bytes (tag, plane), each the positive child of the one before, ending in
// an 8-byte leaf.
std::vector<std::uint8_t> chain(std::uint32_t depth) {
  ByteWriter w;
  for (std::uint32_t i = 1; i < depth; ++i) {
    tag(w, "BPnn");
    plane(w, 0);
  }
  short_leaf(w, depth);
  return std::move(w).bytes();
}

TEST(BspTreeTest, DepthIsBounded) {
  std::uint64_t end = 0;
  const auto deepest = chain(kMaxBspDepth);
  auto accepted = read_all(deepest, kBspCellTree, &end);
  ASSERT_TRUE(accepted.ok()) << accepted.error().message();
  EXPECT_EQ(end, deepest.size());

  // Level 1001 starts behind 1000 nodes of 20 bytes: 20000 = 0x4e20.
  auto refused = read_all(chain(kMaxBspDepth + 1), kBspCellTree, &end);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().kind(), BinError::Kind::kCustom);
  EXPECT_EQ(refused.error().message(), "BSP tree deeper than 1000 levels at 0x4e20");

  // Portal nodes count as levels too.
  ByteWriter w;
  for (std::uint32_t i = 0; i < kMaxBspDepth; ++i) {
    tag(w, "PORT");
    plane(w, 0);
  }
  auto portals = read_all(w.bytes(), kBspCellTree, &end);
  ASSERT_FALSE(portals.ok());
  EXPECT_EQ(portals.error().message(), "BSP tree deeper than 1000 levels at 0x4e20");
}

TEST(BspTreeTest, ReleasingADeepTreeDoesNotRecurse) {
  // Far deeper than any reader accepts; a recursive release would run out
  // of stack long before the end.
  constexpr int kLevels = 2'000'000;
  auto root = std::make_unique<BspNode>(BspLeaf{});
  for (int i = 0; i < kLevels; ++i) {
    InternalNode node;
    if (i % 2 == 0) {
      node.pos_child = std::move(root);
    } else {
      node.neg_child = std::move(root);
    }
    root = std::make_unique<BspNode>(std::move(node));
  }
  BspPortal portal;
  portal.pos_child = std::move(root);
  portal.neg_child = std::make_unique<BspNode>(BspLeaf{});
  BspNode tree(std::move(portal));
  BspNode moved = std::move(tree);
  moved = BspNode(BspLeaf{});  // replacing the deep tree releases it
  EXPECT_NE(moved.leaf(), nullptr);
}

}  // namespace
}  // namespace quillmoor::dat
