#include "quillmoor/dat/physics.h"

#include <cstdio>
#include <string>

#include "quillmoor/dat/math_records.h"
#include "quillmoor/dat/primitives.h"

namespace quillmoor::dat {

BinResult<PortalPoly> PortalPoly::read(BinReader& reader) {
  Record rec(reader, "PortalPoly");
  PortalPoly out;
  QM_ASSIGN_OR_RETURN(out.portal_index, rec.u16("portal_index"));
  QM_ASSIGN_OR_RETURN(out.poly_id, rec.u16("poly_id"));
  return out;
}

std::uint32_t InternalNode::tag() const {
  return (std::uint32_t{static_cast<std::uint8_t>(node_type[0])} << 24) |
         (std::uint32_t{static_cast<std::uint8_t>(node_type[1])} << 16) |
         (std::uint32_t{static_cast<std::uint8_t>(node_type[2])} << 8) |
         std::uint32_t{static_cast<std::uint8_t>(node_type[3])};
}

namespace {

// Characters of a tag in reading order.
char tag_char(std::uint32_t tag, int index) {
  return static_cast<char>((tag >> (24 - 8 * index)) & 0xFF);
}

bool tag_splits(std::uint32_t tag) {
  const char c2 = tag_char(tag, 2);
  return tag_char(tag, 0) == 'B' && (c2 == 'I' || c2 == 'n');
}

}  // namespace

bool InternalNode::tag_reads_pos(std::uint32_t tag) {
  return tag_splits(tag) && tag_char(tag, 1) == 'P' &&
         (tag_char(tag, 3) == 'N' || tag_char(tag, 3) == 'n');
}

bool InternalNode::tag_reads_neg(std::uint32_t tag) {
  if (!tag_splits(tag) || tag_char(tag, 3) != 'N') return false;
  return tag_char(tag, 1) == 'P' || tag_char(tag, 1) == 'p';
}

BspNode::~BspNode() {
  // Children are unlinked onto a list and released one by one, each after
  // its own children were unlinked: the release works in constant stack
  // depth whatever the shape of the tree.
  std::vector<std::unique_ptr<BspNode>> pending;
  auto unlink = [&pending](BspNode& node) {
    auto take = [&pending](std::unique_ptr<BspNode>& child) {
      if (child) pending.push_back(std::move(child));
    };
    if (auto* internal = std::get_if<InternalNode>(&node.value)) {
      take(internal->pos_child);
      take(internal->neg_child);
    } else if (auto* portal = std::get_if<BspPortal>(&node.value)) {
      take(portal->pos_child);
      take(portal->neg_child);
    }
  };
  unlink(*this);
  while (!pending.empty()) {
    std::unique_ptr<BspNode> node = std::move(pending.back());
    pending.pop_back();
    unlink(*node);
  }
}

namespace {

BinResult<BspNode> read_node(BinReader& reader, std::uint8_t kind, std::uint32_t depth);

BinResult<std::vector<std::uint16_t>> read_ids(BinReader& reader, std::uint32_t count) {
  return read_counted<std::uint16_t>(reader, count, 2, [&] { return reader.read_u16(); });
}

BinResult<std::unique_ptr<BspNode>> read_child(BinReader& reader, std::uint8_t kind,
                                               std::uint32_t depth) {
  QM_ASSIGN_OR_RETURN(BspNode child, read_node(reader, kind, depth));
  return std::make_unique<BspNode>(std::move(child));
}

// The body of a portal node at `depth`; its children are one level deeper.
BinResult<BspPortal> read_portal_body(BinReader& reader, std::uint8_t kind, std::uint32_t depth) {
  BspPortal out;
  QM_ASSIGN_OR_RETURN(out.plane, read_plane(reader));
  QM_ASSIGN_OR_RETURN(out.pos_child, read_child(reader, kind, depth + 1));
  QM_ASSIGN_OR_RETURN(out.neg_child, read_child(reader, kind, depth + 1));
  if (kind == kBspDrawingTree) {
    QM_ASSIGN_OR_RETURN(out.sphere, read_sphere(reader));
    QM_ASSIGN_OR_RETURN(const std::uint32_t poly_count, reader.read_u32());
    QM_ASSIGN_OR_RETURN(const std::uint32_t portal_count, reader.read_u32());
    QM_ASSIGN_OR_RETURN(out.poly_ids, read_ids(reader, poly_count));
    QM_ASSIGN_OR_RETURN(out.portals, read_counted<PortalPoly>(reader, portal_count, PortalPoly::kSize,
                                                               [&] { return PortalPoly::read(reader); }));
  }
  return out;
}

BinResult<BspLeaf> read_leaf_body(BinReader& reader, std::uint8_t kind) {
  BspLeaf out;
  QM_ASSIGN_OR_RETURN(out.leaf_index, reader.read_u32());
  if (kind == kBspPhysicsTree) {
    QM_ASSIGN_OR_RETURN(out.solid, reader.read_u32());
    QM_ASSIGN_OR_RETURN(out.sphere, read_sphere(reader));
    QM_ASSIGN_OR_RETURN(const std::uint32_t poly_count, reader.read_u32());
    QM_ASSIGN_OR_RETURN(out.poly_ids, read_ids(reader, poly_count));
  }
  return out;
}

BinResult<InternalNode> read_internal_body(BinReader& reader, std::uint8_t kind, std::uint32_t tag,
                                           std::uint32_t depth) {
  InternalNode out;
  for (int i = 0; i < 4; ++i) out.node_type[i] = tag_char(tag, i);
  QM_ASSIGN_OR_RETURN(out.plane, read_plane(reader));
  if (InternalNode::tag_reads_pos(tag)) {
    QM_ASSIGN_OR_RETURN(out.pos_child, read_child(reader, kind, depth + 1));
  }
  if (InternalNode::tag_reads_neg(tag)) {
    QM_ASSIGN_OR_RETURN(out.neg_child, read_child(reader, kind, depth + 1));
  }
  if (kind != kBspCellTree) {
    QM_ASSIGN_OR_RETURN(out.sphere, read_sphere(reader));
  }
  if (kind != kBspPhysicsTree && kind != kBspCellTree) {
    QM_ASSIGN_OR_RETURN(const std::uint32_t poly_count, reader.read_u32());
    QM_ASSIGN_OR_RETURN(out.poly_ids, read_ids(reader, poly_count));
  }
  return out;
}

BinResult<BspNode> read_node(BinReader& reader, std::uint8_t kind, std::uint32_t depth) {
  if (depth > kMaxBspDepth) {
    char message[64];
    std::snprintf(message, sizeof message, "BSP tree deeper than %u levels",
                  static_cast<unsigned>(kMaxBspDepth));
    return Err{BinError::custom(message, reader.position())};
  }
  QM_ASSIGN_OR_RETURN(const std::uint32_t tag, reader.read_u32());
  if (tag == kBspTagLeaf) {
    QM_ASSIGN_OR_RETURN(BspLeaf leaf, read_leaf_body(reader, kind));
    return BspNode(std::move(leaf));
  }
  if (tag == kBspTagPortal) {
    QM_ASSIGN_OR_RETURN(BspPortal portal, read_portal_body(reader, kind, depth));
    return BspNode(std::move(portal));
  }
  QM_ASSIGN_OR_RETURN(InternalNode internal, read_internal_body(reader, kind, tag, depth));
  return BspNode(std::move(internal));
}

}  // namespace

BinResult<BspPortal> BspPortal::read(BinReader& reader, std::uint8_t tree_kind) {
  return read_portal_body(reader, tree_kind, 1);
}

BinResult<BspNode> BspNode::read(BinReader& reader, std::uint8_t tree_kind) {
  return read_node(reader, tree_kind, 1);
}

}  // namespace quillmoor::dat
