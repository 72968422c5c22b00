// Fuzz target: decompression of arbitrary stored bytes. It never fails,
// and its output never exceeds the declared size nor what the stream can
// produce (two stream bytes give at most 17 output bytes).
#include <cstdint>
#include <cstdlib>
#include <span>

#include "quillmoor/dat/decompress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const auto out = quillmoor::dat::decompress_lrs(input);
  if (size < 4) {
    if (out.size() != size) std::abort();
    return 0;
  }
  const std::uint64_t target = std::uint64_t{data[0]} | (std::uint64_t{data[1]} << 8) |
                               (std::uint64_t{data[2]} << 16) | (std::uint64_t{data[3]} << 24);
  const std::uint64_t stream = size - 4;
  if (out.size() > target || out.size() > stream / 2 * 17 + stream % 2) std::abort();
  return 0;
}
