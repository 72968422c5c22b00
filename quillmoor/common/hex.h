// File ids and other 32-bit values in hexadecimal, written and read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillmoor {

// Eight upper-case digits with leading zeros, no prefix: "13000000".
std::string hex8(std::uint32_t value);
// The same with the prefix: "0x13000000".
std::string hex_id(std::uint32_t value);

// A hexadecimal number of one to eight digits, with or without "0x", at
// most `max` in value; nothing for anything else.
std::optional<std::uint32_t> parse_hex(std::string_view text, std::uint32_t max = 0xFFFFFFFF);

}  // namespace quillmoor
