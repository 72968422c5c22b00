#include "apps/twinrun/placement_line.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <string>
#include <limits>

namespace quillmoor::twinrun {
namespace {

TEST(FormatFixed6Test, RoundsTheExactFloatValue) {
  struct Case {
    float value;
    const char* text;
  };
  const Case cases[] = {
      {0.0f, "0.000000"},
      {-0.0f, "0.000000"},  // negative zero loses its sign
      {12.5f, "12.500000"},
      {-1e-7f, "-0.000000"},  // rounds to zero but keeps the minus sign
      {0.0078125f, "0.007812"},   // exact tie, to even
      {0.0234375f, "0.023438"},   // exact tie, to even
      {110.870834f, "110.870834"},
      {0.1f, "0.100000"},  // 0.100000001490116...
      {-192.0f, "-192.000000"},
      {1e30f, "1000000015047466219876688855040.000000"},
      {std::numeric_limits<float>::denorm_min(), "0.000000"},
      {std::numeric_limits<float>::quiet_NaN(), "NaN"},
      {-std::numeric_limits<float>::quiet_NaN(), "NaN"},  // printf would say -nan
      {std::numeric_limits<float>::infinity(), "inf"},
      {-std::numeric_limits<float>::infinity(), "-inf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::bit_cast<std::uint32_t>(c.value));
    EXPECT_EQ(format_fixed6(c.value), c.text);
  }
}

// The conversion is done in integer arithmetic; the C library's "%.6f" of
// the same value is the reference it must match digit for digit.
TEST(FormatFixed6Test, MatchesTheCLibrary) {
  auto reference = [](float v) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "%.6f", static_cast<double>(v));
    return std::string(buf);
  };
  auto check = [&](float v) {
    if (std::isnan(v) || std::isinf(v) || v == 0.0f) return;
    const std::string got = format_fixed6(v);
    if (got != reference(v)) ADD_FAILURE() << std::bit_cast<std::uint32_t>(v) << ": " << got << " vs " << reference(v);
  };
  // Bit patterns spread over every exponent and sign, ...
  for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 4093) check(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
  // ... small multiples of powers of two, where the exact ties lie
  // (m * 2^-7 with m odd is a tie at the sixth decimal), ...
  for (int e = -30; e <= 0; ++e) {
    for (int m = 1; m <= 3000; ++m) {
      check(std::ldexp(static_cast<float>(m), e));
      check(-std::ldexp(static_cast<float>(m), e));
    }
  }
  // ... and the neighbours of the rounding boundaries in landblock range.
  for (float v = 0.0000004f; v < 200.0f; v = v * 1.37f + 0.0000001f) {
    check(v);
    check(std::nextafter(v, 0.0f));
    check(std::nextafter(v, 1e9f));
  }
  // Both sides of where the integer path hands over to the C library.
  for (const float v : {0x1.fffffep39f, 0x1p40f, 0x1.000002p40f, 0x1.fffffep40f, 0x1p41f, 3.4028235e38f}) check(v);
}

TEST(PlacementLineTest, RendersEveryKeyInOrder) {
  bake::SceneryPlacement p{};
  p.obj_id = 0x12;
  p.x = -0.0f;
  p.y = 82.002731f;
  p.z = -0.0f;
  p.qw = 0.803834f;
  p.qz = 0.594853f;
  p.scale = 1.337429f;
  p.source_cell_x = 4;
  p.source_cell_y = 8;
  p.source_obj_idx = 11;
  EXPECT_EQ(placement_line(p),
            "{\"obj_id\":\"0x00000012\",\"x\":0.000000,\"y\":82.002731,\"z\":0.000000,"
            "\"qw\":0.803834,\"qx\":0.000000,\"qy\":0.000000,\"qz\":0.594853,"
            "\"scale\":1.337429,\"source_cell_x\":4,\"source_cell_y\":8,\"source_obj_idx\":11}");
  p.obj_id = 0xFFFFFFFF;
  p.source_obj_idx = 4294967295u;
  const std::string line = placement_line(p);
  EXPECT_NE(line.find("\"obj_id\":\"0xFFFFFFFF\""), std::string::npos);
  EXPECT_NE(line.find("\"source_obj_idx\":4294967295}"), std::string::npos);
}

}  // namespace
}  // namespace quillmoor::twinrun
