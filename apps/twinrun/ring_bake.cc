#include "apps/twinrun/ring_bake.h"

#include <cmath>
#include <limits>

#include "apps/twinrun/placement_line.h"

namespace quillmoor::twinrun {

bake::FootprintRect building_footprint(const dat::Frame& frame, const LocalMesh& mesh) {
  const float half = atan2f(frame.orientation.z, frame.orientation.w);
  const float heading = half + half;
  const float s = sinf(heading);
  const float c = cosf(heading);
  constexpr float kInf = std::numeric_limits<float>::infinity();
  bake::FootprintRect rect{kInf, kInf, -kInf, -kInf};
  for (const Vector3& p : mesh) {
    const float pxc = p.x * c;
    const float pys = p.y * s;
    const float rx = pxc - pys;
    const float pyc = p.y * c;
    const float pxs = p.x * s;
    const float ry = pyc + pxs;
    const float wx = rx + frame.origin.x;
    const float wy = ry + frame.origin.y;
    if (wx < rect.min_x) rect.min_x = wx;
    if (wy < rect.min_y) rect.min_y = wy;
    if (rect.max_x < wx) rect.max_x = wx;
    if (rect.max_y < wy) rect.max_y = wy;
  }
  return rect;
}

namespace {

std::optional<dat::CellLandblock> load_terrain(const dat::DatDatabase& cell, std::uint16_t lb) {
  auto bytes = cell.get_file(dat::terrain_file_id(lb));
  if (!bytes.ok()) return std::nullopt;
  auto terrain = dat::CellLandblock::unpack(*bytes);
  if (!terrain.ok()) return std::nullopt;
  return std::move(terrain).value();
}

}  // namespace

LandblockBake bake_one_landblock(const dat::Region& region, const dat::DatDatabase& portal,
                                 const dat::DatDatabase& cell, SceneCache& scenes, MeshCache& meshes,
                                 std::uint16_t landblock, bool bilinear_with_slope) {
  LandblockBake out;
  out.landblock = landblock;
  out.terrain = load_terrain(cell, landblock);
  if (!out.terrain) return out;

  if (auto info_bytes = cell.get_file(dat::info_file_id(landblock)); info_bytes.ok()) {
    if (auto info = dat::LandblockInfo::unpack(*info_bytes); info.ok()) {
      for (const dat::BuildInfo& building : info->buildings) {
        if (const LocalMesh* mesh = meshes.lookup(portal, building.model_id)) {
          out.footprints.push_back(building_footprint(building.frame, *mesh));
        }
      }
    }
  }

  const bake::SceneLookup scene_lookup =
      [&](std::uint32_t scene_id) -> std::optional<std::vector<dat::ObjectDesc>> {
    auto scene = scenes.lookup(portal, scene_id);
    if (!scene) return std::nullopt;
    return std::move(scene->objects);
  };
  const bake::MeshLookup mesh_lookup = [&](std::uint32_t object_id) {
    return meshes.lookup(portal, object_id);
  };
  out.placements = bake::bake_landblock_impl(region, *out.terrain, std::uint32_t{landblock} << 16,
                                             scene_lookup, mesh_lookup, out.footprints,
                                             bilinear_with_slope);
  return out;
}

RunResult bake_ring_to_lines(const dat::Region& region, const dat::DatDatabase& portal,
                             const dat::DatDatabase& cell, std::span<const std::uint16_t> landblocks) {
  MeshCache meshes;
  SceneCache scenes;
  RunResult result;
  result.reserve(landblocks.size());
  for (const std::uint16_t lb : landblocks) {
    const LandblockBake baked =
        bake_one_landblock(region, portal, cell, scenes, meshes, lb, /*bilinear_with_slope=*/false);
    LandblockLines& entry = result.emplace_back(LandblockLines{lb, {}});
    entry.lines.reserve(baked.placements.size());
    for (const auto& placement : baked.placements) entry.lines.push_back(placement_line(placement));
  }
  return result;
}

}  // namespace quillmoor::twinrun
