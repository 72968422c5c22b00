// Fuzz target: both readers of a landblock's cell-archive files (terrain
// and info) on the same arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "quillmoor/dat/landblock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  auto terrain = quillmoor::dat::CellLandblock::unpack(bytes);
  if (terrain.ok() && (terrain->terrain.size() != quillmoor::dat::kLandblockVertices ||
                       terrain->height.size() != quillmoor::dat::kLandblockVertices)) {
    std::abort();
  }
  auto info = quillmoor::dat::LandblockInfo::unpack(bytes);
  if (info.ok() && info->objects.size() * quillmoor::dat::Stab::kSize > size) std::abort();
  return 0;
}
