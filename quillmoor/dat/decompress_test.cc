#include "quillmoor/dat/decompress.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quillmoor/authoring/archive_writer.h"
#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::dat {
namespace {

using Bytes = std::vector<std::uint8_t>;
using authoring::ByteWriter;

// A back-reference token: distance 1..4095, count 2..17.
void backref(ByteWriter& w, unsigned distance, unsigned count) {
  w.u8(static_cast<std::uint8_t>(distance & 0xFF));
  w.u8(static_cast<std::uint8_t>(((distance >> 4) & 0xF0) | (count - 2)));
}

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(DecompressTest, Examples) {
  struct Case {
    const char* name;
    Bytes input;
    Bytes expected;
  };
  std::vector<Case> cases;
  cases.push_back({"empty input", {}, {}});
  cases.push_back({"one byte, unchanged", {0x42}, {0x42}});
  cases.push_back({"three bytes, unchanged", {1, 2, 3}, {1, 2, 3}});
  cases.push_back({"declared size 0", {0, 0, 0, 0, 0x00, 'a', 'b'}, {}});
  cases.push_back({"size but no stream", {5, 0, 0, 0}, {}});
  {
    ByteWriter w;
    w.u32(8).u8(0x00).raw("abcdefgh");  // flag 0: eight literals
    cases.push_back({"eight literals", std::move(w).bytes(), bytes_of("abcdefgh")});
  }
  {
    ByteWriter w;
    w.u32(6).u8(0x40).u8(0x61);  // flag 0x40: literal 'a', then a back-reference
    w.bytes({0x01, 0x03});       // distance 1, count 5
    cases.push_back({"overlapping copy of one byte", std::move(w).bytes(), Bytes(6, 0x61)});
  }
  {
    ByteWriter w;
    w.u32(4).u8(0x40).u8(0x61).bytes({0x01, 0x03});  // same stream, target 4
    cases.push_back({"copy limited by target", std::move(w).bytes(), Bytes(4, 0x61)});
  }
  {
    ByteWriter w;
    w.u32(100).u8(0x20).raw("ab");  // literals a, b, then a back-reference
    w.bytes({0x00, 0x05});          // distance 0: end marker
    w.raw("zzzz");                  // never reached
    cases.push_back({"end marker", std::move(w).bytes(), bytes_of("ab")});
  }
  {
    ByteWriter w;
    w.u32(3).u8(0x00).raw("abcdefgh").u8(0x00).raw("ij");  // ten literals
    cases.push_back({"declared size 3 of ten literals", std::move(w).bytes(), bytes_of("abc")});
  }
  {
    ByteWriter w;
    w.u32(20).u8(0x00).raw("abc");  // the stream ends after three literals
    cases.push_back({"stream shorter than declared", std::move(w).bytes(), bytes_of("abc")});
  }
  {
    ByteWriter w;
    w.u32(12).u8(0x00).raw("abcdefgh");  // eight literals, then a second flag byte
    w.u8(0x80);
    backref(w, 8, 4);  // "abcd" again, from eight back
    cases.push_back({"second flag byte", std::move(w).bytes(), bytes_of("abcdefghabcd")});
  }
  {
    ByteWriter w;
    w.u32(9).u8(0x10).raw("abc");  // three literals, then a back-reference
    backref(w, 3, 6);              // distance 3 < count 6: "abc" repeats
    cases.push_back({"distance shorter than count", std::move(w).bytes(), bytes_of("abcabcabc")});
  }
  {
    ByteWriter w;
    w.u32(5).u8(0x40).raw("x");  // one literal, then a back-reference
    backref(w, 4000, 4);         // distance beyond the output: copies index 0
    cases.push_back({"distance beyond output", std::move(w).bytes(), bytes_of("xxxxx")});
  }
  {
    ByteWriter w;
    w.u32(10).u8(0x40).raw("q").u8(0x01);  // back-reference with only one byte left
    cases.push_back({"truncated back-reference", std::move(w).bytes(), bytes_of("q")});
  }
  {
    ByteWriter w;
    w.u32(10).u8(0x00);  // a flag byte announcing a literal that is not there
    cases.push_back({"flag byte at the end", std::move(w).bytes(), {}});
  }
  {
    ByteWriter w;
    w.u32(10).u8(0x00).raw("abcdefgh").u8(0x00);  // same after a full group
    cases.push_back({"second flag byte at the end", std::move(w).bytes(), bytes_of("abcdefgh")});
  }
  {
    ByteWriter w;
    w.u32(10).u8(0x80);  // a back-reference before any output
    backref(w, 1, 2);
    w.raw("ab");
    cases.push_back({"back-reference into empty output", std::move(w).bytes(), {}});
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decompress_lrs(c.input), c.expected);
  }
}

TEST(DecompressTest, HugeDeclaredSizeReservesOnlyWhatTheStreamCanGive) {
  ByteWriter w;
  w.u32(0xFFFFFFFF).u8(0x40).raw("a");
  backref(w, 1, 17);
  const Bytes out = decompress_lrs(std::move(w).bytes());
  EXPECT_EQ(out, Bytes(18, 'a'));
  // Five stream bytes can give at most 2 * 17 + 1.
  EXPECT_LE(out.capacity(), 35u);
}

Bytes varied(std::size_t n, std::uint32_t seed, int kind) {
  Bytes b(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    switch (kind) {
      case 0: b[i] = static_cast<std::uint8_t>(x >> 24); break;                  // noise
      case 1: b[i] = 0; break;                                                   // one long run
      case 2: b[i] = static_cast<std::uint8_t>("the quick brown fox "[i % 20]); break;  // short period
      case 3: b[i] = static_cast<std::uint8_t>((x >> 29) + 'a'); break;          // small alphabet
      default: b[i] = static_cast<std::uint8_t>(i % 5000 < 2500 ? i : x >> 24); break;  // mixed
    }
  }
  return b;
}

TEST(DecompressTest, RoundTripsThroughTheCompressor) {
  for (int kind = 0; kind < 5; ++kind) {
    for (const std::size_t n : {0u, 1u, 2u, 3u, 4u, 8u, 9u, 17u, 18u, 100u, 4095u, 4096u, 4097u, 20000u}) {
      SCOPED_TRACE("kind " + std::to_string(kind) + " size " + std::to_string(n));
      const Bytes data = varied(n, static_cast<std::uint32_t>(n), kind);
      const Bytes packed = authoring::compress_lrs(data);
      ASSERT_GE(packed.size(), 4u);
      EXPECT_EQ(decompress_lrs(packed), data);
      if (kind == 1 && n >= 100) {
        EXPECT_LT(packed.size(), n / 4);  // runs must become tokens
      }
    }
  }
}

}  // namespace
}  // namespace quillmoor::dat
