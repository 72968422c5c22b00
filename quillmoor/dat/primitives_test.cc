#include "quillmoor/dat/primitives.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(PrimitivesTest, ReadPstring) {
  const struct {
    const char* name;
    Bytes bytes;
    int width;
    std::string expected;
    std::uint64_t end;
  } cases[] = {
      {"empty, width 2", {0x00, 0x00}, 2, "", 2},
      {"ABC, width 2", {0x03, 0x00, 'A', 'B', 'C'}, 2, "ABC", 5},
      {"width 1, windows-1252 0x80", {0x01, 0x80}, 1, "\u20AC", 2},
      {"width 4", {0x02, 0, 0, 0, 'h', 'i', 'x'}, 4, "hi", 6},
      {"UTF-16LE mark alone", {0x02, 0x00, 0xFF, 0xFE}, 2, "", 4},
      {"UTF-8 mark then A", {0x04, 0x00, 0xEF, 0xBB, 0xBF, 'A'}, 2, "A", 6},
      {"UTF-16BE", {0x04, 0x00, 0xFE, 0xFF, 0x00, 'Z'}, 2, "Z", 6},
      {"high latin-1 byte", {0x01, 0xE9}, 1, "\u00E9", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BinReader r(c.bytes);
    auto s = read_pstring(r, c.width);
    ASSERT_TRUE(s.ok()) << s.error().message();
    EXPECT_EQ(s.value(), c.expected);
    EXPECT_EQ(r.position(), c.end);
  }
}

TEST(PrimitivesTest, ReadPstringFailures) {
  {
    const Bytes b = {0, 0, 0, 0x03, 0x00, 'A'};
    BinReader r(b, 3);
    auto s = read_pstring(r, 3);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.error().message(), "Unsupported PString length size at 0x3");
    EXPECT_EQ(r.position(), 3u);  // nothing consumed
  }
  {
    const Bytes b = {0x0A, 0x00, 1, 2, 3, 4};  // length 10, four bytes behind it
    BinReader r(b);
    auto s = read_pstring(r, 2);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.error().message(), "failed to fill whole buffer");
  }
  {
    // 0xFFFF is an ordinary length: 65535 bytes are needed.
    authoring::ByteWriter w;
    w.u16(0xFFFF).zeros(65534);
    BinReader short_reader(w.bytes());
    EXPECT_FALSE(read_pstring(short_reader, 2).ok());
    w.u8('z');
    BinReader r(w.bytes());
    auto s = read_pstring(r, 2);
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(s->size(), 65535u);
    EXPECT_EQ(r.position(), 65537u);
  }
}

TEST(PrimitivesTest, AlignTo4) {
  const struct {
    std::uint64_t from, to;
  } cases[] = {{0, 0}, {5, 8}, {8, 8}, {9, 12}, {10, 12}, {11, 12}};
  const Bytes none;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.from);
    BinReader r(none, c.from);  // past the end: alignment does not check
    ASSERT_TRUE(align_to_4(r).ok());
    EXPECT_EQ(r.position(), c.to);
  }
  BinReader r(none, 0xFFFFFFFFFFFFFFFDull);
  auto a = align_to_4(r);
  ASSERT_FALSE(a.ok());
  EXPECT_EQ(a.error().message(), "invalid seek to a negative or overflowing position");
}

TEST(PrimitivesTest, PstringThenAlignIsRelativeToTheFile) {
  const Bytes b = {0x03, 0x00, 'A', 'B', 'C', 0xEE, 0xEE, 0xEE, 0x07};
  BinReader r(b);
  ASSERT_EQ(read_pstring(r, 2).value(), "ABC");
  ASSERT_TRUE(align_to_4(r).ok());
  EXPECT_EQ(r.position(), 8u);
  EXPECT_EQ(r.read_u8().value(), 7u);
}

TEST(PrimitivesTest, ReadCompressedU32) {
  const struct {
    Bytes bytes;
    std::uint32_t value;
    std::uint64_t width;
  } cases[] = {
      {{0x7F}, 0x7F, 1},
      {{0x00}, 0, 1},
      {{0x80, 0x80}, 0x80, 2},
      {{0x80, 0x05}, 5, 2},  // not minimal, same value
      {{0xBF, 0xFF}, 0x3FFF, 2},
      {{0xC0, 0x01, 0x02, 0x03}, 0x00010302, 4},
      {{0xFF, 0xFF, 0xFF, 0xFF}, 0x3FFFFFFF, 4},
      {{0xC1, 0x02, 0x34, 0x12}, 0x01021234, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    BinReader r(c.bytes);
    auto v = read_compressed_u32(r);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(v.value(), c.value);
    EXPECT_EQ(r.position(), c.width);
  }
  for (const Bytes& cut : {Bytes{0x80}, Bytes{0xC0, 0x01, 0x02}, Bytes{}}) {
    BinReader r(cut);
    auto v = read_compressed_u32(r);
    ASSERT_FALSE(v.ok());
    EXPECT_EQ(v.error().message(), "failed to fill whole buffer");
  }
}

TEST(PrimitivesTest, CompactIntegersRoundTripThroughTheWriter) {
  for (const std::uint32_t v : {0u, 0x7Fu, 0x80u, 0x3FFFu, 0x4000u, 0x123456u, 0x3FFFFFFFu}) {
    for (const int width : {0, 4}) {
      SCOPED_TRACE(v);
      authoring::ByteWriter w;
      w.compressed_u32(v, width);
      BinReader r(w.bytes());
      EXPECT_EQ(read_compressed_u32(r).value(), v);
      EXPECT_EQ(r.remaining(), 0u);
    }
  }
}

TEST(PrimitivesTest, ReadSmartVec) {
  {
    const Bytes b = {0x02, 0x01, 0, 0, 0, 0x02, 0, 0, 0, 0xAA};
    BinReader r(b);
    EXPECT_EQ(read_smart_vec(r).value(), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(r.position(), 9u);
  }
  {
    const Bytes b = {0x00, 0xAA};
    BinReader r(b);
    EXPECT_TRUE(read_smart_vec(r).value().empty());
    EXPECT_EQ(r.position(), 1u);
  }
  {
    // A count of 0x3FFFFFFF with one element behind it: fails without
    // reserving for the count.
    const Bytes b = {0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 2, 0};
    BinReader r(b);
    auto v = read_smart_vec(r);
    ASSERT_FALSE(v.ok());
    EXPECT_EQ(v.error().message(), "failed to fill whole buffer");
  }
}

}  // namespace
}  // namespace quillmoor::dat
