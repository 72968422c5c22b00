// One scenery object descriptor of a scene: which model, and the rules for
// placing it around a terrain vertex. 76 bytes in files.
#pragma once

#include <cstdint>

#include "quillmoor/dat/bin_reader.h"
#include "quillmoor/dat/math_records.h"

namespace quillmoor::dat {

struct ObjectDesc {
  std::uint32_t obj_id = 0;  // model file id
  Frame frame;               // origin.x/y: base offset from the vertex
  float frequency = 0;
  float displace_x = 0;
  float displace_y = 0;
  float min_scale = 0;
  float max_scale = 0;
  float max_rotation = 0;  // degrees
  float min_slope = 0;     // radians
  float max_slope = 0;     // radians
  std::int32_t aux_a = 0;
  std::int32_t aux_b = 0;
  std::uint32_t skip_flag = 0;  // nonzero: never placed

  static constexpr std::size_t kSize = 76;
  static BinResult<ObjectDesc> unpack(BinReader& reader);
};

}  // namespace quillmoor::dat
