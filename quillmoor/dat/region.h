// The region file: land parameters with the height table, game time, sky,
// sound, the scene types and the terrain types that choose among them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quillmoor/dat/bin_reader.h"
#include "quillmoor/dat/game_time.h"

namespace quillmoor::dat {

inline constexpr std::uint32_t kRegionFileId = 0x13000000;

// Section mask bits, in the order their sections appear in the file.
inline constexpr std::uint32_t kRegionHasSky = 0x10;
inline constexpr std::uint32_t kRegionHasSound = 0x01;
inline constexpr std::uint32_t kRegionHasScene = 0x02;
inline constexpr std::uint32_t kRegionHasMisc = 0x200;

struct LandParameters {
  std::array<Raw32, 8> params{};
  std::vector<float> land_height_table;  // always 256 entries once read
};

struct SkyEntry {
  std::array<Raw32, 9> params{};
};
struct SkyTimeEntry {
  std::array<Raw32, 6> params{};
};
struct SkyTimeOfDay {
  std::array<Raw32, 11> params{};
  std::vector<SkyTimeEntry> time_entries;
};
struct DayGroup {
  Raw32 value = 0;
  std::string name;
  std::vector<SkyEntry> sky_entries;
  std::vector<SkyTimeOfDay> times_of_day;
};
struct SkyDesc {
  std::array<double, 2> params{};
  std::vector<DayGroup> day_groups;

  static BinResult<SkyDesc> unpack(BinReader& reader);
};

struct AmbientEntry {
  std::array<Raw32, 5> params{};
};
struct AmbientSTBDesc {
  Raw32 value = 0;
  std::vector<AmbientEntry> entries;
};
struct SoundDesc {
  std::vector<AmbientSTBDesc> ambient_descs;

  static BinResult<SoundDesc> unpack(BinReader& reader);
};

struct SceneType {
  Raw32 value = 0;
  std::vector<std::uint32_t> scene_ids;  // Scene file ids in the portal archive
};
struct SceneDesc {
  std::vector<SceneType> scene_types;

  static BinResult<SceneDesc> unpack(BinReader& reader);
};

struct TerrainType {
  std::string name;
  Raw32 value = 0;
  std::vector<std::uint32_t> scene_type_indices;  // into SceneDesc::scene_types
};
struct TerrainPair {
  std::array<Raw32, 2> values{};
};
struct TerrainEntry {
  std::array<Raw32, 11> values{};
};
struct TerrainTables {
  Raw32 value = 0;
  std::vector<TerrainPair> pairs_1;
  std::vector<TerrainPair> pairs_2;
  std::vector<TerrainPair> pairs_3;
  std::vector<TerrainEntry> entries;
};
struct TerrainDesc {
  std::vector<TerrainType> terrain_types;
  Raw32 value = 0;
  TerrainTables terrain_tables;

  static BinResult<TerrainDesc> unpack(BinReader& reader);
};

struct RegionMisc {
  std::array<Raw32, 6> params{};

  static BinResult<RegionMisc> unpack(BinReader& reader);
};

struct Region {
  std::uint32_t id = 0;
  std::uint32_t region_number = 0;
  std::uint32_t version = 0;
  std::string name;
  LandParameters land_parameters;
  GameTime game_time;
  std::uint32_t section_mask = 0;
  std::optional<SkyDesc> sky_desc;
  std::optional<SoundDesc> sound_desc;
  std::optional<SceneDesc> scene_desc;
  TerrainDesc terrain_desc;
  std::optional<RegionMisc> region_misc;

  // Reads a whole region file from a reader at the file's first byte.
  static BinResult<Region> unpack(BinReader& reader);
};

}  // namespace quillmoor::dat
