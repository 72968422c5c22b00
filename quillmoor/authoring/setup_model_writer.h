// Writes setup models back to their file bytes, exactly in the layout the
// reader expects. Keyed sections are written sorted by key, so the same
// record always gives the same bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"
#include "quillmoor/common/result.h"
#include "quillmoor/dat/setup_model.h"

namespace quillmoor::authoring {

void write_location_type(ByteWriter& out, const dat::LocationType& location);
void write_cyl_sphere(ByteWriter& out, const dat::CylSphere& cyl_sphere);
void write_light_info(ByteWriter& out, const dat::LightInfo& light);
// Type, param, then the payload exactly as stored (padding included).
void write_animation_hook(ByteWriter& out, const dat::AnimationHook& hook);

// A hook whose payload is `body` followed by the zero padding that makes
// the hook a multiple of 4 bytes long, as a reader would produce it.
dat::AnimationHook make_animation_hook(std::uint32_t hook_type, std::uint32_t hook_param,
                                       std::vector<std::uint8_t> body);

// The payload length (padding included) a reader takes for a hook of this
// type whose payload begins with `payload`; empty when the type is not
// accepted or the payload is too short to decide (type 5).
std::optional<std::size_t> expected_hook_payload_size(std::uint32_t hook_type,
                                                      const std::vector<std::uint8_t>& payload);

// Fails when a hook's type is not accepted or its payload length is not
// the one a reader would take, or when `frames` is not `part_count` long.
Result<Ok, std::string> write_placement_type(ByteWriter& out, const dat::PlacementType& placement,
                                             std::uint32_t part_count);

// The whole file. Fails when `part_values` / `part_vectors` are not
// `parts.size()` long while their flag is set (or not empty while it is
// clear), or when a placement fails as above. Present linked ids must not
// be 0 (a stored 0 reads back as absent).
Result<std::vector<std::uint8_t>, std::string> write_setup_model(const dat::SetupModel& setup);

}  // namespace quillmoor::authoring
