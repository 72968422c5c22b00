// Fuzz target: the scene reader on arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "quillmoor/dat/object_desc.h"
#include "quillmoor/dat/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillmoor::dat::BinReader reader(std::span<const std::uint8_t>(data, size));
  auto scene = quillmoor::dat::Scene::unpack(reader);
  // Every descriptor read came out of the input.
  if (scene.ok() && scene->objects.size() * quillmoor::dat::ObjectDesc::kSize > size) std::abort();
  return 0;
}
