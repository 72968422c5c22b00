// Fuzz target: the bake of one landblock on arbitrary terrain words,
// height codes and descriptors against a small fixed region. The bake
// must finish with placements no further out than the landblock's edges, whatever the numbers
// (NaN, infinities, huge scales and offsets included).
//
// Input layout, little-endian; missing bytes read as 0:
//   0    u16      landblock id
//   2    u8       bit 0: filter by slope with the bilinear height
//   3    81 u16   terrain words
//   165  81 u8    height codes
//   246  ...      up to 4 descriptors of kDescriptorBytes each (below)
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "quillmoor/scenery_bake/bake.h"

namespace {

using quillmoor::Vector3;
namespace dat = quillmoor::dat;
namespace bake = quillmoor::bake;

constexpr std::size_t kTerrainAt = 3;
constexpr std::size_t kHeightAt = kTerrainAt + 2 * 81;
constexpr std::size_t kDescriptorsAt = kHeightAt + 81;
// Per descriptor: obj selector (u32), origin x, y, z, frequency,
// displace_x, displace_y, min_scale, max_scale, max_rotation, min_slope,
// max_slope (floats), skip_flag (u32).
constexpr std::size_t kDescriptorBytes = 13 * 4;
constexpr std::size_t kMaxDescriptors = 4;

// Bytes of the input at `at`, zero past its end.
struct Input {
  std::span<const std::uint8_t> bytes;
  std::uint8_t u8(std::size_t at) const { return at < bytes.size() ? bytes[at] : 0; }
  std::uint16_t u16(std::size_t at) const { return static_cast<std::uint16_t>(u8(at) | (u8(at + 1) << 8)); }
  std::uint32_t u32(std::size_t at) const { return u16(at) | (std::uint32_t{u16(at + 2)} << 16); }
  float f32(std::size_t at) const {
    const std::uint32_t bits = u32(at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
};

// Objects with a mesh: none, one point, a square, a far and a NaN point.
constexpr std::uint32_t kMeshObjects = 5;
const std::array<std::vector<Vector3>, kMeshObjects>& meshes() {
  static const std::array<std::vector<Vector3>, kMeshObjects> m = {
      std::vector<Vector3>{},
      std::vector<Vector3>{{0, 0, 0}},
      std::vector<Vector3>{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}},
      std::vector<Vector3>{{1e30f, -1e30f, 0}, {3, 4, 5}},
      std::vector<Vector3>{{NAN, 0, 0}, {0, NAN, 0}},
  };
  return m;
}

// Four scene types; type 3 has no scene ids. Terrain types 0..29 choose
// among them by scene index, 30 names a scene type that does not exist,
// and 31 none at all.
const dat::Region& region() {
  static const dat::Region r = [] {
    dat::Region out;
    out.land_parameters.land_height_table.resize(256);
    for (std::size_t i = 0; i < 256; ++i) out.land_parameters.land_height_table[i] = 2.0f * static_cast<float>(i);
    out.scene_desc = dat::SceneDesc{};
    for (std::uint32_t k = 0; k < 4; ++k) {
      dat::SceneType type;
      if (k < 3) type.scene_ids = {0x12000000 + 3 * k, 0x12000001 + 3 * k, 0x12000002 + 3 * k};
      out.scene_desc->scene_types.push_back(type);
    }
    for (std::uint32_t t = 0; t < 32; ++t) {
      dat::TerrainType type;
      if (t < 30) type.scene_type_indices = {t % 4, (t + 1) % 4, (t + 2) % 4};
      if (t == 30) type.scene_type_indices = {7};
      out.terrain_desc.terrain_types.push_back(type);
    }
    return out;
  }();
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Input in{std::span<const std::uint8_t>(data, size)};
  const std::uint16_t landblock_id = in.u16(0);
  const bool slope_mode = (in.u8(2) & 1) != 0;

  dat::CellLandblock landblock;
  landblock.id = (std::uint32_t{landblock_id} << 16) | 0xFFFF;
  for (std::size_t k = 0; k < 81; ++k) {
    landblock.terrain.push_back(in.u16(kTerrainAt + 2 * k));
    landblock.height.push_back(in.u8(kHeightAt + k));
  }

  std::vector<dat::ObjectDesc> descriptors;
  for (std::size_t j = 0; j < kMaxDescriptors; ++j) {
    const std::size_t at = kDescriptorsAt + j * kDescriptorBytes;
    if (at >= size) break;
    dat::ObjectDesc d;
    d.obj_id = 0x01000000 + in.u32(at) % (kMeshObjects + 1);  // one past the meshes: no mesh
    d.frame.origin = {in.f32(at + 4), in.f32(at + 8), in.f32(at + 12)};
    d.frequency = in.f32(at + 16);
    d.displace_x = in.f32(at + 20);
    d.displace_y = in.f32(at + 24);
    d.min_scale = in.f32(at + 28);
    d.max_scale = in.f32(at + 32);
    d.max_rotation = in.f32(at + 36);
    d.min_slope = in.f32(at + 40);
    d.max_slope = in.f32(at + 44);
    d.skip_flag = in.u32(at + 48);
    descriptors.push_back(d);
  }

  // Scene 0x12000004 is missing; every other scene holds the descriptors.
  const bake::SceneLookup scene_lookup = [&](std::uint32_t id) -> std::optional<std::vector<dat::ObjectDesc>> {
    if (id == 0x12000004) return std::nullopt;
    return descriptors;
  };
  const bake::MeshLookup mesh_lookup = [](std::uint32_t id) -> const std::vector<Vector3>* {
    const std::uint32_t k = id - 0x01000000;
    return k < kMeshObjects ? &meshes()[k] : nullptr;
  };
  const std::array<bake::FootprintRect, 1> footprints = {bake::FootprintRect{90, 90, 100, 100}};

  const auto placements = bake::bake_landblock_impl(region(), landblock, std::uint32_t{landblock_id} << 16,
                                                    scene_lookup, mesh_lookup, footprints, slope_mode);
  // At most one placement per descriptor and vertex, none beyond the
  // landblock's edges (a NaN position passes the bounds test and is kept).
  if (placements.size() > 81 * descriptors.size()) std::abort();
  for (const auto& p : placements) {
    if (p.x < 0 || p.x > 192 || p.y < 0 || p.y > 192) std::abort();
  }
  return 0;
}
