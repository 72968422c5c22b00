// Fuzz target: the graphics object reader, BSP trees included, on
// arbitrary bytes.
#include <cstdint>
#include <span>

#include "quillmoor/dat/gfx_obj.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillmoor::dat::BinReader reader(std::span<const std::uint8_t>(data, size));
  (void)quillmoor::dat::GfxObj::unpack(reader);
  return 0;
}
