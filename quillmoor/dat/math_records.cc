#include "quillmoor/dat/math_records.h"

namespace quillmoor::dat {

BinResult<Vector3> read_vector3(BinReader& reader) {
  Record rec(reader, "Vector3");
  Vector3 v;
  QM_ASSIGN_OR_RETURN(v.x, rec.f32("x"));
  QM_ASSIGN_OR_RETURN(v.y, rec.f32("y"));
  QM_ASSIGN_OR_RETURN(v.z, rec.f32("z"));
  return v;
}

BinResult<Quaternion> read_quaternion(BinReader& reader) {
  Record rec(reader, "Quaternion");
  Quaternion q;
  QM_ASSIGN_OR_RETURN(q.w, rec.f32("w"));
  QM_ASSIGN_OR_RETURN(q.x, rec.f32("x"));
  QM_ASSIGN_OR_RETURN(q.y, rec.f32("y"));
  QM_ASSIGN_OR_RETURN(q.z, rec.f32("z"));
  return q;
}

BinResult<Plane> read_plane(BinReader& reader) {
  Record rec(reader, "Plane");
  Plane p;
  QM_ASSIGN_OR_RETURN(p.normal, rec.field("normal", [&] { return read_vector3(reader); }));
  QM_ASSIGN_OR_RETURN(p.d, rec.f32("d"));
  return p;
}

BinResult<Sphere> read_sphere(BinReader& reader) {
  Record rec(reader, "Sphere");
  Sphere s;
  QM_ASSIGN_OR_RETURN(s.center, rec.field("center", [&] { return read_vector3(reader); }));
  QM_ASSIGN_OR_RETURN(s.radius, rec.f32("radius"));
  return s;
}

BinResult<Frame> read_frame(BinReader& reader) {
  Record rec(reader, "Frame");
  Frame f;
  QM_ASSIGN_OR_RETURN(f.origin, rec.field("origin", [&] { return read_vector3(reader); }));
  QM_ASSIGN_OR_RETURN(f.orientation, rec.field("orientation", [&] { return read_quaternion(reader); }));
  return f;
}

}  // namespace quillmoor::dat
