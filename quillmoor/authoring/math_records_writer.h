// Writers of the math records, in their file layout (little-endian floats,
// no padding): the inverse of quillmoor/dat/math_records.h; and the key
// order every writer of a keyed section uses.
#pragma once

#include <algorithm>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"
#include "quillmoor/common/math.h"
#include "quillmoor/common/seeded_hash_map.h"
#include "quillmoor/dat/math_records.h"

namespace quillmoor::authoring {

void write_vector3(ByteWriter& out, const Vector3& v);          // x, y, z: 12 bytes
void write_quaternion(ByteWriter& out, const Quaternion& q);    // w, x, y, z: 16 bytes
void write_plane(ByteWriter& out, const Plane& p);              // normal, d: 16 bytes
void write_sphere(ByteWriter& out, const Sphere& s);            // center, radius: 16 bytes
void write_frame(ByteWriter& out, const dat::Frame& frame);     // origin, orientation: 28 bytes

// The keys of a seeded map in increasing order, so that writers emit the
// same bytes whatever the map's iteration order.
template <class K, class V>
std::vector<K> sorted_keys(const SeededHashMap<K, V>& map) {
  std::vector<K> keys;
  keys.reserve(map.size());
  for (const auto& entry : map) keys.push_back(entry.first);
  std::sort(keys.begin(), keys.end());
  return keys;
}

}  // namespace quillmoor::authoring
