// A setup model: an object assembled from graphics-object parts, with its
// per-part values, keyed locations and placement frames, animation hooks,
// collision shapes and lights. Only `parts` is used by the mesh cache; the
// rest is read so that the reader stays in step and is kept as stored.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "quillmoor/common/math.h"
#include "quillmoor/common/seeded_hash_map.h"
#include "quillmoor/dat/bin_reader.h"
#include "quillmoor/dat/math_records.h"

namespace quillmoor::dat {

// A part-relative location; 32 bytes.
struct LocationType {
  std::uint32_t part_id = 0;
  Frame frame;

  static constexpr std::size_t kSize = 32;
  static BinResult<LocationType> read(BinReader& reader);
};

// An upright collision cylinder; 20 bytes.
struct CylSphere {
  Vector3 origin;
  float radius = 0;
  float height = 0;

  static constexpr std::size_t kSize = 20;
  static BinResult<CylSphere> read(BinReader& reader);
};

// A light attached to the model; 44 bytes.
struct LightInfo {
  Frame viewer_space_location;
  std::uint32_t color = 0;
  float intensity = 0;
  float falloff = 0;
  float cone_angle = 0;

  static constexpr std::size_t kSize = 44;
  static BinResult<LightInfo> read(BinReader& reader);
};

// The largest animation hook type the format knows.
inline constexpr std::uint32_t kMaxAnimationHookType = 26;

// An animation hook, kept uninterpreted: its type, the 32-bit value every
// hook carries, and the payload bytes exactly as stored, including the
// padding that rounds the hook up to a multiple of 4 bytes.
struct AnimationHook {
  std::vector<std::uint8_t> payload;
  std::uint32_t hook_type = 0;
  std::uint32_t hook_param = 0;

  // Payload length of every type but 5 (whose payload is 3 or 5 bytes,
  // decided by the top bit of its 16-bit value), indexed by type.
  static constexpr std::array<std::uint8_t, kMaxAnimationHookType + 1> kPayloadSize = {
      0, 4, 4, 28, 0, 0, 4, 16, 12, 16, 12, 16, 8, 40,  // types 0..13 (5 is variable)
      4, 4, 4, 0, 4, 8, 12, 16, 12, 8, 12, 4, 40,       // types 14..26
  };
  // Type 5 carries one byte, a 16-bit value and, when that value has this
  // bit set, a second 16-bit value.
  static constexpr std::uint16_t kType5ExtendedBit = 0x8000;

  // Fails on a type above 26 with "Unsupported AnimationHook type:
  // 0x{:08X}" at the position just behind `hook_param`.
  static BinResult<AnimationHook> read(BinReader& reader);
};

// One placement of a setup: a frame per part, then the animation hooks.
struct PlacementType {
  std::vector<Frame> frames;  // exactly part_count long
  std::vector<AnimationHook> hooks;

  // `part_count` alone decides how many frames are read.
  static BinResult<PlacementType> read(BinReader& reader, std::uint32_t part_count);
};

struct SetupModel {
  // Bits of `flags` that add per-part sections.
  static constexpr std::uint32_t kHasPartValues = 0x1;
  static constexpr std::uint32_t kHasPartVectors = 0x2;

  std::uint32_t id = 0;
  std::uint32_t flags = 0;
  std::vector<std::uint32_t> parts;  // graphics object file ids, file order
  std::vector<std::uint32_t> part_values;
  std::vector<Vector3> part_vectors;
  SeededHashMap<std::uint32_t, LocationType> locations_a;
  SeededHashMap<std::uint32_t, LocationType> locations_b;
  SeededHashMap<std::uint32_t, PlacementType> placements;
  std::vector<CylSphere> cyl_spheres;
  std::vector<Sphere> spheres;
  std::array<std::uint32_t, 4> params{};  // carried as raw 32-bit values
  std::array<Sphere, 2> extra_spheres{};
  SeededHashMap<std::uint32_t, LightInfo> lights;
  std::array<std::optional<std::uint32_t>, 5> linked_ids{};  // stored 0 = absent

  // Reads a whole setup model file. A negative placement count fails with
  // "SetupModel 0x{:08X} declared negative placement count {}" at the
  // position just behind the count.
  static BinResult<SetupModel> unpack(BinReader& reader);
};

}  // namespace quillmoor::dat
