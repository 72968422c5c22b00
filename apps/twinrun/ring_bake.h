// One determinism run: bake every landblock of a list with building
// footprints and render each placement as a JSON line.
#pragma once

#include <cstdint>
#include <optional>
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

// Everything one landblock's bake saw and produced. `terrain` is absent
// when the terrain file is missing or does not parse; there are then no
// footprints and no placements.
struct LandblockBake {
  std::uint16_t landblock = 0;
  std::optional<dat::CellLandblock> terrain;
  std::vector<bake::FootprintRect> footprints;  // building order
  std::vector<bake::SceneryPlacement> placements;  // placement order
};

// Bakes one landblock with the given caches (which fill as it goes): loads
// the terrain and the info, turns every building with a mesh into a
// footprint and runs the bake in the given height mode. Never fails, as
// bake_ring_to_lines.
LandblockBake bake_one_landblock(const dat::Region& region, const dat::DatDatabase& portal,
                                 const dat::DatDatabase& cell, SceneCache& scenes, MeshCache& meshes,
                                 std::uint16_t landblock, bool bilinear_with_slope);

// Bakes `landblocks` in order with fresh caches. Never fails: a landblock
// whose terrain cannot be read has no lines; one whose info cannot be read
// is baked without footprints.
RunResult bake_ring_to_lines(const dat::Region& region, const dat::DatDatabase& portal,
                             const dat::DatDatabase& cell, std::span<const std::uint16_t> landblocks);

}  // namespace quillmoor::twinrun
