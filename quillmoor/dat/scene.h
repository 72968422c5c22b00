// A scene: the list of object descriptors that may be placed around one
// terrain vertex.
#pragma once

#include <cstdint>
#include <vector>

#include "quillmoor/dat/bin_reader.h"
#include "quillmoor/dat/object_desc.h"

namespace quillmoor::dat {

struct Scene {
  std::uint32_t id = 0;
  std::vector<ObjectDesc> objects;  // file order is significant

  static BinResult<Scene> unpack(BinReader& reader);
};

}  // namespace quillmoor::dat
