#include "quillmoor/dat/region.h"

#include "quillmoor/dat/primitives.h"

namespace quillmoor::dat {

namespace {

constexpr std::size_t kLandHeightEntries = 256;

// The fewest bytes an element can take in the data, for bounding what a
// list may reserve. A trailing alignment step reads nothing, so it does
// not count.
constexpr std::size_t kMinDayGroup = 4 + 2 + 4 + 4;
constexpr std::size_t kMinSkyEntry = 9 * 4;
constexpr std::size_t kMinSkyTimeOfDay = 11 * 4 + 4;
constexpr std::size_t kMinSkyTimeEntry = 6 * 4;
constexpr std::size_t kMinAmbientDesc = 4 + 4;
constexpr std::size_t kMinAmbientEntry = 5 * 4;
constexpr std::size_t kMinSceneType = 4 + 4;
constexpr std::size_t kMinTerrainType = 2 + 4 + 4;
constexpr std::size_t kMinTerrainPair = 2 * 4;
constexpr std::size_t kMinTerrainEntry = 11 * 4;

template <std::size_t N>
BinResult<Ok> read_raw_array(BinReader& reader, std::array<Raw32, N>& out) {
  for (Raw32& v : out) {
    QM_ASSIGN_OR_RETURN(v, reader.read_u32());
  }
  return Ok{};
}

// A count, then that many unsigned 32-bit values.
BinResult<std::vector<std::uint32_t>> read_u32_list(BinReader& reader) {
  QM_ASSIGN_OR_RETURN(const std::uint32_t count, reader.read_u32());
  return read_counted<std::uint32_t>(reader, count, 4, [&] { return reader.read_u32(); });
}

// A count, then that many records read by `read_one`.
template <class T, class F>
BinResult<std::vector<T>> read_list(BinReader& reader, std::size_t min_size, F&& read_one) {
  QM_ASSIGN_OR_RETURN(const std::uint32_t count, reader.read_u32());
  return read_counted<T>(reader, count, min_size, read_one);
}

BinResult<SkyEntry> read_sky_entry(BinReader& reader) {
  SkyEntry out;
  QM_TRY(read_raw_array(reader, out.params));
  QM_TRY(align_to_4(reader));
  return out;
}

BinResult<SkyTimeEntry> read_sky_time_entry(BinReader& reader) {
  SkyTimeEntry out;
  QM_TRY(read_raw_array(reader, out.params));
  QM_TRY(align_to_4(reader));
  return out;
}

BinResult<SkyTimeOfDay> read_sky_time_of_day(BinReader& reader) {
  SkyTimeOfDay out;
  QM_TRY(read_raw_array(reader, out.params));
  QM_TRY(align_to_4(reader));
  QM_ASSIGN_OR_RETURN(out.time_entries, read_list<SkyTimeEntry>(reader, kMinSkyTimeEntry, [&] {
                        return read_sky_time_entry(reader);
                      }));
  return out;
}

BinResult<DayGroup> read_day_group(BinReader& reader) {
  DayGroup out;
  QM_ASSIGN_OR_RETURN(out.value, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.name, read_region_text(reader));
  QM_ASSIGN_OR_RETURN(out.sky_entries, read_list<SkyEntry>(reader, kMinSkyEntry, [&] {
                        return read_sky_entry(reader);
                      }));
  QM_ASSIGN_OR_RETURN(out.times_of_day, read_list<SkyTimeOfDay>(reader, kMinSkyTimeOfDay, [&] {
                        return read_sky_time_of_day(reader);
                      }));
  return out;
}

BinResult<AmbientEntry> read_ambient_entry(BinReader& reader) {
  AmbientEntry out;
  QM_TRY(read_raw_array(reader, out.params));
  return out;
}

BinResult<AmbientSTBDesc> read_ambient_desc(BinReader& reader) {
  AmbientSTBDesc out;
  QM_ASSIGN_OR_RETURN(out.value, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.entries, read_list<AmbientEntry>(reader, kMinAmbientEntry, [&] {
                        return read_ambient_entry(reader);
                      }));
  return out;
}

BinResult<SceneType> read_scene_type(BinReader& reader) {
  SceneType out;
  QM_ASSIGN_OR_RETURN(out.value, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.scene_ids, read_u32_list(reader));
  return out;
}

BinResult<TerrainType> read_terrain_type(BinReader& reader) {
  TerrainType out;
  QM_ASSIGN_OR_RETURN(out.name, read_region_text(reader));
  QM_ASSIGN_OR_RETURN(out.value, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.scene_type_indices, read_u32_list(reader));
  return out;
}

BinResult<TerrainPair> read_terrain_pair(BinReader& reader) {
  TerrainPair out;
  QM_TRY(read_raw_array(reader, out.values));
  return out;
}

BinResult<TerrainEntry> read_terrain_entry(BinReader& reader) {
  TerrainEntry out;
  QM_TRY(read_raw_array(reader, out.values));
  return out;
}

BinResult<TerrainTables> read_terrain_tables(BinReader& reader) {
  TerrainTables out;
  QM_ASSIGN_OR_RETURN(out.value, reader.read_u32());
  const auto pair = [&] { return read_terrain_pair(reader); };
  QM_ASSIGN_OR_RETURN(out.pairs_1, read_list<TerrainPair>(reader, kMinTerrainPair, pair));
  QM_ASSIGN_OR_RETURN(out.pairs_2, read_list<TerrainPair>(reader, kMinTerrainPair, pair));
  QM_ASSIGN_OR_RETURN(out.pairs_3, read_list<TerrainPair>(reader, kMinTerrainPair, pair));
  QM_ASSIGN_OR_RETURN(out.entries, read_list<TerrainEntry>(reader, kMinTerrainEntry, [&] {
                        return read_terrain_entry(reader);
                      }));
  return out;
}

BinResult<LandParameters> read_land_parameters(BinReader& reader) {
  LandParameters out;
  QM_TRY(read_raw_array(reader, out.params));
  // A fixed-size table with no count of its own.
  QM_ASSIGN_OR_RETURN(out.land_height_table,
                      read_counted<float>(reader, kLandHeightEntries, 4, [&] { return reader.read_f32(); }));
  return out;
}

}  // namespace

BinResult<SkyDesc> SkyDesc::unpack(BinReader& reader) {
  SkyDesc out;
  for (double& p : out.params) {
    QM_ASSIGN_OR_RETURN(p, reader.read_f64());
  }
  QM_TRY(align_to_4(reader));
  QM_ASSIGN_OR_RETURN(out.day_groups, read_list<DayGroup>(reader, kMinDayGroup, [&] {
                        return read_day_group(reader);
                      }));
  return out;
}

BinResult<SoundDesc> SoundDesc::unpack(BinReader& reader) {
  SoundDesc out;
  QM_ASSIGN_OR_RETURN(out.ambient_descs, read_list<AmbientSTBDesc>(reader, kMinAmbientDesc, [&] {
                        return read_ambient_desc(reader);
                      }));
  return out;
}

BinResult<SceneDesc> SceneDesc::unpack(BinReader& reader) {
  SceneDesc out;
  QM_ASSIGN_OR_RETURN(out.scene_types, read_list<SceneType>(reader, kMinSceneType, [&] {
                        return read_scene_type(reader);
                      }));
  return out;
}

BinResult<TerrainDesc> TerrainDesc::unpack(BinReader& reader) {
  TerrainDesc out;
  QM_ASSIGN_OR_RETURN(out.terrain_types, read_list<TerrainType>(reader, kMinTerrainType, [&] {
                        return read_terrain_type(reader);
                      }));
  QM_ASSIGN_OR_RETURN(out.value, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.terrain_tables, read_terrain_tables(reader));
  return out;
}

BinResult<RegionMisc> RegionMisc::unpack(BinReader& reader) {
  RegionMisc out;
  QM_TRY(read_raw_array(reader, out.params));
  return out;
}

BinResult<Region> Region::unpack(BinReader& reader) {
  Region out;
  QM_ASSIGN_OR_RETURN(out.id, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.region_number, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.version, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.name, read_region_text(reader));
  QM_ASSIGN_OR_RETURN(out.land_parameters, read_land_parameters(reader));
  QM_ASSIGN_OR_RETURN(out.game_time, GameTime::unpack(reader));
  QM_ASSIGN_OR_RETURN(out.section_mask, reader.read_u32());
  // The sections follow in this order, which is not the order of their bits.
  if (out.section_mask & kRegionHasSky) {
    QM_ASSIGN_OR_RETURN(out.sky_desc, SkyDesc::unpack(reader));
  }
  if (out.section_mask & kRegionHasSound) {
    QM_ASSIGN_OR_RETURN(out.sound_desc, SoundDesc::unpack(reader));
  }
  if (out.section_mask & kRegionHasScene) {
    QM_ASSIGN_OR_RETURN(out.scene_desc, SceneDesc::unpack(reader));
  }
  QM_ASSIGN_OR_RETURN(out.terrain_desc, TerrainDesc::unpack(reader));
  if (out.section_mask & kRegionHasMisc) {
    QM_ASSIGN_OR_RETURN(out.region_misc, RegionMisc::unpack(reader));
  }
  return out;
}

}  // namespace quillmoor::dat
