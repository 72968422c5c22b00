#include "quillmoor/dat/graphics.h"

#include "quillmoor/dat/math_records.h"
#include "quillmoor/dat/primitives.h"

namespace quillmoor::dat {

BinResult<Vec2Duv> Vec2Duv::read(BinReader& reader) {
  Record rec(reader, "Vec2Duv");
  Vec2Duv out;
  QM_ASSIGN_OR_RETURN(out.u, rec.f32("u"));
  QM_ASSIGN_OR_RETURN(out.v, rec.f32("v"));
  return out;
}

BinResult<SWVertex> SWVertex::read(BinReader& reader) {
  Record rec(reader, "SWVertex");
  SWVertex out;
  QM_ASSIGN_OR_RETURN(out.num_uvs, rec.u16("num_uvs"));
  QM_ASSIGN_OR_RETURN(out.origin, rec.field("origin", [&] { return read_vector3(reader); }));
  QM_ASSIGN_OR_RETURN(out.normal, rec.field("normal", [&] { return read_vector3(reader); }));
  QM_ASSIGN_OR_RETURN(out.uvs, rec.field("uvs", [&] {
    return read_counted<Vec2Duv>(reader, out.num_uvs, Vec2Duv::kSize, [&] { return Vec2Duv::read(reader); });
  }));
  return out;
}

BinResult<CVertexArray> CVertexArray::read(BinReader& reader) {
  CVertexArray out;
  QM_ASSIGN_OR_RETURN(out.vertex_type, reader.read_u32());
  QM_ASSIGN_OR_RETURN(const std::uint32_t count, reader.read_u32());
  if (out.vertex_type != kVertexTypeSW) return out;
  for (std::uint32_t i = 0; i < count; ++i) {
    QM_ASSIGN_OR_RETURN(const std::uint16_t vertex_id, reader.read_u16());
    QM_ASSIGN_OR_RETURN(SWVertex vertex, SWVertex::read(reader));
    out.vertices.put(vertex_id, std::move(vertex));
  }
  return out;
}

BinResult<Polygon> Polygon::read(BinReader& reader) {
  Polygon out;
  QM_ASSIGN_OR_RETURN(out.point_count, reader.read_u8());
  QM_ASSIGN_OR_RETURN(out.uv_flags, reader.read_u8());
  QM_ASSIGN_OR_RETURN(out.side_mode, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.front_surface, reader.read_u16());
  QM_ASSIGN_OR_RETURN(out.back_surface, reader.read_u16());
  QM_ASSIGN_OR_RETURN(out.vertex_ids, read_counted<std::uint16_t>(reader, out.point_count, 2,
                                                                   [&] { return reader.read_u16(); }));
  if (out.has_front_uvs()) {
    QM_ASSIGN_OR_RETURN(auto bytes, reader.read_bytes(out.point_count));
    out.front_uv_indices.assign(bytes.begin(), bytes.end());
  }
  if (out.has_back_uvs()) {
    QM_ASSIGN_OR_RETURN(auto bytes, reader.read_bytes(out.point_count));
    out.back_uv_indices.assign(bytes.begin(), bytes.end());
  }
  return out;
}

}  // namespace quillmoor::dat
