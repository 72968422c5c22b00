#include "quillmoor/authoring/byte_writer.h"


namespace quillmoor::authoring {

ByteWriter& ByteWriter::pstring(std::string_view stored, int width) {
  switch (width) {
    case 1: u8(static_cast<std::uint8_t>(stored.size())); break;
    case 2: u16(static_cast<std::uint16_t>(stored.size())); break;
    case 4: u32(static_cast<std::uint32_t>(stored.size())); break;
    default: break;  // no prefix: lets tests build malformed strings
  }
  return raw(stored);
}

ByteWriter& ByteWriter::align4() {
  while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  return *this;
}

ByteWriter& ByteWriter::compressed_u32(std::uint32_t v, int width) {
  if (width == 0) width = v < 0x80 ? 1 : v < 0x4000 ? 2 : 4;
  if (width == 1) return u8(static_cast<std::uint8_t>(v & 0x7F));
  if (width == 2) {
    u8(static_cast<std::uint8_t>(0x80 | ((v >> 8) & 0x3F)));
    return u8(static_cast<std::uint8_t>(v & 0xFF));
  }
  u8(static_cast<std::uint8_t>(0xC0 | ((v >> 24) & 0x3F)));
  u8(static_cast<std::uint8_t>((v >> 16) & 0xFF));
  return u16(static_cast<std::uint16_t>(v & 0xFFFF));
}

std::vector<std::uint8_t> encode_windows1252(std::string_view utf8) {
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
  };
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<std::uint8_t>(utf8[i]);
    char32_t cp;
    int len;
    if (b < 0x80) { cp = b; len = 1; }
    else if ((b >> 5) == 6) { cp = b & 0x1F; len = 2; }
    else if ((b >> 4) == 14) { cp = b & 0x0F; len = 3; }
    else { cp = b & 0x07; len = 4; }
    for (int k = 1; k < len && i + k < utf8.size(); ++k) {
      cp = (cp << 6) | (static_cast<std::uint8_t>(utf8[i + k]) & 0x3F);
    }
    i += len;
    int byte = -1;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) byte = static_cast<int>(cp);
    for (int k = 0; k < 32 && byte < 0; ++k) {
      if (kHigh[k] == cp) byte = 0x80 + k;
    }
    out.push_back(static_cast<std::uint8_t>(byte < 0 ? '?' : byte));
  }
  return out;
}

}  // namespace quillmoor::authoring
