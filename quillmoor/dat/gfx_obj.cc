#include "quillmoor/dat/gfx_obj.h"

#include "quillmoor/dat/math_records.h"
#include "quillmoor/dat/primitives.h"

namespace quillmoor::dat {

namespace {

// A compact count, then that many (16-bit polygon id, polygon) entries; a
// later polygon with the same id replaces the earlier one.
BinResult<Ok> read_polygons(BinReader& reader, SeededHashMap<std::uint16_t, Polygon>& out) {
  QM_ASSIGN_OR_RETURN(const std::uint32_t count, read_compressed_u32(reader));
  for (std::uint32_t i = 0; i < count; ++i) {
    QM_ASSIGN_OR_RETURN(const std::uint16_t polygon_id, reader.read_u16());
    QM_ASSIGN_OR_RETURN(Polygon polygon, Polygon::read(reader));
    out.put(polygon_id, std::move(polygon));
  }
  return Ok{};
}

}  // namespace

BinResult<GfxObj> GfxObj::unpack(BinReader& reader) {
  GfxObj out;
  QM_ASSIGN_OR_RETURN(out.id, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.flags, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.surface_ids, read_smart_vec(reader));
  QM_ASSIGN_OR_RETURN(out.vertex_array, CVertexArray::read(reader));
  if ((out.flags & kHasPhysics) != 0) {
    QM_TRY(read_polygons(reader, out.physics_polygons));
    QM_ASSIGN_OR_RETURN(out.physics_bsp, BspNode::read(reader, kBspPhysicsTree));
  }
  QM_ASSIGN_OR_RETURN(out.center, read_vector3(reader));
  if ((out.flags & kHasDrawing) != 0) {
    QM_TRY(read_polygons(reader, out.drawing_polygons));
    QM_ASSIGN_OR_RETURN(out.drawing_bsp, BspNode::read(reader, kBspDrawingTree));
  }
  if ((out.flags & kHasExtraId) != 0) {
    QM_ASSIGN_OR_RETURN(out.extra_id, reader.read_u32());
  }
  return out;
}

}  // namespace quillmoor::dat
