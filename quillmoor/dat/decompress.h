// Decompression of files stored compressed (bit 0 of an entry's flags): a
// byte-oriented LZ77 decoder with flag bytes.
//
// Stored bytes: the decompressed size (u32, little-endian), then the token
// stream. Each flag byte announces up to eight tokens, most significant bit
// first: a clear bit is a literal byte, a set bit a two-byte back-reference
// lo, hi with distance lo | ((hi & 0xF0) << 4) (0 = end marker) and count
// (hi & 0x0F) + 2.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quillmoor::dat {

// Never fails: an input shorter than 4 bytes is returned unchanged, and a
// stream that ends early (or hits the end marker) gives a shorter output.
// The output never exceeds the declared size.
std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input);

}  // namespace quillmoor::dat
