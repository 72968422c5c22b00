// Writers of scene files and their 76-byte object descriptors, in the
// layout Scene::unpack reads.
#pragma once

#include <cstdint>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"
#include "quillmoor/dat/object_desc.h"
#include "quillmoor/dat/scene.h"

namespace quillmoor::authoring {

void write_object_desc(ByteWriter& out, const dat::ObjectDesc& desc);

// id, descriptor count, then the descriptors in list order.
std::vector<std::uint8_t> write_scene(const dat::Scene& scene);

}  // namespace quillmoor::authoring
