// The picture of a bake: an SVG of the baked landblocks, north up, 192
// units per landblock. Terrain cells are shaded by height on a green to
// grey ramp, the cells the bake treats as road are brown, building
// footprints are outlined, every placement is a small circle coloured by
// its model, and a legend explains it all.
//
// Large areas are simplified so that the file stays small: beyond
// kFullDetailLandblocks each landblock is one shaded square without roads,
// and beyond kMaxMarks placements (or kMaxFootprints footprints) those are
// left out, which the legend says.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "apps/bake_tool/map_tile.h"

namespace quillmoor::bake_tool {

inline constexpr std::size_t kFullDetailLandblocks = 1024;
inline constexpr std::size_t kMaxMarks = 60000;
inline constexpr std::size_t kMaxFootprints = 20000;

// The colour of a model: a hue from a fixed hash of its id, as "#rrggbb".
std::string model_colour(std::uint32_t obj_id);

// The colour of a height between `low` and `high` on the terrain ramp.
std::string height_colour(float height, float low, float high);

// The whole document; `title` heads the legend.
std::string render_map(std::span<const MapTile> tiles, const std::string& title);

}  // namespace quillmoor::bake_tool
