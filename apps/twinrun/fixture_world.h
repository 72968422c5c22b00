// Test support: small archives built in code for the tool's tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

#include "quillmoor/authoring/archive_writer.h"
#include "quillmoor/authoring/gfx_obj_writer.h"
#include "quillmoor/authoring/landblock_writer.h"
#include "quillmoor/authoring/region_writer.h"
#include "quillmoor/authoring/scene_writer.h"
#include "quillmoor/authoring/setup_model_writer.h"
#include "quillmoor/dat/gfx_obj.h"
#include "quillmoor/dat/region.h"
#include "quillmoor/dat/scene.h"
#include "quillmoor/dat/setup_model.h"

namespace quillmoor::twinrun::testing {

inline constexpr std::uint32_t kPointGfx = 0x01000001;  // one vertex at (1, 0, 0)
inline constexpr std::uint32_t kScene = 0x12000002;
inline constexpr std::uint16_t kExampleLandblock = 0xA9B4;

// The graphics object whose vertices are `points`, ids 0, 1, 2, ...
inline std::vector<std::uint8_t> gfx_with_points(std::uint32_t id, const std::vector<Vector3>& points,
                                                 std::uint32_t vertex_type = 1) {
  dat::GfxObj g;
  g.id = id;
  g.vertex_array.vertex_type = vertex_type;
  for (std::size_t k = 0; k < points.size() && vertex_type == 1; ++k) {
    dat::SWVertex v;
    v.origin = points[k];
    g.vertex_array.vertices.put(static_cast<std::uint16_t>(k), std::move(v));
  }
  authoring::GfxObjWriteOptions options;
  options.unused_vertex_count = static_cast<std::uint32_t>(points.size());
  return std::move(authoring::write_gfx_obj(g, options)).value();
}

inline std::vector<std::uint8_t> setup_with_parts(std::uint32_t id, std::vector<std::uint32_t> parts) {
  dat::SetupModel s;
  s.id = id;
  s.parts = std::move(parts);
  return std::move(authoring::write_setup_model(s)).value();
}

// A descriptor placed at every vertex that chooses it: the worked example's
// descriptor (frequency 1, origin (12, 12), displacement 6, scale 1..2, a
// full turn of rotation).
inline dat::ObjectDesc example_desc(std::uint32_t model = kPointGfx) {
  dat::ObjectDesc d;
  d.obj_id = model;
  d.frame.origin = {12.0f, 12.0f, 0.0f};
  d.frame.orientation = {1.0f, 0.0f, 0.0f, 0.0f};
  d.frequency = 1.0f;
  d.displace_x = 6.0f;
  d.displace_y = 6.0f;
  d.min_scale = 1.0f;
  d.max_scale = 2.0f;
  d.max_rotation = 360.0f;
  return d;
}

// Terrain type 0 maps to scene type 0, whose three scene ids are chosen by
// hash; terrain type 1 maps to nothing.
inline dat::Region example_region() {
  dat::Region r;
  r.id = dat::kRegionFileId;
  r.land_parameters.land_height_table.assign(256, 0.0f);
  r.section_mask = dat::kRegionHasScene;
  r.scene_desc = dat::SceneDesc{{dat::SceneType{0, {0x120000F1, kScene, 0x120000F3}}}};
  r.terrain_desc.terrain_types = {dat::TerrainType{"Grass", 0, {0}}, dat::TerrainType{"Bare", 0, {}}};
  return r;
}

// All heights 0; only vertex 40 (x 4, y 4) has the terrain type with scenery.
inline dat::CellLandblock example_terrain(std::uint16_t lb = kExampleLandblock) {
  dat::CellLandblock t;
  t.id = dat::terrain_file_id(lb);
  t.terrain.assign(81, std::uint16_t{1 << 2});
  t.terrain[40] = 0;
  t.height.assign(81, 0);
  return t;
}

// What the example landblock bakes to.
inline constexpr const char* kExampleLine =
    "{\"obj_id\":\"0x01000001\",\"x\":110.870834,\"y\":82.002731,\"z\":0.000000,\"qw\":0.803834,"
    "\"qx\":0.000000,\"qy\":0.000000,\"qz\":0.594853,\"scale\":1.337429,\"source_cell_x\":4,"
    "\"source_cell_y\":4,\"source_obj_idx\":0}";

// Files by id; write() stores them as an archive.
struct ArchiveFixture {
  std::map<std::uint32_t, std::vector<std::uint8_t>> files;

  void write(const std::filesystem::path& path, std::uint32_t block_size = 256) const {
    std::vector<authoring::ArchiveFile> list;
    for (const auto& [id, bytes] : files) list.push_back(authoring::ArchiveFile{id, bytes});
    authoring::ArchiveOptions options;
    options.block_size = block_size;
    (void)authoring::write_archive(path, list, options);
  }
};

inline ArchiveFixture example_portal() {
  ArchiveFixture portal;
  portal.files[dat::kRegionFileId] = authoring::write_region(example_region());
  portal.files[kScene] = authoring::write_scene(dat::Scene{kScene, {example_desc()}});
  portal.files[kPointGfx] = gfx_with_points(kPointGfx, {{1.0f, 0.0f, 0.0f}});
  return portal;
}

inline ArchiveFixture example_cell() {
  ArchiveFixture cell;
  cell.files[dat::terrain_file_id(kExampleLandblock)] = authoring::write_cell_landblock(example_terrain());
  return cell;
}

}  // namespace quillmoor::twinrun::testing
