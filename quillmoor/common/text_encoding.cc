#include "quillmoor/common/text_encoding.h"

namespace quillmoor {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// windows-1252 bytes 0x80..0x9F; every other byte is its own code point.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string decode_utf8(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  char32_t cp = 0;
  int needed = 0, seen = 0;
  std::uint8_t lower = 0x80, upper = 0xBF;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::uint8_t b = bytes[i];
    if (needed == 0) {
      ++i;
      if (b < 0x80) {
        out += static_cast<char>(b);
      } else if (b >= 0xC2 && b <= 0xDF) {
        needed = 1;
        cp = b & 0x1F;
      } else if (b >= 0xE0 && b <= 0xEF) {
        if (b == 0xE0) lower = 0xA0;
        if (b == 0xED) upper = 0x9F;
        needed = 2;
        cp = b & 0x0F;
      } else if (b >= 0xF0 && b <= 0xF4) {
        if (b == 0xF0) lower = 0x90;
        if (b == 0xF4) upper = 0x8F;
        needed = 3;
        cp = b & 0x07;
      } else {
        append_utf8(out, kReplacement);
      }
      continue;
    }
    if (b < lower || b > upper) {
      // The sequence so far is malformed; the byte starts afresh.
      cp = 0;
      needed = seen = 0;
      lower = 0x80;
      upper = 0xBF;
      append_utf8(out, kReplacement);
      continue;
    }
    ++i;
    lower = 0x80;
    upper = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
    if (++seen == needed) {
      append_utf8(out, cp);
      cp = 0;
      needed = seen = 0;
    }
  }
  if (needed != 0) append_utf8(out, kReplacement);
  return out;
}

std::string decode_utf16(std::span<const std::uint8_t> bytes, bool big_endian) {
  std::string out;
  out.reserve(bytes.size());
  int lead_byte = -1;
  int lead_surrogate = -1;
  for (const std::uint8_t b : bytes) {
    if (lead_byte < 0) {
      lead_byte = b;
      continue;
    }
    const char32_t unit = big_endian ? static_cast<char32_t>((lead_byte << 8) | b)
                                     : static_cast<char32_t>((b << 8) | lead_byte);
    lead_byte = -1;
    if (lead_surrogate >= 0) {
      const char32_t lead = static_cast<char32_t>(lead_surrogate);
      lead_surrogate = -1;
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        append_utf8(out, 0x10000 + ((lead - 0xD800) << 10) + (unit - 0xDC00));
        continue;
      }
      // A lone lead surrogate; the unit is decoded on its own.
      append_utf8(out, kReplacement);
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      lead_surrogate = static_cast<int>(unit);
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      append_utf8(out, kReplacement);
    } else {
      append_utf8(out, unit);
    }
  }
  if (lead_byte >= 0 || lead_surrogate >= 0) append_utf8(out, kReplacement);
  return out;
}

std::string decode_windows1252(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const std::uint8_t b : bytes) {
    if (b >= 0x80 && b <= 0x9F) {
      append_utf8(out, kWindows1252High[b - 0x80]);
    } else {
      append_utf8(out, b);
    }
  }
  return out;
}

std::string decode_with_bom_sniffing(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    return decode_utf8(bytes.subspan(3));
  }
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    return decode_utf16(bytes.subspan(2), /*big_endian=*/false);
  }
  if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    return decode_utf16(bytes.subspan(2), /*big_endian=*/true);
  }
  return decode_windows1252(bytes);
}

}  // namespace quillmoor
