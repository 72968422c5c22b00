// One determinism run: bake every landblock of a list with building
// footprints and render each placement as a JSON line.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "apps/twinrun/caches.h"
#include "quillmoor/dat/archive.h"
#include "quillmoor/dat/landblock.h"
#include "quillmoor/dat/region.h"
#include "quillmoor/scenery_bake/bake.h"

namespace quillmoor::twinrun {

struct LandblockLines {
  std::uint16_t landblock = 0;
  std::vector<std::string> lines;

  friend bool operator==(const LandblockLines&, const LandblockLines&) = default;
};

// One entry per input id, in input order.
using RunResult = std::vector<LandblockLines>;

// The exclusion rectangle of a building: its mesh points turned by the
// heading of the frame's rotation about the vertical axis and moved by its
// origin. No scale; origin.z unused.
bake::FootprintRect building_footprint(const dat::Frame& frame, const LocalMesh& mesh);

// Bakes `landblocks` in order with fresh caches. Never fails: a landblock
// whose terrain cannot be read has no lines; one whose info cannot be read
// is baked without footprints.
RunResult bake_ring_to_lines(const dat::Region& region, const dat::DatDatabase& portal,
                             const dat::DatDatabase& cell, std::span<const std::uint16_t> landblocks);

}  // namespace quillmoor::twinrun
