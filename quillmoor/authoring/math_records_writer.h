// Writers of the math records, in their file layout (little-endian floats,
// no padding): the inverse of quillmoor/dat/math_records.h.
#pragma once

#include "quillmoor/authoring/byte_writer.h"
#include "quillmoor/common/math.h"
#include "quillmoor/dat/math_records.h"

namespace quillmoor::authoring {

void write_vector3(ByteWriter& out, const Vector3& v);          // x, y, z: 12 bytes
void write_quaternion(ByteWriter& out, const Quaternion& q);    // w, x, y, z: 16 bytes
void write_frame(ByteWriter& out, const dat::Frame& frame);     // origin, orientation: 28 bytes

}  // namespace quillmoor::authoring
