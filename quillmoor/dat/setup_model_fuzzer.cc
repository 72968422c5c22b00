// Fuzz target: the setup model reader on arbitrary bytes.
#include <cstdint>
#include <span>

#include "quillmoor/dat/setup_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillmoor::dat::BinReader reader(std::span<const std::uint8_t>(data, size));
  (void)quillmoor::dat::SetupModel::unpack(reader);
  return 0;
}
