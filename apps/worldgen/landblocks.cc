#include "apps/worldgen/landblocks.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "apps/worldgen/catalogue.h"
#include "quillmoor/authoring/landblock_writer.h"
#include "quillmoor/common/seeded_hash_map.h"

namespace quillmoor::worldgen {

namespace {

int global_x(std::uint16_t lb, int i) { return 8 * (lb >> 8) + i; }
int global_y(std::uint16_t lb, int j) { return 8 * (lb & 0xFF) + j; }

dat::Frame frame_at(float x, float y, float z, float heading) {
  dat::Frame f;
  f.origin = {x, y, z};
  const float half = heading * 0.5f;
  f.orientation = {std::cos(half), 0.0f, 0.0f, std::sin(half)};
  return f;
}

dat::BuildInfo building(std::uint64_t h, std::uint32_t model, const dat::Frame& frame) {
  dat::BuildInfo b;
  b.model_id = model;
  b.frame = frame;
  b.num_leaves = static_cast<std::uint32_t>(3 + h % 5);
  const int portals = 1 + static_cast<int>((h >> 8) % 3);
  for (int k = 0; k < portals; ++k) {
    dat::PortalInternal p;
    p.flags = static_cast<std::uint16_t>(k == 0 ? 0x0001 : 0x0004);
    p.other_cell_id = static_cast<std::uint16_t>(0x0100 + k);
    p.other_portal_id = static_cast<std::uint16_t>(k);
    const int stabs = static_cast<int>((h >> (12 + 2 * k)) % 4);  // odd and even counts
    for (int s = 0; s < stabs; ++s) p.stab_list.push_back(static_cast<std::uint16_t>(0x0100 + s));
    b.portals.push_back(std::move(p));
  }
  return b;
}

}  // namespace

dat::CellLandblock landblock_terrain(const TerrainModel& model, std::uint16_t lb,
                                     std::span<const unsigned> scene_types_per_kind) {
  dat::CellLandblock t;
  t.id = dat::terrain_file_id(lb);
  t.has_objects = 1;
  for (int k = 0; k < dat::kLandblockVertices; ++k) {
    const int gx = global_x(lb, k / 9), gy = global_y(lb, k % 9);
    t.terrain.push_back(model.terrain_word(gx, gy, scene_types_per_kind));
    t.height.push_back(model.height_code(gx, gy));
  }
  return t;
}

dat::LandblockInfo landblock_info(const TerrainModel& model, std::uint64_t seed, std::uint16_t lb) {
  dat::LandblockInfo info;
  info.id = dat::info_file_id(lb);
  const std::uint64_t h = world_hash(seed, 0x1BF0, lb);
  info.num_cells = static_cast<std::uint32_t>(h % 12);

  // A few lamp posts and milestones along the roads.
  const int stabs = static_cast<int>((h >> 4) % 4);
  for (int s = 0; s < stabs; ++s) {
    const std::uint64_t hs = world_hash(seed, 0x57AB, lb, static_cast<std::uint64_t>(s));
    info.objects.push_back({0x01000200u + static_cast<std::uint32_t>(s),
                            frame_at(static_cast<float>(hs % 192), static_cast<float>((hs >> 8) % 192), 0.0f,
                                     static_cast<float>((hs >> 16) % 628) * 0.01f)});
  }

  // Buildings stand a little off the road, never on it, turned to various
  // headings; some landblocks have none.
  static constexpr float kHeadings[] = {0.0f, 0.5235988f, 1.5707964f, 2.3561945f, 3.4906585f, 4.712389f, 5.6f};
  int placed_i = -100, placed_j = -100;
  for (int attempt = 0; attempt < 64 && info.buildings.size() < 2 && h % 3 != 0; ++attempt) {
    const std::uint64_t ha = world_hash(seed, 0xB1D6, lb, static_cast<std::uint64_t>(attempt));
    const int i = 1 + static_cast<int>(ha % 7), j = 1 + static_cast<int>((ha >> 8) % 7);
    const double d = model.road_distance(global_x(lb, i), global_y(lb, j));
    if (d < 1.6 || d > 3.4) continue;
    if (std::abs(i - placed_i) < 4 && std::abs(j - placed_j) < 4) continue;
    const std::uint64_t pick = ha >> 16;
    std::uint32_t model_id = pick % 7 < 3 ? kCottage : pick % 7 < 5 ? kBarn : kTower;
    if (pick % 17 == 0) model_id = kMissingModel;
    const float x = 24.0f * static_cast<float>(i) + static_cast<float>((ha >> 24) % 9) - 4.0f;
    const float y = 24.0f * static_cast<float>(j) + static_cast<float>((ha >> 32) % 9) - 4.0f;
    info.buildings.push_back(building(ha, model_id, frame_at(x, y, 0.0f, kHeadings[(ha >> 40) % 7])));
    placed_i = i;
    placed_j = j;
  }

  if (h % 4 == 0) {
    info.pack_mask = static_cast<std::uint16_t>(0x0001 | ((h >> 10) % 2 == 0 ? 0x0100 : 0));
    dat::RestrictionTable table;
    for (std::uint32_t k = 0; k < 1 + (h >> 12) % 3; ++k) table.tables.put(0x0100 + k, 0x7F000000u | k);
    info.restriction_tables = std::move(table);
  } else if (h % 4 == 1) {
    info.pack_mask = 0x0002;  // only bit 0 announces a table
  }
  return info;
}

std::vector<WorldFile> landblock_files(const TerrainModel& model, std::uint64_t seed, std::uint16_t lb,
                                       std::span<const unsigned> scene_types_per_kind) {
  std::vector<WorldFile> files;
  if (lb == kLandblockWithoutTerrain) return files;

  const std::uint64_t h = world_hash(seed, 0xF11E, lb);
  if (lb != kLandblockWithoutInfo) {
    dat::LandblockInfo info = landblock_info(model, seed, lb);
    if (lb == kLandblockWithBrokenInfo) {
      // One building whose first portal the file cuts off.
      info.objects.clear();
      info.pack_mask = 0;
      info.restriction_tables.reset();
      info.buildings = {building(h | 0x300, kCottage, frame_at(96.0f, 96.0f, 0.0f, 1.0f))};
    }
    auto bytes = authoring::write_landblock_info(info);
    if (lb == kLandblockWithBrokenInfo) bytes.resize(12 + 4 + 40 + 5);
    // Some files are stored compressed, some carry flag bits that mean nothing here.
    const std::uint32_t flags = h % 5 == 0 ? 0x1 : h % 5 == 1 ? 0x00020000 : 0;
    files.push_back(WorldFile{dat::info_file_id(lb), std::move(bytes), flags, (flags & 1) != 0});
  }

  auto terrain = authoring::write_cell_landblock(landblock_terrain(model, lb, scene_types_per_kind));
  if (lb == kLandblockWithTruncatedTerrain) terrain.resize(250);
  if ((h >> 8) % 6 == 0) terrain.resize(terrain.size() + 5, 0xEE);  // trailing bytes are ignored
  const std::uint32_t flags = (h >> 16) % 7 == 0 ? 0x1 : (h >> 16) % 7 == 1 ? 0x2 : 0;
  files.push_back(WorldFile{dat::terrain_file_id(lb), std::move(terrain), flags, (flags & 1) != 0});
  return files;
}

std::uint32_t interior_cell_count(std::uint64_t seed, std::uint16_t lb) {
  if (lb == kLandblockWithoutTerrain) return 0;
  return 12 + static_cast<std::uint32_t>(world_hash(seed, 0xCE11, lb) % 9);  // 12 to 20
}

std::vector<WorldFile> interior_cell_files(std::uint64_t seed, std::uint16_t lb) {
  std::vector<WorldFile> files;
  const std::uint32_t count = interior_cell_count(seed, lb);
  files.reserve(count);
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::uint32_t id = (std::uint32_t{lb} << 16) | (0x0100 + k);
    std::uint64_t h = world_hash(seed, 0xCE12, id);
    const bool compressed = h % 4 == 0;
    std::vector<std::uint8_t> bytes(300 + (h >> 8) % 1200);
    // A cell-like head: its id, flags and a few counts.
    const std::uint32_t head[4] = {id, static_cast<std::uint32_t>(h >> 32) & 0xF, 1 + (k % 7), k};
    std::memcpy(bytes.data(), head, sizeof head);
    std::size_t i = sizeof head;
    if (compressed) {
      // Repeating 12-byte records that differ in a byte or two: packs well.
      for (; i < bytes.size(); ++i) {
        const std::size_t r = (i - sizeof head) / 12;
        bytes[i] = static_cast<std::uint8_t>((i - sizeof head) % 12 < 2 ? r * 3 + k : (i % 12) * 17);
      }
    } else {
      // Vertex-like noise: does not pack.
      for (; i < bytes.size(); i += 8) {
        h = mix64(h);
        std::memcpy(bytes.data() + i, &h, std::min<std::size_t>(8, bytes.size() - i));
      }
    }
    files.push_back(WorldFile{id, std::move(bytes), compressed ? 0x1u : 0u, compressed});
  }
  return files;
}

}  // namespace quillmoor::worldgen
