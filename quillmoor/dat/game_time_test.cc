#include "quillmoor/dat/game_time.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::dat {
namespace {

using authoring::ByteWriter;

constexpr char kEof[] = "failed to fill whole buffer";

template <class T>
void expect_eof(const BinResult<T>& result) {
  ASSERT_FALSE(result.ok());
  EXPECT_TRUE(result.error().is_eof());
  // Hand-written readers add no context lines.
  EXPECT_EQ(result.error().message(), kEof);
}

TEST(RegionTextTest, PadsToFourFromTheFileStart) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::uint64_t start;
    std::string text;
    std::uint64_t end;
  };
  const Case cases[] = {
      {{0x00, 0x00}, 0, "", 4},                          // empty: 2 + 2 padding
      {{0x01, 0x00, 'a'}, 0, "a", 4},                    // 2 + 1 + 1 padding
      {{0x02, 0x00, 'a', 'b'}, 0, "ab", 4},              // 2 + 2, no padding
      {{0x03, 0x00, 'A', 'B', 'C'}, 0, "ABC", 8},        // 2 + 3 + 3 padding
      {{0x04, 0x00, 'w', 'x', 'y', 'z'}, 0, "wxyz", 8},  // 2 + 4 + 2 padding
      // Starting at 2: 2 + 2 + 2 = 6, aligned relative to the file, not the text.
      {{0xEE, 0xEE, 0x02, 0x00, 'h', 'i'}, 2, "hi", 8},
      {{0xEE, 0xEE, 0x00, 0x00}, 2, "", 4},
      // Stored bytes are windows-1252: 0x80 is the euro sign, 0xE9 is e-acute.
      {{0x02, 0x00, 0x80, 0xE9}, 0, "\xE2\x82\xAC\xC3\xA9", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    BinReader reader(c.bytes, c.start);
    auto text = read_region_text(reader);
    ASSERT_TRUE(text.ok()) << text.error().message();
    EXPECT_EQ(*text, c.text);
    EXPECT_EQ(reader.position(), c.end);
  }
}

TEST(RegionTextTest, MissingBodyIsEndOfData) {
  const std::vector<std::uint8_t> bytes = {0x0A, 0x00, 'a', 'b', 'c', 'd'};  // claims 10, has 4
  BinReader reader(bytes);
  expect_eof(read_region_text(reader));
}

TEST(SeasonTest, SizesAndFields) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::uint32_t value;
    std::string name;
    std::uint64_t size;
  };
  const Case cases[] = {
      // value 0x11223344 | length 6 | "spring", no padding (4 + 2 + 6 = 12)
      {{0x44, 0x33, 0x22, 0x11, 0x06, 0x00, 's', 'p', 'r', 'i', 'n', 'g'}, 0x11223344, "spring", 12},
      // value 7 | length 4 | "fall" | 2 padding bytes (4 + 2 + 4 + 2 = 12)
      {{0x07, 0x00, 0x00, 0x00, 0x04, 0x00, 'f', 'a', 'l', 'l', 0xAA, 0xBB}, 7, "fall", 12},
      // value 0 | length 0 | 2 padding bytes
      {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0xBB}, 0, "", 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BinReader reader(c.bytes);
    auto season = Season::unpack(reader);
    ASSERT_TRUE(season.ok()) << season.error().message();
    EXPECT_EQ(season->value, c.value);
    EXPECT_EQ(season->name, c.name);
    EXPECT_EQ(reader.position(), c.size);
  }
}

// The 36-byte game time: empty label, no times of day, names or seasons.
std::vector<std::uint8_t> empty_game_time() {
  return ByteWriter()
      .f64(1.25)                     // 0: base_value
      .u32(0xA1).u32(0xA2).u32(0xA3)  // 8: params
      .u16(0).u16(0)                 // 20: empty label, 2 padding bytes
      .u32(0)                        // 24: no times of day
      .u32(0)                        // 28: no names
      .u32(0)                        // 32: no seasons
      .bytes();
}

TEST(GameTimeTest, EmptyGameTimeIs36Bytes) {
  const auto bytes = empty_game_time();
  ASSERT_EQ(bytes.size(), 36u);
  BinReader reader(bytes);
  auto time = GameTime::unpack(reader);
  ASSERT_TRUE(time.ok()) << time.error().message();
  EXPECT_EQ(reader.position(), 36u);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(time->base_value), std::bit_cast<std::uint64_t>(1.25));
  EXPECT_EQ(time->params, (std::array<Raw32, 3>{0xA1, 0xA2, 0xA3}));
  EXPECT_EQ(time->label, "");
  EXPECT_TRUE(time->times_of_day.empty());
  EXPECT_TRUE(time->names.empty());
  EXPECT_TRUE(time->seasons.empty());
}

