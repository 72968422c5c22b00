// Fuzz target: the region reader on arbitrary bytes ends with a record or
// an error, and never reads past the end.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "quillmoor/dat/region.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillmoor::dat::BinReader reader(std::span<const std::uint8_t>(data, size));
  auto region = quillmoor::dat::Region::unpack(reader);
  if (region.ok() && region->land_parameters.land_height_table.size() != 256) std::abort();
  return 0;
}
