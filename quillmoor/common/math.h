// The geometric records stored in the archives. Values are kept exactly as
// read: nothing is normalised or range-checked, NaN passes through.
#pragma once

namespace quillmoor {

struct Vector3 {
  float x = 0, y = 0, z = 0;
};

// A rotation; the scalar part `w` comes first in files.
struct Quaternion {
  float w = 0, x = 0, y = 0, z = 0;
};

struct Plane {
  Vector3 normal;
  float d = 0;
};

struct Sphere {
  Vector3 center;
  float radius = 0;
};

}  // namespace quillmoor
