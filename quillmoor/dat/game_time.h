// The region file's game-time section.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "quillmoor/dat/bin_reader.h"

namespace quillmoor::dat {

// Four bytes carried exactly as stored; the system never interprets them.
using Raw32 = std::uint32_t;

struct TimeOfDay {
  Raw32 value = 0;
  bool flag = false;  // stored as an unsigned 32-bit value, nonzero is true
  std::string name;
};

struct Season {
  Raw32 value = 0;
  std::string name;

  static BinResult<Season> unpack(BinReader& reader);
};

struct GameTime {
  double base_value = 0;
  std::array<Raw32, 3> params{};
  std::string label;
  std::vector<TimeOfDay> times_of_day;
  std::vector<std::string> names;
  std::vector<Season> seasons;

  static BinResult<GameTime> unpack(BinReader& reader);
};

// A 16-bit length-prefixed text followed by alignment to 4, as every text
// of the region file is stored.
BinResult<std::string> read_region_text(BinReader& reader);

}  // namespace quillmoor::dat
