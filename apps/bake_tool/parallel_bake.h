// Bakes a list of landblocks on one or more threads and hands the results
// over in list order, so that the output never depends on the number of
// threads or on which worker baked what.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "apps/bake_tool/map_tile.h"
#include "quillmoor/dat/archive.h"
#include "quillmoor/dat/region.h"

namespace quillmoor::bake_tool {

struct BakedLandblock {
  std::uint16_t landblock = 0;
  std::vector<std::string> lines;  // twinrun's placement lines, bake order
  std::optional<MapTile> tile;     // only when asked for
  std::string text;                // whatever BakeSettings::finish makes of it
};

struct BakeSettings {
  bool bilinear_with_slope = false;
  unsigned threads = 1;
  bool tiles = false;  // also summarise each landblock for the map
  // Runs on the worker right after the bake (for example to render the
  // output text), so that the sink only has to write.
  std::function<void(BakedLandblock& baked)> finish;
};

// Takes each landblock's result in list order, on the calling thread;
// returning false stops the bake (nothing more is handed over).
using Sink = std::function<bool(BakedLandblock&& baked)>;

// Bakes `landblocks`. With one thread everything runs on the caller's
// thread with one pair of caches; with more, each worker has its own
// caches (the archives are only read, with positioned reads) and claims
// the next landblock, never running more than a bounded window ahead of
// the sink, so memory stays flat however long the list.
void bake_in_order(const dat::Region& region, const dat::DatDatabase& portal, const dat::DatDatabase& cell,
                   std::span<const std::uint16_t> landblocks, const BakeSettings& settings, const Sink& sink);

}  // namespace quillmoor::bake_tool
