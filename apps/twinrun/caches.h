// The per-run memo caches in front of the portal archive: scenes by id and
// object meshes by id. Both remember failures as absent values and never
// report an error; each map has its own random hash seed.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "quillmoor/common/math.h"
#include "quillmoor/common/seeded_hash_map.h"
#include "quillmoor/dat/archive.h"
#include "quillmoor/dat/scene.h"

namespace quillmoor::twinrun {

// An object's points in its own space, in no significant order.
using LocalMesh = std::vector<Vector3>;

// The vertex positions of graphics object `file_id`, newly built; absent
// when the file is missing, does not parse or has no vertices.
std::optional<LocalMesh> gfx_local_mesh(const dat::DatDatabase& portal, std::uint32_t file_id);

class SceneCache {
 public:
  // An owned copy of the scene, or absent when it cannot be fetched or parsed.
  std::optional<dat::Scene> lookup(const dat::DatDatabase& portal, std::uint32_t scene_id);

 private:
  SeededHashMap<std::uint32_t, std::optional<dat::Scene>> scenes_;
};

class MeshCache {
 public:
  // The mesh of a graphics object (kind byte 0x01) or of a setup model
  // (0x02, its parts' points joined in order); absent for any other kind,
  // without reading the archive. The pointer stays valid until the next
  // lookup.
  const LocalMesh* lookup(const dat::DatDatabase& portal, std::uint32_t object_id);

 private:
  SeededHashMap<std::uint32_t, std::optional<LocalMesh>> meshes_;
};

}  // namespace quillmoor::twinrun
