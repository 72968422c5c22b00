#include "quillmoor/dat/setup_model.h"

#include <cstdio>
#include <string>

#include "quillmoor/dat/primitives.h"

namespace quillmoor::dat {

BinResult<LocationType> LocationType::read(BinReader& reader) {
  Record rec(reader, "LocationType");
  LocationType out;
  QM_ASSIGN_OR_RETURN(out.part_id, rec.u32("part_id"));
  QM_ASSIGN_OR_RETURN(out.frame, rec.field("frame", [&] { return read_frame(reader); }));
  return out;
}

BinResult<CylSphere> CylSphere::read(BinReader& reader) {
  Record rec(reader, "CylSphere");
  CylSphere out;
  QM_ASSIGN_OR_RETURN(out.origin, rec.field("origin", [&] { return read_vector3(reader); }));
  QM_ASSIGN_OR_RETURN(out.radius, rec.f32("radius"));
  QM_ASSIGN_OR_RETURN(out.height, rec.f32("height"));
  return out;
}

BinResult<LightInfo> LightInfo::read(BinReader& reader) {
  Record rec(reader, "LightInfo");
  LightInfo out;
  QM_ASSIGN_OR_RETURN(out.viewer_space_location,
                      rec.field("viewer_space_location", [&] { return read_frame(reader); }));
  QM_ASSIGN_OR_RETURN(out.color, rec.u32("color"));
  QM_ASSIGN_OR_RETURN(out.intensity, rec.f32("intensity"));
  QM_ASSIGN_OR_RETURN(out.falloff, rec.f32("falloff"));
  QM_ASSIGN_OR_RETURN(out.cone_angle, rec.f32("cone_angle"));
  return out;
}

namespace {

void append(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

BinResult<AnimationHook> AnimationHook::read(BinReader& reader) {
  const std::uint64_t start = reader.position();
  AnimationHook out;
  QM_ASSIGN_OR_RETURN(out.hook_type, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.hook_param, reader.read_u32());
  if (out.hook_type > kMaxAnimationHookType) {
    char message[64];
    std::snprintf(message, sizeof message, "Unsupported AnimationHook type: 0x%08X",
                  static_cast<unsigned>(out.hook_type));
    return Err{BinError::custom(message, reader.position())};
  }
  if (out.hook_type == 5) {
    QM_ASSIGN_OR_RETURN(auto head, reader.read_bytes(3));  // one byte, then a 16-bit value
    append(out.payload, head);
    const auto value = static_cast<std::uint16_t>(head[1] | (head[2] << 8));
    if ((value & kType5ExtendedBit) != 0) {
      QM_ASSIGN_OR_RETURN(auto extra, reader.read_bytes(2));
      append(out.payload, extra);
    }
  } else {
    QM_ASSIGN_OR_RETURN(auto body, reader.read_bytes(kPayloadSize[out.hook_type]));
    append(out.payload, body);
  }
  // Pad the whole hook to a multiple of 4 bytes; the padding joins the
  // payload. Only type 5 ever needs any.
  const std::uint64_t padding = (start - reader.position()) & 3;
  if (padding != 0) {
    QM_ASSIGN_OR_RETURN(auto pad, reader.read_bytes(padding));
    append(out.payload, pad);
  }
  return out;
}

BinResult<PlacementType> PlacementType::read(BinReader& reader, std::uint32_t part_count) {
  PlacementType out;
  QM_ASSIGN_OR_RETURN(out.frames,
                      read_counted<Frame>(reader, part_count, 28, [&] { return read_frame(reader); }));
  QM_ASSIGN_OR_RETURN(const std::uint32_t hook_count, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.hooks, read_counted<AnimationHook>(reader, hook_count, 8, [&] {
                        return AnimationHook::read(reader);
                      }));
  return out;
}

namespace {

// A 32-bit count, then that many (32-bit key, record) entries; a later
// entry with the same key replaces the earlier one.
template <class T, class F>
BinResult<Ok> read_keyed(BinReader& reader, std::uint64_t count,
                         SeededHashMap<std::uint32_t, T>& map, F&& read_one) {
  for (std::uint64_t i = 0; i < count; ++i) {
    QM_ASSIGN_OR_RETURN(const std::uint32_t key, reader.read_u32());
    QM_ASSIGN_OR_RETURN(T value, read_one());
    map.put(key, std::move(value));
  }
  return Ok{};
}

}  // namespace

BinResult<SetupModel> SetupModel::unpack(BinReader& reader) {
  SetupModel out;
  QM_ASSIGN_OR_RETURN(out.id, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.flags, reader.read_u32());
  QM_ASSIGN_OR_RETURN(const std::uint32_t part_count, reader.read_u32());
  auto read_u32 = [&] { return reader.read_u32(); };
  QM_ASSIGN_OR_RETURN(out.parts, read_counted<std::uint32_t>(reader, part_count, 4, read_u32));
  if ((out.flags & kHasPartValues) != 0) {
    QM_ASSIGN_OR_RETURN(out.part_values, read_counted<std::uint32_t>(reader, part_count, 4, read_u32));
  }
  if ((out.flags & kHasPartVectors) != 0) {
    QM_ASSIGN_OR_RETURN(out.part_vectors, read_counted<Vector3>(reader, part_count, 12, [&] {
                          return read_vector3(reader);
                        }));
  }

  auto read_location = [&] { return LocationType::read(reader); };
  QM_ASSIGN_OR_RETURN(const std::uint32_t locations_a_count, reader.read_u32());
  QM_TRY(read_keyed(reader, locations_a_count, out.locations_a, read_location));
  QM_ASSIGN_OR_RETURN(const std::uint32_t locations_b_count, reader.read_u32());
  QM_TRY(read_keyed(reader, locations_b_count, out.locations_b, read_location));

  QM_ASSIGN_OR_RETURN(const std::int32_t placement_count, reader.read_i32());
  if (placement_count < 0) {
    char message[96];
    std::snprintf(message, sizeof message, "SetupModel 0x%08X declared negative placement count %d",
                  static_cast<unsigned>(out.id), static_cast<int>(placement_count));
    return Err{BinError::custom(message, reader.position())};
  }
  QM_TRY(read_keyed(reader, static_cast<std::uint64_t>(placement_count), out.placements,
                    [&] { return PlacementType::read(reader, part_count); }));

  QM_ASSIGN_OR_RETURN(const std::uint32_t cyl_sphere_count, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.cyl_spheres, read_counted<CylSphere>(reader, cyl_sphere_count, CylSphere::kSize,
                                                                [&] { return CylSphere::read(reader); }));
  QM_ASSIGN_OR_RETURN(const std::uint32_t sphere_count, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.spheres, read_counted<Sphere>(reader, sphere_count, 16,
                                                         [&] { return read_sphere(reader); }));

  for (auto& param : out.params) {
    QM_ASSIGN_OR_RETURN(param, reader.read_u32());
  }
  for (auto& sphere : out.extra_spheres) {
    QM_ASSIGN_OR_RETURN(sphere, read_sphere(reader));
  }

  QM_ASSIGN_OR_RETURN(const std::uint32_t light_count, reader.read_u32());
  QM_TRY(read_keyed(reader, light_count, out.lights, [&] { return LightInfo::read(reader); }));

  for (auto& linked : out.linked_ids) {
    QM_ASSIGN_OR_RETURN(const std::uint32_t value, reader.read_u32());
    if (value != 0) linked = value;
  }
  return out;
}

}  // namespace quillmoor::dat
