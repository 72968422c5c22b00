// Binary space partitioning trees of graphics objects. One reader serves
// the drawing, physics and cell trees; the tree kind decides which optional
// parts each node stores.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "quillmoor/common/math.h"
#include "quillmoor/dat/bin_reader.h"

namespace quillmoor::dat {

// Tree kinds, as the caller names them. Any other value reads like the
// drawing tree, except that portal nodes read like the physics tree.
inline constexpr std::uint8_t kBspDrawingTree = 0;
inline constexpr std::uint8_t kBspPhysicsTree = 1;
inline constexpr std::uint8_t kBspCellTree = 2;

// Real trees are a few dozen levels deep; a deeper one is refused rather
// than recursed into without bound. The root is level 1.
inline constexpr std::uint32_t kMaxBspDepth = 1000;

// Node tags as their 32-bit little-endian values: the characters, most
// significant byte first, spell the tag in reading order.
inline constexpr std::uint32_t kBspTagLeaf = 0x4C454146;    // LEAF
inline constexpr std::uint32_t kBspTagPortal = 0x504F5254;  // PORT

// The tag value of four characters in reading order, e.g. "BPIN".
constexpr std::uint32_t bsp_tag(const char (&text)[5]) {
  return (std::uint32_t{static_cast<std::uint8_t>(text[0])} << 24) |
         (std::uint32_t{static_cast<std::uint8_t>(text[1])} << 16) |
         (std::uint32_t{static_cast<std::uint8_t>(text[2])} << 8) |
         std::uint32_t{static_cast<std::uint8_t>(text[3])};
}

struct BspNode;

// A portal reference of a drawing tree's portal node; 4 bytes.
struct PortalPoly {
  std::uint16_t portal_index = 0;
  std::uint16_t poly_id = 0;

  static constexpr std::size_t kSize = 4;
  static BinResult<PortalPoly> read(BinReader& reader);
};

struct BspLeaf {
  std::uint32_t leaf_index = 0;
  std::uint32_t solid = 0;              // 0 when not stored
  std::optional<Sphere> sphere;         // physics tree only
  std::vector<std::uint16_t> poly_ids;  // physics tree only
};

struct InternalNode {
  std::array<char, 4> node_type{};  // the tag in reading order, e.g. B P I N
  Plane plane;
  std::unique_ptr<BspNode> pos_child;
  std::unique_ptr<BspNode> neg_child;
  std::optional<Sphere> sphere;         // all but the cell tree
  std::vector<std::uint16_t> poly_ids;  // drawing tree (and unknown kinds)

  // The tag as its 32-bit value.
  std::uint32_t tag() const;
  // Which children a tag calls for: B?I? / B?n? tags with P?N both, P?n
  // the positive one, p?N the negative one; every other tag none.
  static bool tag_reads_pos(std::uint32_t tag);
  static bool tag_reads_neg(std::uint32_t tag);
};

struct BspPortal {
  Plane plane;
  std::unique_ptr<BspNode> pos_child;  // always present once read
  std::unique_ptr<BspNode> neg_child;  // always present once read
  std::optional<Sphere> sphere;        // drawing tree only
  std::vector<std::uint16_t> poly_ids;
  std::vector<PortalPoly> portals;

  // Reads the body of a portal node (everything after its tag) as the
  // root of a tree.
  static BinResult<BspPortal> read(BinReader& reader, std::uint8_t tree_kind);
};

// One node with its whole subtree. Destroying a node never recurses, so a
// deep tree cannot exhaust the stack on release.
struct BspNode {
  std::variant<BspLeaf, InternalNode, BspPortal> value;

  BspNode() = default;
  BspNode(BspLeaf leaf) : value(std::move(leaf)) {}            // NOLINT(google-explicit-constructor)
  BspNode(InternalNode node) : value(std::move(node)) {}       // NOLINT(google-explicit-constructor)
  BspNode(BspPortal portal) : value(std::move(portal)) {}      // NOLINT(google-explicit-constructor)
  BspNode(BspNode&&) noexcept = default;
  BspNode& operator=(BspNode&&) noexcept = default;
  BspNode(const BspNode&) = delete;
  BspNode& operator=(const BspNode&) = delete;
  ~BspNode();

  const BspLeaf* leaf() const { return std::get_if<BspLeaf>(&value); }
  const InternalNode* internal() const { return std::get_if<InternalNode>(&value); }
  const BspPortal* portal() const { return std::get_if<BspPortal>(&value); }

  // Reads one node and all its descendants. A tree deeper than
  // kMaxBspDepth fails with "BSP tree deeper than 1000 levels" at the
  // position of the first node beyond the bound.
  static BinResult<BspNode> read(BinReader& reader, std::uint8_t tree_kind);
};

}  // namespace quillmoor::dat
