#include "apps/twinrun/caches.h"

#include "quillmoor/dat/gfx_obj.h"
#include "quillmoor/dat/setup_model.h"

namespace quillmoor::twinrun {

std::optional<LocalMesh> gfx_local_mesh(const dat::DatDatabase& portal, std::uint32_t file_id) {
  auto bytes = portal.get_file(file_id);
  if (!bytes.ok()) return std::nullopt;
  dat::BinReader reader(*bytes);
  auto gfx = dat::GfxObj::unpack(reader);
  if (!gfx.ok() || gfx->vertex_array.vertices.empty()) return std::nullopt;
  LocalMesh points;
  points.reserve(gfx->vertex_array.vertices.size());
  for (const auto& [vertex_id, vertex] : gfx->vertex_array.vertices) points.push_back(vertex.origin);
  return points;
}

std::optional<dat::Scene> SceneCache::lookup(const dat::DatDatabase& portal, std::uint32_t scene_id) {
  if (auto it = scenes_.find(scene_id); it != scenes_.end()) return it->second;
  std::optional<dat::Scene> scene;
  if (auto bytes = portal.get_file(scene_id); bytes.ok()) {
    dat::BinReader reader(*bytes);
    if (auto parsed = dat::Scene::unpack(reader); parsed.ok()) scene = std::move(parsed).value();
  }
  return scenes_.emplace(scene_id, std::move(scene)).first->second;
}

namespace {

std::optional<LocalMesh> setup_local_mesh(const dat::DatDatabase& portal, std::uint32_t setup_id) {
  auto bytes = portal.get_file(setup_id);
  if (!bytes.ok()) return std::nullopt;
  dat::BinReader reader(*bytes);
  auto setup = dat::SetupModel::unpack(reader);
  if (!setup.ok() || setup->parts.empty()) return std::nullopt;
  LocalMesh joined;
  for (const std::uint32_t part : setup->parts) {
    if (auto mesh = gfx_local_mesh(portal, part)) joined.insert(joined.end(), mesh->begin(), mesh->end());
  }
  if (joined.empty()) return std::nullopt;
  return joined;
}

}  // namespace

const LocalMesh* MeshCache::lookup(const dat::DatDatabase& portal, std::uint32_t object_id) {
  auto it = meshes_.find(object_id);
  if (it == meshes_.end()) {
    std::optional<LocalMesh> mesh;
    switch (object_id >> 24) {
      case 0x01: mesh = gfx_local_mesh(portal, object_id); break;
      case 0x02: mesh = setup_local_mesh(portal, object_id); break;
      default: break;  // no other kind has a mesh
    }
    it = meshes_.emplace(object_id, std::move(mesh)).first;
  }
  return it->second ? &*it->second : nullptr;
}

}  // namespace quillmoor::twinrun
