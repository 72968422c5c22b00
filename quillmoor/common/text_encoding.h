// Text decoding as the Encoding Standard defines it: UTF-8, UTF-16LE/BE and
// windows-1252 into UTF-8, malformed sequences becoming U+FFFD. Decoding
// never fails.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quillmoor {

void append_utf8(std::string& out, char32_t code_point);

std::string decode_utf8(std::span<const std::uint8_t> bytes);
std::string decode_utf16(std::span<const std::uint8_t> bytes, bool big_endian);
std::string decode_windows1252(std::span<const std::uint8_t> bytes);

// The standard's decode with windows-1252 as the fallback: a UTF-8 or
// UTF-16 byte-order mark selects that encoding and is dropped.
std::string decode_with_bom_sniffing(std::span<const std::uint8_t> bytes);

// Raw bytes (a path, an environment value) as UTF-8 for display.
inline std::string lossy_utf8(std::string_view raw) {
  return decode_utf8({reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()});
}

}  // namespace quillmoor
