// The scenery bake: every procedurally placed scenery object of one
// landblock, chosen and placed from integer hashes of the terrain grid
// position (no random source, no state between calls).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "quillmoor/common/math.h"
#include "quillmoor/dat/landblock.h"
#include "quillmoor/dat/object_desc.h"
#include "quillmoor/dat/region.h"

namespace quillmoor::bake {

// One accepted scenery object. x and y in landblock space (0..192), z the
// terrain height there; the rotation is about the vertical axis only.
struct SceneryPlacement {
  std::uint32_t obj_id;
  float x, y, z, qw, qx, qy, qz, scale;
  std::uint32_t source_cell_x, source_cell_y, source_obj_idx;
};

// An axis-aligned rectangle in landblock space, closed on all sides.
struct FootprintRect {
  float min_x, min_y, max_x, max_y;
};

// Scene file id -> its object descriptors, or nothing.
using SceneLookup = std::function<std::optional<std::vector<dat::ObjectDesc>>(std::uint32_t scene_id)>;
// Object file id -> the object's mesh points in its own space; nullptr when
// there is none. The list must stay valid until the next lookup.
using MeshLookup = std::function<const std::vector<Vector3>*(std::uint32_t obj_id)>;

// Bakes one landblock. `base` is the landblock id << 16 (its low 16 bits are
// ignored). `footprints` are areas where nothing may stand. With
// `bilinear_with_slope` the candidates are filtered by each descriptor's
// slope range and take the bilinear height; otherwise the height is that of
// the terrain triangle's plane and slopes are not tested. Placements come in
// acceptance order: by vertex, then by descriptor position.
std::vector<SceneryPlacement> bake_landblock_impl(const dat::Region& region,
                                                  const dat::CellLandblock& landblock,
                                                  std::uint32_t base, const SceneLookup& scene_lookup,
                                                  const MeshLookup& mesh_lookup,
                                                  std::span<const FootprintRect> footprints,
                                                  bool bilinear_with_slope);

// ---- Pieces of the bake, exposed for tests and tools ----

// Noise in [0, 1) of a 32-bit hash: h times the double just below 2^-32.
double hash_noise(std::uint32_t h);

// The hashes and noises of one terrain vertex at global vertex coordinates
// (gx, gy), in wrapping 32-bit arithmetic.
struct VertexNoise {
  std::uint32_t hs;  // scene selection hash
  std::uint32_t hb;  // base hash of the descriptor noises
  double nf;         // frequency noise
  std::uint32_t m;   // descriptor multiplier
  double nq;         // quarter-turn noise
};
VertexNoise vertex_noise(std::uint32_t gx, std::uint32_t gy);

// Salts of the per-descriptor noises.
inline constexpr std::uint32_t kSaltDisplaceX = 45773;
inline constexpr std::uint32_t kSaltDisplaceY = 72719;
inline constexpr std::uint32_t kSaltRotation = 63127;
inline constexpr std::uint32_t kSaltScale = 32593;

// Noise of descriptor j of a vertex for one salt.
double descriptor_noise(const VertexNoise& vertex, std::uint32_t j, std::uint32_t salt);

// The box of a mesh scaled by `scale`, turned by angle `a` (radians) and
// moved to (px, py). Starts from (+inf, +inf, -inf, -inf) and grows with
// strict comparisons, so NaN coordinates never enter it and a mesh without
// points gives a box that overlaps nothing.
FootprintRect placement_box(const std::vector<Vector3>& points, float a, float scale, float px,
                            float py);

// Whether the bake takes (px, py) in landblock space to be on a road: the
// road bits of terrain word cx * 8 + cy for the cell (cx, cy) holding the
// point (a row length of 8 over the 9-vertex columns, as placements have
// always been tested); false for a word beyond the list.
bool on_road(const dat::CellLandblock& landblock, float px, float py);

// True unless one rectangle lies strictly beyond the other on some side;
// rectangles that only touch overlap.
bool rects_overlap(const FootprintRect& box, const FootprintRect& rect);

}  // namespace quillmoor::bake
