// A graphics object: one rigid mesh with its vertex table, up to two keyed
// polygon sets each followed by its BSP tree, a centre point and an
// optional extra id. The mesh cache uses only the vertex origins.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "quillmoor/common/math.h"
#include "quillmoor/common/seeded_hash_map.h"
#include "quillmoor/dat/bin_reader.h"
#include "quillmoor/dat/graphics.h"
#include "quillmoor/dat/physics.h"

namespace quillmoor::dat {

struct GfxObj {
  // Bits of `flags` that add sections; no other bit is looked at.
  static constexpr std::uint32_t kHasPhysics = 0x1;
  static constexpr std::uint32_t kHasDrawing = 0x2;
  static constexpr std::uint32_t kHasExtraId = 0x8;

  std::uint32_t id = 0;
  std::uint32_t flags = 0;
  std::vector<std::uint32_t> surface_ids;
  CVertexArray vertex_array;
  SeededHashMap<std::uint16_t, Polygon> physics_polygons;  // empty without kHasPhysics
  std::optional<BspNode> physics_bsp;                       // present exactly with kHasPhysics
  Vector3 center;
  SeededHashMap<std::uint16_t, Polygon> drawing_polygons;  // empty without kHasDrawing
  std::optional<BspNode> drawing_bsp;                       // present exactly with kHasDrawing
  std::optional<std::uint32_t> extra_id;                   // present exactly with kHasExtraId

  static BinResult<GfxObj> unpack(BinReader& reader);
};

}  // namespace quillmoor::dat
