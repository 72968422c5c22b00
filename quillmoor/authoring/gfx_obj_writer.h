// Writes graphics objects, their vertex and polygon records and BSP trees
// back to file bytes, exactly in the layout the readers expect. Keyed
// sections are written sorted by id, so the same record always gives the
// same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"
#include "quillmoor/common/result.h"
#include "quillmoor/dat/gfx_obj.h"
#include "quillmoor/dat/graphics.h"
#include "quillmoor/dat/physics.h"

namespace quillmoor::authoring {

// Choices the record itself does not hold.
struct GfxObjWriteOptions {
  // Width in bytes of each compact count (1, 2 or 4); 0 picks the shortest
  // form. A width too narrow for the count fails the write.
  int surface_count_width = 0;
  int physics_polygon_count_width = 0;
  int drawing_polygon_count_width = 0;
  // The (unused) vertex count stored when the vertex type is not 1.
  std::uint32_t unused_vertex_count = 0;
};

void write_vec2duv(ByteWriter& out, const dat::Vec2Duv& uv);
// Fails when `uvs` is not `num_uvs` long.
Result<Ok, std::string> write_sw_vertex(ByteWriter& out, const dat::SWVertex& vertex);
// Vertices are written only for vertex type 1 (the type the reader reads
// them for); for any other type the map must be empty.
Result<Ok, std::string> write_vertex_array(ByteWriter& out, const dat::CVertexArray& array,
                                           std::uint32_t unused_vertex_count = 0);
// Fails when `vertex_ids` is not `point_count` long, or a uv index list is
// not `point_count` long where the layout stores it (empty where not).
Result<Ok, std::string> write_polygon(ByteWriter& out, const dat::Polygon& polygon);

// One node with its subtree, laid out for `tree_kind`. The node must hold
// exactly what a reader of that kind fills: a sphere where the kind
// stores one and none elsewhere, no ids, solid or portals the kind does not
// store, the children its tag calls for, and a tag that does not spell
// LEAF or PORT on an internal node. Trees deeper than dat::kMaxBspDepth are
// refused, as the reader refuses them.
Result<Ok, std::string> write_bsp_node(ByteWriter& out, const dat::BspNode& node, std::uint8_t tree_kind);

// The whole file. A tree must be present exactly when its flag is set,
// the polygon maps empty without their flag, and `extra_id` present
// exactly with its flag.
Result<std::vector<std::uint8_t>, std::string> write_gfx_obj(const dat::GfxObj& gfx_obj,
                                                              const GfxObjWriteOptions& options = {});

}  // namespace quillmoor::authoring