TEST(GameTimeTest, ThreeByteLabelIs40Bytes) {
  const auto bytes = ByteWriter()
                         .zeros(8)                       // 0: base_value 0.0
                         .zeros(12)                      // 8: params
                         .u16(3).raw("Day").zeros(3)     // 20: label, 3 padding bytes
                         .u32(0).u32(0).u32(0)           // 28: three empty lists
                         .bytes();
  BinReader reader(bytes);
  auto time = GameTime::unpack(reader);
  ASSERT_TRUE(time.ok()) << time.error().message();
  EXPECT_EQ(time->label, "Day");
  EXPECT_EQ(reader.position(), 40u);
}

TEST(GameTimeTest, ReadsEveryListInOrder) {
  const auto bytes = ByteWriter()
                         .f64(-2.5)                      // 0: base_value
                         .u32(1).u32(2).u32(3)           // 8: params
                         .u16(1).raw("L").zeros(1)       // 20: label "L" + 1 padding
                         .u32(3)                         // 24: three times of day
                         .u32(0x10).u32(0).u16(2).raw("am")       // 28: flag 0 -> false
                         .u32(0x20).u32(2).u16(1).raw("n").u8(0)  // 40: flag 2 -> true
                         .u32(0x30).u32(0xFFFFFFFF).u16(0).u16(0) // 52: flag ~0 -> true
                         .u32(2)                         // 64: two names
                         .u16(3).raw("one").zeros(3)     // 68
                         .u16(2).raw("tw")               // 76
                         .u32(1)                         // 80: one season
                         .u32(0x99).u16(6).raw("winter") // 84
                         .bytes();
  ASSERT_EQ(bytes.size(), 96u);
  BinReader reader(bytes);
  auto time = GameTime::unpack(reader);
  ASSERT_TRUE(time.ok()) << time.error().message();
  EXPECT_EQ(reader.position(), 96u);
  EXPECT_EQ(time->label, "L");
  ASSERT_EQ(time->times_of_day.size(), 3u);
  EXPECT_EQ(time->times_of_day[0].value, 0x10u);
  EXPECT_FALSE(time->times_of_day[0].flag);
  EXPECT_EQ(time->times_of_day[0].name, "am");
  EXPECT_EQ(time->times_of_day[1].value, 0x20u);
  EXPECT_TRUE(time->times_of_day[1].flag);
  EXPECT_EQ(time->times_of_day[1].name, "n");
  EXPECT_TRUE(time->times_of_day[2].flag);
  EXPECT_EQ(time->times_of_day[2].name, "");
  EXPECT_EQ(time->names, (std::vector<std::string>{"one", "tw"}));
  ASSERT_EQ(time->seasons.size(), 1u);
  EXPECT_EQ(time->seasons[0].value, 0x99u);
  EXPECT_EQ(time->seasons[0].name, "winter");

  // Every cut inside the section is the end-of-data error.
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    BinReader short_reader{std::span<const std::uint8_t>(bytes).first(cut)};
    expect_eof(GameTime::unpack(short_reader));
  }
}

TEST(GameTimeTest, ThreeSeasonsWithDataForTwoFails) {
  auto writer = ByteWriter();
  writer.zeros(20).u16(0).u16(0)  // base_value, params, empty label
      .u32(0).u32(0)              // no times of day, no names
      .u32(3)                     // three seasons claimed
      .u32(1).u16(2).raw("s1")    // season 1
      .u32(2).u16(2).raw("s2");   // season 2, then the data ends
  BinReader reader(writer.bytes());
  expect_eof(GameTime::unpack(reader));
}

TEST(GameTimeTest, HugeCountsFailWithoutReserving) {
  struct Case {
    const char* list;
    std::vector<std::uint8_t> bytes;
  };
  const auto head = [] { return ByteWriter().zeros(20).u16(0).u16(0); };  // up to the lists
  const Case cases[] = {
      {"times_of_day", head().u32(0xFFFFFFFF).u32(0).bytes()},
      {"names", head().u32(0).u32(0xFFFFFFFF).u16(0).bytes()},
      {"seasons", head().u32(0).u32(0).u32(0xFFFFFFFF).zeros(8).bytes()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    BinReader reader(c.bytes);
    expect_eof(GameTime::unpack(reader));
  }
}

}  // namespace
}  // namespace quillmoor::dat
