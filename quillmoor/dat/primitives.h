// Primitive readers shared by the hand-written format readers:
// length-prefixed strings, compact integers, counted id lists, alignment.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quillmoor/dat/bin_reader.h"

namespace quillmoor::dat {

// A string with a 1-, 2- or 4-byte length prefix, decoded by the Encoding
// Standard (UTF-8/UTF-16 byte-order marks, windows-1252 otherwise). Any
// other width fails with "Unsupported PString length size" without
// consuming anything. Does not align.
BinResult<std::string> read_pstring(BinReader& reader, int width);

// Moves the position to the next multiple of 4 (relative to the file's
// first byte), without reading or checking the skipped bytes.
BinResult<Ok> align_to_4(BinReader& reader);

// One, two or four bytes; the top bits of the first byte give the width.
BinResult<std::uint32_t> read_compressed_u32(BinReader& reader);

// A compact count followed by that many unsigned 32-bit values.
BinResult<std::vector<std::uint32_t>> read_smart_vec(BinReader& reader);

// Reads `count` elements with `read_one`, reserving no more than the
// remaining bytes could hold at `min_size` bytes per element.
template <class T, class F>
BinResult<std::vector<T>> read_counted(BinReader& reader, std::uint64_t count,
                                       std::size_t min_size, F&& read_one) {
  std::vector<T> out;
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, reader.max_elements(min_size))));
  for (std::uint64_t i = 0; i < count; ++i) {
    QM_ASSIGN_OR_RETURN(T value, read_one());
    out.push_back(std::move(value));
  }
  return out;
}

}  // namespace quillmoor::dat
