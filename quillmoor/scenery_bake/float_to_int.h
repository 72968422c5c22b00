// Float-to-integer conversions that are defined for every input: values
// beyond the target range saturate at its ends, NaN becomes 0, everything
// else truncates toward zero. A plain cast of such values is undefined.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace quillmoor::bake {

inline std::int32_t saturating_to_i32(float value) {
  if (std::isnan(value)) return 0;
  // 2^31 is exactly representable; every float below it and above -2^31
  // truncates to a value inside the range.
  if (value >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

inline std::uint64_t saturating_to_u64(double value) {
  if (std::isnan(value) || value <= 0.0) return 0;
  if (value >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(value);
}

}  // namespace quillmoor::bake
