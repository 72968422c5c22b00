#include "quillmoor/authoring/landblock_writer.h"

#include <algorithm>

#include "quillmoor/authoring/math_records_writer.h"

namespace quillmoor::authoring {

namespace {

constexpr std::size_t kMaxCount16 = 0xFFFF;

std::uint16_t count16(std::size_t n) { return static_cast<std::uint16_t>(std::min(n, kMaxCount16)); }

}  // namespace

std::vector<std::uint8_t> write_cell_landblock(const dat::CellLandblock& terrain) {
  ByteWriter out;
  out.u32(terrain.id).u32(terrain.has_objects);
  for (std::size_t i = 0; i < dat::kLandblockVertices; ++i) {
    out.u16(i < terrain.terrain.size() ? terrain.terrain[i] : std::uint16_t{0});
  }
  for (std::size_t i = 0; i < dat::kLandblockVertices; ++i) {
    out.u8(i < terrain.height.size() ? terrain.height[i] : std::uint8_t{0});
  }
  return std::move(out).bytes();
}

void write_stab(ByteWriter& out, const dat::Stab& stab) {
  out.u32(stab.id);
  write_frame(out, stab.frame);
}

void write_portal_internal(ByteWriter& out, const dat::PortalInternal& portal) {
  const std::uint16_t num_stabs = count16(portal.stab_list.size());
  out.u16(portal.flags).u16(portal.other_cell_id).u16(portal.other_portal_id).u16(num_stabs);
  for (std::size_t i = 0; i < num_stabs; ++i) out.u16(portal.stab_list[i]);
  if (num_stabs % 2 != 0) out.zeros(2);
}

void write_build_info(ByteWriter& out, const dat::BuildInfo& building) {
  out.u32(building.model_id);
  write_frame(out, building.frame);
  out.u32(building.num_leaves).u32(static_cast<std::uint32_t>(building.portals.size()));
  for (const auto& portal : building.portals) write_portal_internal(out, portal);
}

void write_restriction_table(ByteWriter& out, std::span<const RestrictionEntry> entries,
                             std::uint16_t bucket_size) {
  const std::uint16_t count = count16(entries.size());
  out.u16(count).u16(bucket_size);
  for (std::size_t i = 0; i < count; ++i) out.u32(entries[i].first).u32(entries[i].second);
}

void write_restriction_table(ByteWriter& out, const dat::RestrictionTable& table) {
  std::vector<RestrictionEntry> entries(table.tables.begin(), table.tables.end());
  std::sort(entries.begin(), entries.end());
  write_restriction_table(out, entries);
}

std::vector<std::uint8_t> write_landblock_info(const dat::LandblockInfo& info) {
  ByteWriter out;
  out.u32(info.id).u32(info.num_cells).u32(static_cast<std::uint32_t>(info.objects.size()));
  for (const auto& stab : info.objects) write_stab(out, stab);
  const std::uint16_t num_buildings = count16(info.buildings.size());
  std::uint16_t pack_mask = info.pack_mask & ~std::uint16_t{1};
  if (info.restriction_tables) pack_mask |= 1;
  out.u16(num_buildings).u16(pack_mask);
  for (std::size_t i = 0; i < num_buildings; ++i) write_build_info(out, info.buildings[i]);
  if (info.restriction_tables) write_restriction_table(out, *info.restriction_tables);
  return std::move(out).bytes();
}

}  // namespace quillmoor::authoring
