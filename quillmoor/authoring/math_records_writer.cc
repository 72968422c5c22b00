#include "quillmoor/authoring/math_records_writer.h"

namespace quillmoor::authoring {

void write_vector3(ByteWriter& out, const Vector3& v) { out.f32(v.x).f32(v.y).f32(v.z); }

void write_quaternion(ByteWriter& out, const Quaternion& q) { out.f32(q.w).f32(q.x).f32(q.y).f32(q.z); }

void write_plane(ByteWriter& out, const Plane& p) {
  write_vector3(out, p.normal);
  out.f32(p.d);
}

void write_sphere(ByteWriter& out, const Sphere& s) {
  write_vector3(out, s.center);
  out.f32(s.radius);
}

void write_frame(ByteWriter& out, const dat::Frame& frame) {
  write_vector3(out, frame.origin);
  write_quaternion(out, frame.orientation);
}

}  // namespace quillmoor::authoring
