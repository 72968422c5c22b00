// The sample world's land: rolling hills from layered value noise, a road
// network that runs on across landblock borders, and the terrain types that
// follow height, moisture and woodland. Everything is a pure function of
// the seed and the global vertex position, so neighbouring landblocks meet
// seamlessly.
#pragma once

#include <cstdint>
#include <span>

namespace quillmoor::worldgen {

// Terrain type indices of the sample region.
enum TerrainKind : std::uint16_t {
  kMeadow = 0,
  kForest = 1,
  kScree = 2,
  kMarsh = 3,
  kRoad = 4,
  kHeath = 5,
  kGlade = 6,
  kDune = 7,
  kAsh = 8,
  kNameless = 9,
  kTerrainKindCount = 10,
};

// A 64-bit hash of the seed and up to three values; the generator's only
// source of variety.
std::uint64_t world_hash(std::uint64_t seed, std::uint64_t a, std::uint64_t b = 0, std::uint64_t c = 0);
// The hash as a double in [0, 1).
double unit(std::uint64_t hash);

class TerrainModel {
 public:
  explicit TerrainModel(std::uint64_t seed) : seed_(seed) {}

  // gx, gy: global vertex coordinates (8 per landblock).
  std::uint8_t height_code(int gx, int gy) const;
  // Distance in vertex units from the nearest road's centre line.
  double road_distance(int gx, int gy) const;
  // Road bits of the terrain word (0: no road).
  std::uint16_t road_bits(int gx, int gy) const;
  std::uint16_t terrain_kind(int gx, int gy) const;
  // The whole terrain word: road, terrain type and a scene index within
  // the type's list (`scene_types_per_kind[kind]` entries long).
  std::uint16_t terrain_word(int gx, int gy, std::span<const unsigned> scene_types_per_kind) const;

 private:
  double noise(double x, double y, std::uint64_t layer) const;
  std::uint64_t seed_;
};

}  // namespace quillmoor::worldgen
