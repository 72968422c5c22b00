#include "quillmoor/authoring/region_writer.h"

#include <algorithm>
#include <span>

namespace quillmoor::authoring {

namespace {

constexpr std::size_t kLandHeightEntries = 256;
constexpr std::size_t kMaxTextBytes = 0xFFFF;

template <std::size_t N>
void write_raw_array(ByteWriter& out, const std::array<dat::Raw32, N>& values) {
  for (const dat::Raw32 v : values) out.u32(v);
}

void write_count(ByteWriter& out, std::size_t count) { out.u32(static_cast<std::uint32_t>(count)); }

void write_u32_list(ByteWriter& out, const std::vector<std::uint32_t>& values) {
  write_count(out, values.size());
  for (const std::uint32_t v : values) out.u32(v);
}

void write_day_group(ByteWriter& out, const dat::DayGroup& group) {
  out.u32(group.value);
  write_region_text(out, group.name);
  write_count(out, group.sky_entries.size());
  for (const auto& entry : group.sky_entries) {
    write_raw_array(out, entry.params);
    out.align4();
  }
  write_count(out, group.times_of_day.size());
  for (const auto& time : group.times_of_day) {
    write_raw_array(out, time.params);
    out.align4();
    write_count(out, time.time_entries.size());
    for (const auto& entry : time.time_entries) {
      write_raw_array(out, entry.params);
      out.align4();
    }
  }
}

}  // namespace

void write_region_text(ByteWriter& out, std::string_view utf8) {
  std::vector<std::uint8_t> stored = encode_windows1252(utf8);
  if (stored.size() > kMaxTextBytes) stored.resize(kMaxTextBytes);
  out.u16(static_cast<std::uint16_t>(stored.size()));
  out.bytes(std::span<const std::uint8_t>(stored));
  out.align4();
}

void write_season(ByteWriter& out, const dat::Season& season) {
  out.u32(season.value);
  write_region_text(out, season.name);
}

void write_game_time(ByteWriter& out, const dat::GameTime& game_time) {
  out.f64(game_time.base_value);
  write_raw_array(out, game_time.params);
  write_region_text(out, game_time.label);
  write_count(out, game_time.times_of_day.size());
  for (const auto& time : game_time.times_of_day) {
    out.u32(time.value);
    out.u32(time.flag ? 1 : 0);
    write_region_text(out, time.name);
  }
  write_count(out, game_time.names.size());
  for (const auto& name : game_time.names) write_region_text(out, name);
  write_count(out, game_time.seasons.size());
  for (const auto& season : game_time.seasons) write_season(out, season);
}

void write_sky_desc(ByteWriter& out, const dat::SkyDesc& sky) {
  out.f64(sky.params[0]).f64(sky.params[1]);
  out.align4();
  write_count(out, sky.day_groups.size());
  for (const auto& group : sky.day_groups) write_day_group(out, group);
}

void write_sound_desc(ByteWriter& out, const dat::SoundDesc& sound) {
  write_count(out, sound.ambient_descs.size());
  for (const auto& desc : sound.ambient_descs) {
    out.u32(desc.value);
    write_count(out, desc.entries.size());
    for (const auto& entry : desc.entries) write_raw_array(out, entry.params);
  }
}

void write_scene_desc(ByteWriter& out, const dat::SceneDesc& scenes) {
  write_count(out, scenes.scene_types.size());
  for (const auto& type : scenes.scene_types) {
    out.u32(type.value);
    write_u32_list(out, type.scene_ids);
  }
}

void write_terrain_desc(ByteWriter& out, const dat::TerrainDesc& terrain) {
  write_count(out, terrain.terrain_types.size());
  for (const auto& type : terrain.terrain_types) {
    write_region_text(out, type.name);
    out.u32(type.value);
    write_u32_list(out, type.scene_type_indices);
  }
  out.u32(terrain.value);
  const dat::TerrainTables& tables = terrain.terrain_tables;
  out.u32(tables.value);
  for (const auto* pairs : {&tables.pairs_1, &tables.pairs_2, &tables.pairs_3}) {
    write_count(out, pairs->size());
    for (const auto& pair : *pairs) write_raw_array(out, pair.values);
  }
  write_count(out, tables.entries.size());
  for (const auto& entry : tables.entries) write_raw_array(out, entry.values);
}

void write_region_misc(ByteWriter& out, const dat::RegionMisc& misc) { write_raw_array(out, misc.params); }

std::uint32_t written_section_mask(const dat::Region& region) {
  std::uint32_t mask = region.section_mask &
                       ~(dat::kRegionHasSky | dat::kRegionHasSound | dat::kRegionHasScene | dat::kRegionHasMisc);
  if (region.sky_desc) mask |= dat::kRegionHasSky;
  if (region.sound_desc) mask |= dat::kRegionHasSound;
  if (region.scene_desc) mask |= dat::kRegionHasScene;
  if (region.region_misc) mask |= dat::kRegionHasMisc;
  return mask;
}

std::vector<std::uint8_t> write_region(const dat::Region& region) {
  ByteWriter out;
  out.u32(region.id).u32(region.region_number).u32(region.version);
  write_region_text(out, region.name);

  write_raw_array(out, region.land_parameters.params);
  const auto& table = region.land_parameters.land_height_table;
  for (std::size_t i = 0; i < kLandHeightEntries; ++i) out.f32(i < table.size() ? table[i] : 0.0f);

  write_game_time(out, region.game_time);
  out.u32(written_section_mask(region));
  // File order of the sections, not the order of their bits.
  if (region.sky_desc) write_sky_desc(out, *region.sky_desc);
  if (region.sound_desc) write_sound_desc(out, *region.sound_desc);
  if (region.scene_desc) write_scene_desc(out, *region.scene_desc);
  write_terrain_desc(out, region.terrain_desc);
  if (region.region_misc) write_region_misc(out, *region.region_misc);
  return std::move(out).bytes();
}

}  // namespace quillmoor::authoring
