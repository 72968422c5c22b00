#include "quillmoor/dat/decompress.h"

#include <algorithm>

namespace quillmoor::dat {

std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input) {
  if (input.size() < 4) return std::vector<std::uint8_t>(input.begin(), input.end());
  const std::uint32_t target = std::uint32_t{input[0]} | (std::uint32_t{input[1]} << 8) |
                               (std::uint32_t{input[2]} << 16) | (std::uint32_t{input[3]} << 24);
  std::vector<std::uint8_t> out;
  if (target == 0) return out;
  const std::span<const std::uint8_t> stream = input.subspan(4);
  const std::size_t n = stream.size();
  if (n == 0) return out;

  // The declared size is not trusted for the reservation: two stream bytes
  // yield at most 17 output bytes (a back-reference), one byte at most one.
  const std::uint64_t producible = std::uint64_t{n} / 2 * 17 + n % 2;
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(target, producible)));

  std::size_t i = 0;
  unsigned mask = 0;
  unsigned flags = 0;
  for (;;) {
    if (mask == 0) {
      flags = stream[i++];
      mask = 0x80;
    }
    if ((flags & mask) != 0) {
      if (i + 1 >= n) break;
      const unsigned lo = stream[i];
      const unsigned hi = stream[i + 1];
      const std::size_t distance = lo | ((hi & 0xF0u) << 4);
      const unsigned count = (hi & 0x0Fu) + 2;
      if (distance == 0) break;  // end marker
      i += 2;
      // A back-reference before any output has nothing to copy; such a
      // stream is outside the format and decoding simply stops here.
      if (out.empty()) break;
      for (unsigned k = 0; k < count && out.size() < target; ++k) {
        // Recomputed per byte: a distance shorter than the count repeats
        // the last `distance` bytes; a longer one than the output so far
        // copies from index 0.
        const std::uint8_t byte = out[out.size() - std::min(out.size(), distance)];
        out.push_back(byte);
      }
      if (out.size() >= target) break;
    } else {
      // A flag byte that ends the stream announces a literal that is not
      // there; decoding stops, as for any stream that ends early.
      if (i >= n) break;
      out.push_back(stream[i++]);
      if (out.size() >= target) break;
    }
    mask >>= 1;
    if (i >= n) break;
  }
  return out;
}

}  // namespace quillmoor::dat
