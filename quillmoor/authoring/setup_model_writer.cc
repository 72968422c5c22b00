#include "quillmoor/authoring/setup_model_writer.h"

#include "quillmoor/common/hex.h"

#include "quillmoor/authoring/math_records_writer.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace quillmoor::authoring {

namespace {

template <class V, class F>
void write_keyed(ByteWriter& out, const SeededHashMap<std::uint32_t, V>& map, F&& write_one) {
  out.u32(static_cast<std::uint32_t>(map.size()));
  for (const std::uint32_t key : sorted_keys(map)) {
    out.u32(key);
    write_one(map.at(key));
  }
}

}  // namespace

void write_location_type(ByteWriter& out, const dat::LocationType& location) {
  out.u32(location.part_id);
  write_frame(out, location.frame);
}

void write_cyl_sphere(ByteWriter& out, const dat::CylSphere& cyl_sphere) {
  write_vector3(out, cyl_sphere.origin);
  out.f32(cyl_sphere.radius).f32(cyl_sphere.height);
}

void write_light_info(ByteWriter& out, const dat::LightInfo& light) {
  write_frame(out, light.viewer_space_location);
  out.u32(light.color).f32(light.intensity).f32(light.falloff).f32(light.cone_angle);
}

void write_animation_hook(ByteWriter& out, const dat::AnimationHook& hook) {
  out.u32(hook.hook_type).u32(hook.hook_param).bytes(hook.payload);
}

dat::AnimationHook make_animation_hook(std::uint32_t hook_type, std::uint32_t hook_param,
                                       std::vector<std::uint8_t> body) {
  dat::AnimationHook hook;
  hook.hook_type = hook_type;
  hook.hook_param = hook_param;
  hook.payload = std::move(body);
  while (hook.payload.size() % 4 != 0) hook.payload.push_back(0);
  return hook;
}

std::optional<std::size_t> expected_hook_payload_size(std::uint32_t hook_type,
                                                      const std::vector<std::uint8_t>& payload) {
  if (hook_type > dat::kMaxAnimationHookType) return std::nullopt;
  if (hook_type != 5) return dat::AnimationHook::kPayloadSize[hook_type];
  if (payload.size() < 3) return std::nullopt;
  const auto value = static_cast<std::uint16_t>(payload[1] | (payload[2] << 8));
  // 3 or 5 payload bytes, padded to 4 or 8.
  return (value & dat::AnimationHook::kType5ExtendedBit) != 0 ? 8 : 4;
}

Result<Ok, std::string> write_placement_type(ByteWriter& out, const dat::PlacementType& placement,
                                             std::uint32_t part_count) {
  if (placement.frames.size() != part_count) {
    return Err{std::string("placement has ") + std::to_string(placement.frames.size()) +
               " frames for " + std::to_string(part_count) + " parts"};
  }
  for (const auto& hook : placement.hooks) {
    const auto expected = expected_hook_payload_size(hook.hook_type, hook.payload);
    if (!expected || *expected != hook.payload.size()) {
      return Err{"animation hook of type " + hex_id(hook.hook_type) + " has a payload of " +
                 std::to_string(hook.payload.size()) + " bytes that a reader would not take"};
    }
  }
  for (const auto& frame : placement.frames) write_frame(out, frame);
  out.u32(static_cast<std::uint32_t>(placement.hooks.size()));
  for (const auto& hook : placement.hooks) write_animation_hook(out, hook);
  return Ok{};
}

Result<std::vector<std::uint8_t>, std::string> write_setup_model(const dat::SetupModel& setup) {
  const std::string who = "SetupModel " + hex_id(setup.id) + ": ";
  const auto part_count = static_cast<std::uint32_t>(setup.parts.size());
  const bool has_values = (setup.flags & dat::SetupModel::kHasPartValues) != 0;
  const bool has_vectors = (setup.flags & dat::SetupModel::kHasPartVectors) != 0;
  if (setup.part_values.size() != (has_values ? part_count : 0)) {
    return Err{who + "part_values does not match parts and flags"};
  }
  if (setup.part_vectors.size() != (has_vectors ? part_count : 0)) {
    return Err{who + "part_vectors does not match parts and flags"};
  }
  if (setup.placements.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return Err{who + "too many placements"};
  }
  for (const auto& linked : setup.linked_ids) {
    if (linked && *linked == 0) return Err{who + "a present linked id of 0 cannot be stored"};
  }

  ByteWriter out;
  out.u32(setup.id).u32(setup.flags).u32(part_count);
  for (const std::uint32_t part : setup.parts) out.u32(part);
  for (const std::uint32_t value : setup.part_values) out.u32(value);
  for (const auto& vector : setup.part_vectors) write_vector3(out, vector);
  write_keyed(out, setup.locations_a, [&](const dat::LocationType& l) { write_location_type(out, l); });
  write_keyed(out, setup.locations_b, [&](const dat::LocationType& l) { write_location_type(out, l); });

  out.i32(static_cast<std::int32_t>(setup.placements.size()));
  for (const std::uint32_t key : sorted_keys(setup.placements)) {
    out.u32(key);
    auto written = write_placement_type(out, setup.placements.at(key), part_count);
    if (!written.ok()) return Err{who + "placement " + std::to_string(key) + ": " + written.error()};
  }

  out.u32(static_cast<std::uint32_t>(setup.cyl_spheres.size()));
  for (const auto& cyl_sphere : setup.cyl_spheres) write_cyl_sphere(out, cyl_sphere);
  out.u32(static_cast<std::uint32_t>(setup.spheres.size()));
  for (const auto& sphere : setup.spheres) write_sphere(out, sphere);
  for (const std::uint32_t param : setup.params) out.u32(param);
  for (const auto& sphere : setup.extra_spheres) write_sphere(out, sphere);
  write_keyed(out, setup.lights, [&](const dat::LightInfo& l) { write_light_info(out, l); });
  for (const auto& linked : setup.linked_ids) out.u32(linked.value_or(0));
  return std::move(out).bytes();
}

}  // namespace quillmoor::authoring
