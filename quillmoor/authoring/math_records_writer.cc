#include "quillmoor/authoring/math_records_writer.h"

namespace quillmoor::authoring {

void write_vector3(ByteWriter& out, const Vector3& v) { out.f32(v.x).f32(v.y).f32(v.z); }

void write_quaternion(ByteWriter& out, const Quaternion& q) { out.f32(q.w).f32(q.x).f32(q.y).f32(q.z); }

void write_frame(ByteWriter& out, const dat::Frame& frame) {
  write_vector3(out, frame.origin);
  write_quaternion(out, frame.orientation);
}

}  // namespace quillmoor::authoring
