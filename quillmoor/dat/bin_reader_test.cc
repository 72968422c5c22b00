#include "quillmoor/dat/bin_reader.h"

#include <bit>
#include <vector>

#include <gtest/gtest.h>

#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(BinReaderTest, LittleEndianReads) {
  authoring::ByteWriter w;
  w.u8(0xAB).u16(0x1234).u32(0xDEADBEEF).u64(0x0102030405060708ull).u16(0xFFFE).i32(-3).f32(1.5f).f64(-0.25);
  BinReader r(w.bytes());
  EXPECT_EQ(r.read_u8().value(), 0xABu);
  EXPECT_EQ(r.read_u16().value(), 0x1234u);
  EXPECT_EQ(r.read_u32().value(), 0xDEADBEEFu);
  EXPECT_EQ(r.read_u64().value(), 0x0102030405060708ull);
  EXPECT_EQ(r.read_i16().value(), -2);
  EXPECT_EQ(r.read_i32().value(), -3);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(r.read_f32().value()), std::bit_cast<std::uint32_t>(1.5f));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(r.read_f64().value()), std::bit_cast<std::uint64_t>(-0.25));
  EXPECT_EQ(r.remaining(), 0u);
  auto eof = r.read_u8();
  ASSERT_FALSE(eof.ok());
  EXPECT_TRUE(eof.error().is_eof());
  EXPECT_EQ(eof.error().message(), "failed to fill whole buffer");
}

TEST(BinReaderTest, ShortReadsConsumeNothing) {
  const Bytes b = {1, 2, 3};
  BinReader r(b, 1);
  EXPECT_FALSE(r.read_u32().ok());
  EXPECT_FALSE(r.read_bytes(3).ok());
  EXPECT_EQ(r.position(), 1u);
  EXPECT_EQ(r.read_bytes(2).value().size(), 2u);
  EXPECT_EQ(r.position(), 3u);
  // Positions past the end read nothing and hold nothing.
  r.set_position(100);
  EXPECT_EQ(r.remaining(), 0u);
  EXPECT_EQ(r.max_elements(4), 0u);
  EXPECT_FALSE(r.read_u8().ok());
}

TEST(BinReaderTest, SkipAndMaxElements) {
  const Bytes b(10, 0);
  BinReader r(b);
  EXPECT_EQ(r.max_elements(4), 2u);
  EXPECT_EQ(r.max_elements(0), 10u);  // a zero size counts as one byte
  ASSERT_TRUE(r.skip(20).ok());       // skipping does not check the data
  EXPECT_EQ(r.position(), 20u);
  r.set_position(0xFFFFFFFFFFFFFFF0ull);
  auto s = r.skip(0x10);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error().message(), "invalid seek to a negative or overflowing position");
  EXPECT_EQ(r.position(), 0xFFFFFFFFFFFFFFF0ull);
}

struct Pair {
  std::uint32_t a = 0;
  std::uint16_t b = 0;
};

BinResult<Pair> read_pair(BinReader& r) {
  Record rec(r, "Pair");
  Pair p;
  QM_ASSIGN_OR_RETURN(p.a, rec.u32("a"));
  QM_ASSIGN_OR_RETURN(p.b, rec.u16("b"));
  return p;
}

BinResult<Pair> read_outer(BinReader& r) {
  Record rec(r, "Outer");
  QM_TRY(rec.u8("tag"));
  return rec.field("pair", [&] { return read_pair(r); });
}

TEST(BinReaderTest, RecordsAddContextInnermostFirstAndRewind) {
  const Bytes b = {9, 1, 0, 0, 0, 2};  // tag, a, then one byte of b
  BinReader r(b);
  auto p = read_outer(r);
  ASSERT_FALSE(p.ok());
  EXPECT_EQ(p.error().context(),
            (std::vector<std::string>{"While parsing field 'b' in Pair", "While parsing field 'pair' in Outer"}));
  EXPECT_EQ(p.error().message(),
            "failed to fill whole buffer\nWhile parsing field 'b' in Pair\nWhile parsing field 'pair' in Outer");
  EXPECT_EQ(r.position(), 0u);

  const Bytes whole = {9, 1, 0, 0, 0, 2, 0};
  BinReader ok_reader(whole);
  auto q = read_outer(ok_reader);
  ASSERT_TRUE(q.ok());
  EXPECT_EQ(q->a, 1u);
  EXPECT_EQ(q->b, 2u);
  EXPECT_EQ(ok_reader.position(), 7u);
}

TEST(BinReaderTest, ErrorTexts) {
  const struct {
    const char* name;
    BinError error;
    const char* message;
    std::vector<std::string> causes;
  } cases[] = {
      {"end of data", BinError::eof(), "failed to fill whole buffer", {}},
      {"end of data with context", BinError::eof().with_field("x", "Vector3"),
       "failed to fill whole buffer\nWhile parsing field 'x' in Vector3", {"failed to fill whole buffer"}},
      {"custom", BinError::custom("Unknown tag 7", 0x1F), "Unknown tag 7 at 0x1f", {}},
      {"assertion at 0", BinError::assertion("Bad width", 0), "Bad width at 0x0", {}},
      {"custom with context", BinError::custom("Bad", 0xABC).with_field("f", "R"),
       "Bad at 0xabc\nWhile parsing field 'f' in R", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.error.message(), c.message);
    EXPECT_EQ(c.error.causes(), c.causes);
    const ErrorChain chain = c.error.to_chain();
    EXPECT_EQ(chain.headline(), c.message);
    EXPECT_EQ(chain.causes(), c.causes);
  }
}

}  // namespace
}  // namespace quillmoor::dat
