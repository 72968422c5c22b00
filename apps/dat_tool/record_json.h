// Every record the readers produce, as JSON for the inspector. Fields come
// in declaration order; keyed map sections are objects sorted by key; file
// ids are "0x"-prefixed hexadecimal strings.
#pragma once

#include "apps/dat_tool/json.h"
#include "quillmoor/dat/gfx_obj.h"
#include "quillmoor/dat/landblock.h"
#include "quillmoor/dat/region.h"
#include "quillmoor/dat/scene.h"
#include "quillmoor/dat/setup_model.h"

namespace quillmoor::dat_tool {

Json to_json(const Vector3& v);
Json to_json(const Quaternion& q);
Json to_json(const dat::Frame& frame);
Json to_json(const Plane& plane);
Json to_json(const Sphere& sphere);

Json to_json(const dat::Region& region);
Json to_json(const dat::Scene& scene);
Json to_json(const dat::ObjectDesc& desc);
Json to_json(const dat::SetupModel& setup);
Json to_json(const dat::GfxObj& gfx);
Json to_json(const dat::BspNode& node);
Json to_json(const dat::CellLandblock& terrain);
Json to_json(const dat::LandblockInfo& info);

}  // namespace quillmoor::dat_tool
