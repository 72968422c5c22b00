#include "apps/worldgen/terrain.h"

#include <algorithm>
#include <cmath>

#include "quillmoor/common/seeded_hash_map.h"

namespace quillmoor::worldgen {

std::uint64_t world_hash(std::uint64_t seed, std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  std::uint64_t h = mix64(seed ^ 0x5175696C6C6D6F72ull);
  h = mix64(h ^ a);
  h = mix64(h ^ (b * 0x9E3779B97F4A7C15ull));
  return mix64(h ^ (c * 0xC2B2AE3D27D4EB4Full));
}

double unit(std::uint64_t hash) { return static_cast<double>(hash >> 11) * 0x1.0p-53; }

namespace {

double smooth(double t) { return t * t * (3.0 - 2.0 * t); }

// Distance from `v` to the nearest multiple of `period` shifted by `offset`.
double periodic_distance(double v, double period, double offset) {
  const double r = std::fmod(v - offset, period);
  const double m = r < 0 ? r + period : r;
  return std::min(m, period - m);
}

}  // namespace

double TerrainModel::noise(double x, double y, std::uint64_t layer) const {
  const double fx = std::floor(x), fy = std::floor(y);
  const auto ix = static_cast<std::int64_t>(fx), iy = static_cast<std::int64_t>(fy);
  const double tx = smooth(x - fx), ty = smooth(y - fy);
  const auto at = [&](std::int64_t i, std::int64_t j) {
    return unit(world_hash(seed_, layer, static_cast<std::uint64_t>(i), static_cast<std::uint64_t>(j)));
  };
  const double a = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * tx;
  const double b = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * tx;
  return a + (b - a) * ty;
}

std::uint8_t TerrainModel::height_code(int gx, int gy) const {
  const double x = gx, y = gy;
  double h = 30.0 + 150.0 * noise(x / 48.0, y / 48.0, 1) + 50.0 * noise(x / 13.0, y / 13.0, 2) +
             10.0 * noise(x / 4.0, y / 4.0, 3);
  // Roads are graded: the land flattens towards them.
  const double d = road_distance(gx, gy);
  if (d < 3.0) h = h * (0.85 + 0.05 * d);
  return static_cast<std::uint8_t>(std::clamp(std::lround(h), 0L, 255L));
}

double TerrainModel::road_distance(int gx, int gy) const {
  const double x = gx, y = gy;
  // An east-west and a north-south road every 256 vertices, each winding
  // gently, and a diagonal road every 512.
  const double east_west = periodic_distance(y + 4.0 * std::sin(x / 19.0), 256.0, 160.0);
  const double north_south = periodic_distance(x + 3.0 * std::sin(y / 23.0), 256.0, 70.0);
  const double diagonal = periodic_distance((x - y) + 5.0 * std::sin((x + y) / 31.0), 512.0, 40.0) / std::sqrt(2.0);
  return std::min({east_west, north_south, diagonal});
}

std::uint16_t TerrainModel::road_bits(int gx, int gy) const {
  const double d = road_distance(gx, gy);
  if (d >= 0.75) return 0;
  // Wider stretches carry other road bits; every nonzero value is road.
  return static_cast<std::uint16_t>(1 + world_hash(seed_, 7, static_cast<std::uint64_t>(gx) / 8,
                                                   static_cast<std::uint64_t>(gy) / 8) % 3);
}

std::uint16_t TerrainModel::terrain_kind(int gx, int gy) const {
  if (road_bits(gx, gy) != 0) return kRoad;
  const int h = height_code(gx, gy);
  const double x = gx, y = gy;
  const double moisture = noise(x / 29.0, y / 29.0, 11);
  const double woods = noise(x / 17.0, y / 17.0, 12);
  const std::uint64_t rare = world_hash(seed_, 13, static_cast<std::uint64_t>(gx), static_cast<std::uint64_t>(gy)) % 97;
  if (rare == 0) return kAsh;
  if (rare == 1) return kDune;
  if (rare == 2) return kNameless;
  if (h > 185) return kScree;
  if (h < 95 && moisture > 0.55) return kMarsh;
  if (woods > 0.58) return kForest;
  if (woods > 0.52) return kGlade;
  if (moisture < 0.3) return kHeath;
  return kMeadow;
}

std::uint16_t TerrainModel::terrain_word(int gx, int gy, std::span<const unsigned> scene_types_per_kind) const {
  const std::uint16_t road = road_bits(gx, gy);
  const std::uint16_t kind = terrain_kind(gx, gy);
  const unsigned scene_type_count = kind < scene_types_per_kind.size() ? scene_types_per_kind[kind] : 0;
  const std::uint64_t pick = world_hash(seed_, 17, static_cast<std::uint64_t>(gx), static_cast<std::uint64_t>(gy));
  // Now and then a scene index beyond the type's list, which selects nothing.
  const unsigned scene_index =
      pick % 211 == 0 ? 31u : static_cast<unsigned>(scene_type_count == 0 ? 0 : pick % scene_type_count);
  // Bits 7-10 are unused by the bake; the world fills them anyway.
  const auto unused = static_cast<std::uint16_t>((pick >> 20) & 0xF);
  return static_cast<std::uint16_t>(road | (kind << 2) | (unused << 7) | (scene_index << 11));
}

}  // namespace quillmoor::worldgen
