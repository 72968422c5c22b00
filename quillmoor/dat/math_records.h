// Readers of the math records, and the placement `Frame` that the graphics
// and landblock formats share. All are declarative records: a failure names
// the field and the position returns to the record's first byte.
#pragma once

#include "quillmoor/common/math.h"
#include "quillmoor/dat/bin_reader.h"

namespace quillmoor::dat {

// A position and a rotation; 28 bytes in files.
struct Frame {
  Vector3 origin;
  Quaternion orientation;
};

BinResult<Vector3> read_vector3(BinReader& reader);
BinResult<Quaternion> read_quaternion(BinReader& reader);
BinResult<Plane> read_plane(BinReader& reader);
BinResult<Sphere> read_sphere(BinReader& reader);
BinResult<Frame> read_frame(BinReader& reader);

}  // namespace quillmoor::dat
