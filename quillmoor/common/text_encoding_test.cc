#include "quillmoor/common/text_encoding.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quillmoor {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(TextEncodingTest, Utf8) {
  const struct {
    const char* name;
    Bytes in;
    std::string out;
  } cases[] = {
      {"ascii", {'a', 'b'}, "ab"},
      {"two-byte", {0xC3, 0xA9}, "\u00E9"},
      {"three-byte", {0xE2, 0x82, 0xAC}, "\u20AC"},
      {"four-byte", {0xF0, 0x9F, 0x98, 0x80}, "\U0001F600"},
      {"lone continuation", {0x80, 'a'}, "\uFFFDa"},
      {"overlong lead C0", {0xC0, 0xAF}, "\uFFFD\uFFFD"},
      {"truncated at end", {'a', 0xE2, 0x82}, "a\uFFFD"},
      {"interrupted sequence", {0xE2, 'a'}, "\uFFFDa"},
      {"surrogate encoded", {0xED, 0xA0, 0x80}, "\uFFFD\uFFFD\uFFFD"},
      {"overlong E0", {0xE0, 0x80, 0x80}, "\uFFFD\uFFFD\uFFFD"},
      {"beyond U+10FFFF", {0xF4, 0x90, 0x80, 0x80}, "\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"F5 lead", {0xF5}, "\uFFFD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decode_utf8(c.in), c.out);
  }
}

TEST(TextEncodingTest, Utf16) {
  const struct {
    const char* name;
    Bytes in;
    bool big_endian;
    std::string out;
  } cases[] = {
      {"le ascii", {'h', 0, 'i', 0}, false, "hi"},
      {"be ascii", {0, 'h', 0, 'i'}, true, "hi"},
      {"le surrogate pair", {0x3D, 0xD8, 0x00, 0xDE}, false, "\U0001F600"},
      {"lone trail", {0x00, 0xDC, 'a', 0}, false, "\uFFFDa"},
      {"lone lead then unit", {0x3D, 0xD8, 'a', 0}, false, "\uFFFDa"},
      {"lead at end", {0x3D, 0xD8}, false, "\uFFFD"},
      {"odd byte", {'a', 0, 'b'}, false, "a\uFFFD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decode_utf16(c.in, c.big_endian), c.out);
  }
}

TEST(TextEncodingTest, Windows1252AndSniffing) {
  EXPECT_EQ(decode_windows1252(Bytes{0x80, 0x81, 0x9F, 0xA0, 0xFF, 'z'}), "\u20AC\u0081\u0178\u00A0\u00FFz");
  const struct {
    const char* name;
    Bytes in;
    std::string out;
  } cases[] = {
      {"no mark", {0xE9, 0x80}, "\u00E9\u20AC"},
      {"UTF-8 mark", {0xEF, 0xBB, 0xBF, 0xC3, 0xA9}, "\u00E9"},
      {"UTF-8 mark alone", {0xEF, 0xBB, 0xBF}, ""},
      {"two bytes of the UTF-8 mark", {0xEF, 0xBB}, "\u00EF\u00BB"},
      {"UTF-16LE mark", {0xFF, 0xFE, 'A', 0}, "A"},
      {"UTF-16LE mark alone", {0xFF, 0xFE}, ""},
      {"UTF-16BE mark", {0xFE, 0xFF, 0, 'A'}, "A"},
      {"empty", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decode_with_bom_sniffing(c.in), c.out);
  }
  EXPECT_EQ(lossy_utf8("ok\xFF"), "ok\uFFFD");
}

}  // namespace
}  // namespace quillmoor
