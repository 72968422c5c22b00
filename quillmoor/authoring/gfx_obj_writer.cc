#include "quillmoor/authoring/gfx_obj_writer.h"

#include "quillmoor/common/hex.h"

#include "quillmoor/authoring/math_records_writer.h"

#include <algorithm>
#include <cstdio>

namespace quillmoor::authoring {

namespace {

using Status = Result<Ok, std::string>;

Status write_compact_count(ByteWriter& out, std::size_t count, int width, const char* what) {
  const std::size_t limit = width == 1 ? 0x80 : width == 2 ? 0x4000 : 0x40000000;
  if ((width != 0 && width != 1 && width != 2 && width != 4) || count >= limit) {
    return Err{std::string(what) + ": count " + std::to_string(count) + " does not fit a compact count of width " +
               std::to_string(width)};
  }
  out.compressed_u32(static_cast<std::uint32_t>(count), width);
  return Ok{};
}

Status write_polygons(ByteWriter& out, const SeededHashMap<std::uint16_t, dat::Polygon>& polygons,
                      int width, const char* what) {
  QM_TRY(write_compact_count(out, polygons.size(), width, what));
  for (const std::uint16_t id : sorted_keys(polygons)) {
    out.u16(id);
    auto written = write_polygon(out, polygons.at(id));
    if (!written.ok()) return Err{std::string(what) + " " + std::to_string(id) + ": " + written.error()};
  }
  return Ok{};
}

void write_ids(ByteWriter& out, const std::vector<std::uint16_t>& ids) {
  for (const std::uint16_t id : ids) out.u16(id);
}

Status expect(bool condition, const char* message) {
  if (condition) return Ok{};
  return Err{std::string(message)};
}

Status write_node(ByteWriter& out, const dat::BspNode& node, std::uint8_t kind, std::uint32_t depth);

Status write_child(ByteWriter& out, const std::unique_ptr<dat::BspNode>& child, std::uint8_t kind,
                   std::uint32_t depth) {
  return write_node(out, *child, kind, depth);
}

Status write_leaf(ByteWriter& out, const dat::BspLeaf& leaf, std::uint8_t kind) {
  const bool physics = kind == dat::kBspPhysicsTree;
  QM_TRY(expect(leaf.sphere.has_value() == physics, "BSP leaf: a sphere is stored exactly in physics trees"));
  QM_TRY(expect(physics || (leaf.solid == 0 && leaf.poly_ids.empty()),
                "BSP leaf: solid and polygon ids are stored only in physics trees"));
  out.u32(dat::kBspTagLeaf).u32(leaf.leaf_index);
  if (physics) {
    out.u32(leaf.solid);
    write_sphere(out, *leaf.sphere);
    out.u32(static_cast<std::uint32_t>(leaf.poly_ids.size()));
    write_ids(out, leaf.poly_ids);
  }
  return Ok{};
}

Status write_internal(ByteWriter& out, const dat::InternalNode& node, std::uint8_t kind,
                      std::uint32_t depth) {
  const std::uint32_t tag = node.tag();
  QM_TRY(expect(tag != dat::kBspTagLeaf && tag != dat::kBspTagPortal,
                "BSP internal node: its tag would read back as a leaf or portal"));
  QM_TRY(expect((node.pos_child != nullptr) == dat::InternalNode::tag_reads_pos(tag),
                "BSP internal node: positive child does not match its tag"));
  QM_TRY(expect((node.neg_child != nullptr) == dat::InternalNode::tag_reads_neg(tag),
                "BSP internal node: negative child does not match its tag"));
  const bool has_sphere = kind != dat::kBspCellTree;
  const bool has_ids = kind != dat::kBspPhysicsTree && kind != dat::kBspCellTree;
  QM_TRY(expect(node.sphere.has_value() == has_sphere,
                "BSP internal node: a sphere is stored in every tree but the cell tree"));
  QM_TRY(expect(has_ids || node.poly_ids.empty(),
                "BSP internal node: polygon ids are not stored in physics and cell trees"));
  out.u32(tag);
  write_plane(out, node.plane);
  if (node.pos_child) QM_TRY(write_child(out, node.pos_child, kind, depth + 1));
  if (node.neg_child) QM_TRY(write_child(out, node.neg_child, kind, depth + 1));
  if (has_sphere) write_sphere(out, *node.sphere);
  if (has_ids) {
    out.u32(static_cast<std::uint32_t>(node.poly_ids.size()));
    write_ids(out, node.poly_ids);
  }
  return Ok{};
}

Status write_portal(ByteWriter& out, const dat::BspPortal& portal, std::uint8_t kind, std::uint32_t depth) {
  const bool drawing = kind == dat::kBspDrawingTree;
  QM_TRY(expect(portal.pos_child != nullptr && portal.neg_child != nullptr,
                "BSP portal: both children are required"));
  QM_TRY(expect(portal.sphere.has_value() == drawing, "BSP portal: a sphere is stored exactly in drawing trees"));
  QM_TRY(expect(drawing || (portal.poly_ids.empty() && portal.portals.empty()),
                "BSP portal: polygon ids and portals are stored only in drawing trees"));
  out.u32(dat::kBspTagPortal);
  write_plane(out, portal.plane);
  QM_TRY(write_child(out, portal.pos_child, kind, depth + 1));
  QM_TRY(write_child(out, portal.neg_child, kind, depth + 1));
  if (drawing) {
    write_sphere(out, *portal.sphere);
    out.u32(static_cast<std::uint32_t>(portal.poly_ids.size()));
    out.u32(static_cast<std::uint32_t>(portal.portals.size()));
    write_ids(out, portal.poly_ids);
    for (const auto& p : portal.portals) out.u16(p.portal_index).u16(p.poly_id);
  }
  return Ok{};
}

Status write_node(ByteWriter& out, const dat::BspNode& node, std::uint8_t kind, std::uint32_t depth) {
  if (depth > dat::kMaxBspDepth) {
    return Err{"BSP tree deeper than " + std::to_string(dat::kMaxBspDepth) + " levels"};
  }
  if (const auto* leaf = node.leaf()) return write_leaf(out, *leaf, kind);
  if (const auto* internal = node.internal()) return write_internal(out, *internal, kind, depth);
  return write_portal(out, *node.portal(), kind, depth);
}

}  // namespace

void write_vec2duv(ByteWriter& out, const dat::Vec2Duv& uv) { out.f32(uv.u).f32(uv.v); }

Result<Ok, std::string> write_sw_vertex(ByteWriter& out, const dat::SWVertex& vertex) {
  QM_TRY(expect(vertex.uvs.size() == vertex.num_uvs, "SWVertex: uvs is not num_uvs long"));
  out.u16(vertex.num_uvs);
  write_vector3(out, vertex.origin);
  write_vector3(out, vertex.normal);
  for (const auto& uv : vertex.uvs) write_vec2duv(out, uv);
  return Ok{};
}

Result<Ok, std::string> write_vertex_array(ByteWriter& out, const dat::CVertexArray& array,
                                           std::uint32_t unused_vertex_count) {
  if (array.vertex_type != dat::CVertexArray::kVertexTypeSW) {
    QM_TRY(expect(array.vertices.empty(), "CVertexArray: vertices are stored only for vertex type 1"));
    out.u32(array.vertex_type).u32(unused_vertex_count);
    return Ok{};
  }
  out.u32(array.vertex_type).u32(static_cast<std::uint32_t>(array.vertices.size()));
  for (const std::uint16_t id : sorted_keys(array.vertices)) {
    out.u16(id);
    auto written = write_sw_vertex(out, array.vertices.at(id));
    if (!written.ok()) return Err{"vertex " + std::to_string(id) + ": " + written.error()};
  }
  return Ok{};
}

Result<Ok, std::string> write_polygon(ByteWriter& out, const dat::Polygon& polygon) {
  const std::size_t n = polygon.point_count;
  QM_TRY(expect(polygon.vertex_ids.size() == n, "Polygon: vertex_ids is not point_count long"));
  QM_TRY(expect(polygon.front_uv_indices.size() == (polygon.has_front_uvs() ? n : 0),
                "Polygon: front_uv_indices does not match point_count and uv_flags"));
  QM_TRY(expect(polygon.back_uv_indices.size() == (polygon.has_back_uvs() ? n : 0),
                "Polygon: back_uv_indices does not match point_count, uv_flags and side_mode"));
  out.u8(polygon.point_count).u8(polygon.uv_flags).u32(polygon.side_mode);
  out.u16(polygon.front_surface).u16(polygon.back_surface);
  write_ids(out, polygon.vertex_ids);
  out.bytes(polygon.front_uv_indices);
  out.bytes(polygon.back_uv_indices);
  return Ok{};
}

Result<Ok, std::string> write_bsp_node(ByteWriter& out, const dat::BspNode& node, std::uint8_t tree_kind) {
  return write_node(out, node, tree_kind, 1);
}

Result<std::vector<std::uint8_t>, std::string> write_gfx_obj(const dat::GfxObj& gfx_obj,
                                                              const GfxObjWriteOptions& options) {
  const std::string who = "GfxObj " + hex_id(gfx_obj.id) + ": ";
  const bool physics = (gfx_obj.flags & dat::GfxObj::kHasPhysics) != 0;
  const bool drawing = (gfx_obj.flags & dat::GfxObj::kHasDrawing) != 0;
  const bool extra = (gfx_obj.flags & dat::GfxObj::kHasExtraId) != 0;
  if (gfx_obj.physics_bsp.has_value() != physics || (!physics && !gfx_obj.physics_polygons.empty())) {
    return Err{who + "physics section does not match flags"};
  }
  if (gfx_obj.drawing_bsp.has_value() != drawing || (!drawing && !gfx_obj.drawing_polygons.empty())) {
    return Err{who + "drawing section does not match flags"};
  }
  if (gfx_obj.extra_id.has_value() != extra) return Err{who + "extra_id does not match flags"};

  ByteWriter out;
  auto prefixed = [&who](Status status) -> Status {
    if (status.ok()) return Ok{};
    return Err{who + status.error()};
  };
  out.u32(gfx_obj.id).u32(gfx_obj.flags);
  QM_TRY(prefixed(write_compact_count(out, gfx_obj.surface_ids.size(), options.surface_count_width, "surface_ids")));
  for (const std::uint32_t surface : gfx_obj.surface_ids) out.u32(surface);
  QM_TRY(prefixed(write_vertex_array(out, gfx_obj.vertex_array, options.unused_vertex_count)));
  if (physics) {
    QM_TRY(prefixed(write_polygons(out, gfx_obj.physics_polygons, options.physics_polygon_count_width,
                                   "physics polygon")));
    QM_TRY(prefixed(write_bsp_node(out, *gfx_obj.physics_bsp, dat::kBspPhysicsTree)));
  }
  write_vector3(out, gfx_obj.center);
  if (drawing) {
    QM_TRY(prefixed(write_polygons(out, gfx_obj.drawing_polygons, options.drawing_polygon_count_width,
                                   "drawing polygon")));
    QM_TRY(prefixed(write_bsp_node(out, *gfx_obj.drawing_bsp, dat::kBspDrawingTree)));
  }
  if (extra) out.u32(*gfx_obj.extra_id);
  return std::move(out).bytes();
}

}  // namespace quillmoor::authoring
