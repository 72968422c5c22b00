#include "quillmoor/common/hex.h"

#include <cstdio>

namespace quillmoor {

std::string hex8(std::uint32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(value));
  return buf;
}

std::string hex_id(std::uint32_t value) { return "0x" + hex8(value); }

std::optional<std::uint32_t> parse_hex(std::string_view text, std::uint32_t max) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  if (text.empty() || text.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return std::nullopt;
    value = (value << 4) | digit;
  }
  if (value > max) return std::nullopt;
  return value;
}

}  // namespace quillmoor
