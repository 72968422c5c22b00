// The vertex and polygon records of a graphics object.
#pragma once

#include <cstdint>
#include <vector>

#include "quillmoor/common/math.h"
#include "quillmoor/common/seeded_hash_map.h"
#include "quillmoor/dat/bin_reader.h"

namespace quillmoor::dat {

// One texture coordinate pair; 8 bytes.
struct Vec2Duv {
  float u = 0;
  float v = 0;

  static constexpr std::size_t kSize = 8;
  static BinResult<Vec2Duv> read(BinReader& reader);
};

// A vertex: position, normal and its texture coordinates;
// 26 + 8 * num_uvs bytes.
struct SWVertex {
  std::uint16_t num_uvs = 0;
  Vector3 origin;  // object space
  Vector3 normal;
  std::vector<Vec2Duv> uvs;  // exactly num_uvs long

  static constexpr std::size_t kMinSize = 26;
  static BinResult<SWVertex> read(BinReader& reader);
};

// The vertex table. Only vertex type 1 stores vertices; for any other type
// the record is the type and an unused count, 8 bytes.
struct CVertexArray {
  static constexpr std::uint32_t kVertexTypeSW = 1;

  std::uint32_t vertex_type = 0;
  SeededHashMap<std::uint16_t, SWVertex> vertices;  // a later duplicate id wins

  static BinResult<CVertexArray> read(BinReader& reader);
};

// A polygon over vertex ids. The uv index lists are present by these rules:
// front when point_count > 0 and uv_flags lacks kNoFrontUvs; back when
// point_count > 0, uv_flags lacks kNoBackUvs and side_mode is kBothSides.
struct Polygon {
  static constexpr std::uint8_t kNoFrontUvs = 0x04;
  static constexpr std::uint8_t kNoBackUvs = 0x08;
  static constexpr std::uint32_t kBothSides = 2;

  std::uint8_t point_count = 0;
  std::uint8_t uv_flags = 0;
  std::uint32_t side_mode = 0;
  std::uint16_t front_surface = 0;
  std::uint16_t back_surface = 0;
  std::vector<std::uint16_t> vertex_ids;
  std::vector<std::uint8_t> front_uv_indices;  // empty when not stored
  std::vector<std::uint8_t> back_uv_indices;   // empty when not stored

  static constexpr std::size_t kHeaderSize = 10;
  bool has_front_uvs() const { return point_count > 0 && (uv_flags & kNoFrontUvs) == 0; }
  bool has_back_uvs() const {
    return point_count > 0 && (uv_flags & kNoBackUvs) == 0 && side_mode == kBothSides;
  }

  static BinResult<Polygon> read(BinReader& reader);
};

}  // namespace quillmoor::dat
