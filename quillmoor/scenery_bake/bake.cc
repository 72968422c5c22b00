#include "quillmoor/scenery_bake/bake.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>

#include "quillmoor/scenery_bake/float_to_int.h"
#include "quillmoor/scenery_bake/height.h"

namespace quillmoor::bake {
namespace {

// The double nearest to 2.3283064e-10, a little below 2^-32, so that the
// noise never reaches 1.
constexpr double kNoiseScale = std::bit_cast<double>(std::uint64_t{0x3DEFFFFFF79322D5});
// Degrees to radians as the float nearest to 0.0174533, widened; slightly
// above pi/180.
constexpr double kDegreesToRadians = static_cast<double>(std::bit_cast<float>(std::uint32_t{0x3C8EFA39}));

constexpr float kCellSize = 24.0f;
constexpr float kLandblockSize = 192.0f;

// Terrain word index of the road test. The row length is 8 although the
// grid has 9 vertices per column: a position in cell (1, 0) tests word 8.
// Kept as it is, since placements depend on it.
constexpr std::int64_t kRoadRowLength = 8;

// The scene ids of a vertex's terrain word, or nullptr when the word's
// terrain type, scene index or scene type is out of range or names no ids.
const std::vector<std::uint32_t>* scene_ids_for(const dat::Region& region, std::uint16_t word) {
  const std::vector<dat::TerrainType>& types = region.terrain_desc.terrain_types;
  const std::size_t t = dat::terrain_type(word);
  if (t >= types.size()) return nullptr;
  const std::size_t s = dat::terrain_scene_index(word);
  const std::vector<std::uint32_t>& indices = types[t].scene_type_indices;
  if (s >= indices.size()) return nullptr;
  const std::size_t k = indices[s];
  const std::vector<dat::SceneType>& scene_types = region.scene_desc->scene_types;
  if (k >= scene_types.size()) return nullptr;
  const std::vector<std::uint32_t>& ids = scene_types[k].scene_ids;
  if (ids.empty()) return nullptr;
  return &ids;
}

}  // namespace

bool on_road(const dat::CellLandblock& landblock, float px, float py) {
  const std::int64_t cx = saturating_to_i32(std::floor(px / kCellSize));
  const std::int64_t cy = saturating_to_i32(std::floor(py / kCellSize));
  const std::int64_t r = cx * kRoadRowLength + cy;
  if (r < 0 || r >= static_cast<std::int64_t>(landblock.terrain.size())) return false;
  return dat::terrain_road(landblock.terrain[static_cast<std::size_t>(r)]) != 0;
}

double hash_noise(std::uint32_t h) { return static_cast<double>(h) * kNoiseScale; }

VertexNoise vertex_noise(std::uint32_t gx, std::uint32_t gy) {
  VertexNoise v{};
  v.hs = (gx * 0x2A7F2B89u + 0x6C1AC587u) * gy + gx * 0xBDE41C43u + 0x7F8CDA01u;
  v.hb = gx * 0xBDE41C43u + gy * 0x6C1AC587u;
  v.nf = hash_noise(v.hb + gx * gy * 0x12A1D1D7u + 0xF4D7C05Fu);
  v.m = gx * gy * 0xAEEE4011u + 0x8F76D049u;
  v.nq = hash_noise(gy * 0x6C1AC587u + gx * (gy * 0x9084269Bu + 0xBDE41C43u) + 0xE8031203u);
  return v;
}

double descriptor_noise(const VertexNoise& vertex, std::uint32_t j, std::uint32_t salt) {
  return hash_noise((j + salt) * vertex.m + vertex.hb);
}

FootprintRect placement_box(const std::vector<Vector3>& points, float a, float scale, float px,
                            float py) {
  const float inf = std::numeric_limits<float>::infinity();
  FootprintRect box{inf, inf, -inf, -inf};
  const float sa = std::sin(a);
  const float ca = std::cos(a);
  for (const Vector3& p : points) {
    const float su = p.x * scale;
    const float sv = p.y * scale;
    const float ca_su = ca * su;
    const float sa_sv = sa * sv;
    const float rx = ca_su - sa_sv;
    const float wx = rx + px;
    const float sa_su = sa * su;
    const float ca_sv = ca * sv;
    const float ry = sa_su + ca_sv;
    const float wy = ry + py;
    if (wx < box.min_x) box.min_x = wx;
    if (wy < box.min_y) box.min_y = wy;
    if (box.max_x < wx) box.max_x = wx;
    if (box.max_y < wy) box.max_y = wy;
  }
  return box;
}

bool rects_overlap(const FootprintRect& box, const FootprintRect& rect) {
  return !(rect.min_x > box.max_x || box.min_x > rect.max_x || rect.min_y > box.max_y ||
           box.min_y > rect.max_y);
}

std::vector<SceneryPlacement> bake_landblock_impl(const dat::Region& region,
                                                  const dat::CellLandblock& landblock,
                                                  std::uint32_t base, const SceneLookup& scene_lookup,
                                                  const MeshLookup& mesh_lookup,
                                                  std::span<const FootprintRect> footprints,
                                                  bool bilinear_with_slope) {
  std::vector<SceneryPlacement> placements;
  if (!region.scene_desc.has_value()) return placements;
  std::vector<FootprintRect> boxes;

  const HeightGrid heights = vertex_heights(region, landblock);
  const std::uint32_t lx = base >> 24;
  const std::uint32_t ly = (base >> 16) & 0xFFu;
  const auto landblock_id = static_cast<std::uint16_t>(base >> 16);

  const std::size_t vertex_count = landblock.terrain.size();
  for (std::size_t i = 0; i < vertex_count; ++i) {
    const std::uint16_t word = landblock.terrain[i];
    const auto vx = static_cast<std::uint32_t>(i / 9);
    const auto vy = static_cast<std::uint32_t>(i % 9);
    const std::vector<std::uint32_t>* ids = scene_ids_for(region, word);
    if (ids == nullptr) continue;

    const std::uint32_t gx = 8u * lx + vx;
    const std::uint32_t gy = 8u * ly + vy;
    const VertexNoise noise = vertex_noise(gx, gy);

    const double pick = static_cast<double>(ids->size()) * hash_noise(noise.hs);
    std::uint64_t idx = saturating_to_u64(pick);
    if (idx >= ids->size()) idx = 0;
    const std::uint32_t scene_id = (*ids)[static_cast<std::size_t>(idx)];

    const std::optional<std::vector<dat::ObjectDesc>> descriptors = scene_lookup(scene_id);
    if (!descriptors.has_value() || descriptors->empty()) continue;

    const float bx = kCellSize * static_cast<float>(vx);
    const float by = kCellSize * static_cast<float>(vy);

    for (std::size_t jj = 0; jj < descriptors->size(); ++jj) {
      const dat::ObjectDesc& d = (*descriptors)[jj];
      const auto j = static_cast<std::uint32_t>(jj);

      if (!(static_cast<double>(d.frequency) > noise.nf)) continue;
      if (d.skip_flag != 0) continue;

      float x = d.frame.origin.x;
      float y = d.frame.origin.y;
      if (d.displace_x > 0.0f) {
        const double shift = static_cast<double>(d.displace_x) * descriptor_noise(noise, j, kSaltDisplaceX);
        x = static_cast<float>(static_cast<double>(x) + shift);
      }
      if (d.displace_y > 0.0f) {
        const double shift = static_cast<double>(d.displace_y) * descriptor_noise(noise, j, kSaltDisplaceY);
        y = static_cast<float>(static_cast<double>(y) + shift);
      }

      // Quarter turn about the vertex, the same for every descriptor.
      if (noise.nq >= 0.75) {
        const float ox = x;
        x = y;
        y = -ox;
      } else if (noise.nq >= 0.5) {
        x = -x;
        y = -y;
      } else if (noise.nq >= 0.25) {
        const float ox = x;
        x = -y;
        y = ox;
      }

      const float px = x + bx;
      const float py = y + by;
      // NaN passes this test and is carried on deterministically.
      if (px < 0.0f || px > kLandblockSize || py < 0.0f || py > kLandblockSize) continue;
      if (on_road(landblock, px, py)) continue;

      float z;
      if (bilinear_with_slope) {
        const float slope = slope_at(heights, px, py);
        if (d.min_slope > slope || slope > d.max_slope) continue;
        z = bilinear_height_from_grid(heights, px, py);
      } else {
        z = triangle_plane_height_from_grid(heights, landblock_id, px, py);
      }

      float a = 0.0f;
      if (!(d.max_rotation <= 0.0f)) {
        const double turn = static_cast<double>(d.max_rotation) * descriptor_noise(noise, j, kSaltRotation);
        a = static_cast<float>(turn * kDegreesToRadians);
      }
      const float half = a * 0.5f;
      const float qw = std::cos(half);
      const float qz = std::sin(half);

      float scale;
      if (d.min_scale == d.max_scale) {
        scale = d.max_scale;
      } else {
        const double ratio = static_cast<double>(d.max_scale) / static_cast<double>(d.min_scale);
        const double grown = std::pow(ratio, descriptor_noise(noise, j, kSaltScale));
        scale = static_cast<float>(grown * static_cast<double>(d.min_scale));
      }

      const std::vector<Vector3>* points = mesh_lookup(d.obj_id);
      if (points == nullptr) continue;
      const FootprintRect box = placement_box(*points, a, scale, px, py);

      bool blocked = false;
      for (const FootprintRect& rect : footprints) {
        if (rects_overlap(box, rect)) {
          blocked = true;
          break;
        }
      }
      if (!blocked) {
        for (const FootprintRect& earlier : boxes) {
          if (rects_overlap(box, earlier)) {
            blocked = true;
            break;
          }
        }
      }
      if (blocked) continue;

      boxes.push_back(box);
      placements.push_back(SceneryPlacement{d.obj_id, px, py, z, qw, 0.0f, 0.0f, qz, scale, vx, vy, j});
    }
  }
  return placements;
}

}  // namespace quillmoor::bake
