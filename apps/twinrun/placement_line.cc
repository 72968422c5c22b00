#include "apps/twinrun/placement_line.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace quillmoor::twinrun {

namespace {

// Appends decimal digits of `v`.
char* put_decimal(char* out, std::uint64_t v) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) *out++ = digits[--n];
  return out;
}

// Writes `value` with six decimals, as format_fixed6 describes, and returns
// the end. Finite non-zero values of ordinary size are converted exactly in
// integer arithmetic: a float is m * 2^e with m below 2^24, so m * 10^6 fits
// 64 bits and one shift with a look at the bits shifted out rounds it,
// ties to even. Huge values go through the C library, which converts the
// exact binary value the same way.
char* put_fixed6(char* out, float value) {
  if (std::isnan(value)) {
    std::memcpy(out, "NaN", 3);
    return out + 3;
  }
  if (std::isinf(value)) {
    if (value < 0) *out++ = '-';
    std::memcpy(out, "inf", 3);
    return out + 3;
  }
  if (value == 0.0f) {  // negative zero included
    std::memcpy(out, "0.000000", 8);
    return out + 8;
  }
  std::uint32_t bits;
  std::memcpy(&bits, &value, 4);
  const bool negative = (bits >> 31) != 0;
  const std::uint32_t biased = (bits >> 23) & 0xFF;
  const std::uint64_t mantissa = biased == 0 ? (bits & 0x7FFFFF) : ((bits & 0x7FFFFF) | 0x800000);
  const int exponent = biased == 0 ? -149 : static_cast<int>(biased) - 150;  // value = mantissa * 2^exponent

  std::uint64_t millionths;  // the value times 10^6, rounded
  if (exponent >= 0) {
    if (exponent > 16) {  // beyond 2^40 the product might not fit: the C library
      char buf[64];
      const int n = std::snprintf(buf, sizeof buf, "%.6f", static_cast<double>(value));
      std::memcpy(out, buf, static_cast<std::size_t>(n));
      return out + n;
    }
    millionths = (mantissa << exponent) * 1000000u;
  } else {
    const unsigned shift = static_cast<unsigned>(-exponent);
    const std::uint64_t scaled = mantissa * 1000000u;  // below 2^44
    if (shift >= 64) {
      millionths = 0;  // below half a millionth: scaled < 2^44 <= 2^(shift - 1)
    } else {
      millionths = scaled >> shift;
      const std::uint64_t rest = scaled - (millionths << shift);
      const std::uint64_t half = std::uint64_t{1} << (shift - 1);
      if (rest > half || (rest == half && (millionths & 1) != 0)) ++millionths;
    }
  }
  if (negative) *out++ = '-';
  out = put_decimal(out, millionths / 1000000u);
  *out++ = '.';
  std::uint64_t fraction = millionths % 1000000u;
  for (int i = 5; i >= 0; --i) {
    out[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  return out + 6;
}

char* put_text(char* out, const char* text) {
  const std::size_t n = std::strlen(text);
  std::memcpy(out, text, n);
  return out + n;
}

}  // namespace

std::string format_fixed6(float value) {
  char buf[64];
  return std::string(buf, put_fixed6(buf, value));
}

std::string placement_line(const bake::SceneryPlacement& p) {
  // 8 numbers of at most 48 characters each, 3 counters of at most 10, and
  // under 150 characters of keys and punctuation.
  char buf[640];
  char* out = put_text(buf, "{\"obj_id\":\"0x");
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int shift = 28; shift >= 0; shift -= 4) *out++ = kHex[(p.obj_id >> shift) & 0xF];
  out = put_text(out, "\",\"x\":");
  out = put_fixed6(out, p.x);
  out = put_text(out, ",\"y\":");
  out = put_fixed6(out, p.y);
  out = put_text(out, ",\"z\":");
  out = put_fixed6(out, p.z);
  out = put_text(out, ",\"qw\":");
  out = put_fixed6(out, p.qw);
  out = put_text(out, ",\"qx\":");
  out = put_fixed6(out, p.qx);
  out = put_text(out, ",\"qy\":");
  out = put_fixed6(out, p.qy);
  out = put_text(out, ",\"qz\":");
  out = put_fixed6(out, p.qz);
  out = put_text(out, ",\"scale\":");
  out = put_fixed6(out, p.scale);
  out = put_text(out, ",\"source_cell_x\":");
  out = put_decimal(out, p.source_cell_x);
  out = put_text(out, ",\"source_cell_y\":");
  out = put_decimal(out, p.source_cell_y);
  out = put_text(out, ",\"source_obj_idx\":");
  out = put_decimal(out, p.source_obj_idx);
  *out++ = '}';
  return std::string(buf, out);
}

}  // namespace quillmoor::twinrun
