// A landblock's two cell-archive files: the terrain (id << 16 | 0xFFFF)
// and the info with its static objects and buildings (id << 16 | 0xFFFE).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "quillmoor/common/seeded_hash_map.h"
#include "quillmoor/dat/error.h"
#include "quillmoor/dat/math_records.h"

namespace quillmoor::dat {

inline constexpr int kLandblockVertices = 81;  // 9 x 9, x-major

inline std::uint32_t terrain_file_id(std::uint16_t landblock) {
  return (std::uint32_t{landblock} << 16) | 0xFFFF;
}
inline std::uint32_t info_file_id(std::uint16_t landblock) {
  return (std::uint32_t{landblock} << 16) | 0xFFFE;
}

// Terrain word fields.
inline unsigned terrain_road(std::uint16_t word) { return word & 3u; }
inline unsigned terrain_type(std::uint16_t word) { return (word >> 2) & 0x1Fu; }
inline unsigned terrain_scene_index(std::uint16_t word) { return word >> 11; }

struct CellLandblock {
  std::uint32_t id = 0;
  std::uint32_t has_objects = 0;
  std::vector<std::uint16_t> terrain;  // 81 terrain words, entry i = vertex (i / 9, i % 9)
  std::vector<std::uint8_t> height;    // 81 height codes, same order

  static DatResult<CellLandblock> unpack(std::span<const std::uint8_t> bytes);
};

struct Stab {
  std::uint32_t id = 0;
  Frame frame;

  static constexpr std::size_t kSize = 32;
  static BinResult<Stab> read(BinReader& reader);
};

struct PortalInternal {
  std::uint16_t flags = 0;
  std::uint16_t other_cell_id = 0;
  std::uint16_t other_portal_id = 0;
  std::vector<std::uint16_t> stab_list;

  // Skips the 2 padding bytes after an odd number of stabs, unread.
  static BinResult<PortalInternal> read(BinReader& reader);
};

struct BuildInfo {
  std::uint32_t model_id = 0;
  Frame frame;
  std::uint32_t num_leaves = 0;
  std::vector<PortalInternal> portals;

  static BinResult<BuildInfo> read(BinReader& reader);
};

struct RestrictionTable {
  SeededHashMap<std::uint32_t, std::uint32_t> tables;  // a later duplicate key wins

  static BinResult<RestrictionTable> read(BinReader& reader);
};

struct LandblockInfo {
  std::uint32_t id = 0;
  std::uint32_t num_cells = 0;
  std::vector<Stab> objects;
  std::uint16_t pack_mask = 0;
  std::vector<BuildInfo> buildings;
  std::optional<RestrictionTable> restriction_tables;

  static DatResult<LandblockInfo> unpack(std::span<const std::uint8_t> bytes);
};

}  // namespace quillmoor::dat
