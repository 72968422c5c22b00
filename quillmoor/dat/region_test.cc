#include "quillmoor/dat/region.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::dat {
namespace {

using authoring::ByteWriter;

constexpr char kEof[] = "failed to fill whole buffer";

// "ok", or the error's full message.
template <class T>
std::string outcome(const BinResult<T>& result) {
  return result.ok() ? "ok" : result.error().message();
}

std::span<const std::uint8_t> first(const std::vector<std::uint8_t>& bytes, std::size_t n) {
  return std::span<const std::uint8_t>(bytes).first(n);
}

// Everything of a region file before the section mask: header, name, land
// parameters and a game time with nothing in it. With a name of up to two
// bytes this is 12 + 4 + 1056 + 36 = 1108 bytes.
void write_head(ByteWriter& w, std::string_view name) {
  w.u32(0x13000000)  // 0: id
      .u32(0x55)     // 4: region_number
      .u32(3);       // 8: version
  w.u16(static_cast<std::uint16_t>(name.size())).raw(name).align4();  // 12: name + padding
  for (std::uint32_t i = 0; i < 8; ++i) w.u32(0xB0 + i);  // land params
  for (int i = 0; i < 256; ++i) w.f32(static_cast<float>(i) * 0.25f);  // land height table
  w.f64(0).zeros(12)   // game time: base_value, params
      .u16(0).u16(0)   // empty label + padding
      .u32(0).u32(0).u32(0);  // no times of day, names, seasons
}

// The terrain section with no terrain types and empty tables: 28 bytes.
void write_empty_terrain(ByteWriter& w) {
  w.u32(0)        // no terrain types
      .u32(0x7E)  // value
      .u32(0x7F)  // terrain tables: value
      .u32(0)     // pairs_1
      .u32(0)     // pairs_2
      .u32(0)     // pairs_3
      .u32(0);    // entries
}

std::vector<std::uint8_t> smallest_region(std::uint32_t mask) {
  ByteWriter w;
  write_head(w, "");
  w.u32(mask);
  if (mask & 0x02) w.u32(0);  // empty scene section
  write_empty_terrain(w);
  if (mask & 0x200) {
    for (std::uint32_t i = 0; i < 6; ++i) w.u32(0xC0 + i);  // region_misc
  }
  return std::move(w).bytes();
}

TEST(RegionTest, SmallestFilesAndTheirSize) {
  struct Case {
    std::uint32_t mask;
    std::size_t size;
    bool scene;
    bool misc;
  };
  const Case cases[] = {
      {0x000, 1140, false, false},
      {0x002, 1144, true, false},
      {0x202, 1168, true, true},
      {0x200, 1164, false, true},
      // Bits other than 0x10, 0x01, 0x02 and 0x200 have no effect but are kept.
      {0xFFFFFDEC, 1140, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    const auto bytes = smallest_region(c.mask);
    ASSERT_EQ(bytes.size(), c.size);
    BinReader reader(bytes);
    auto region = Region::unpack(reader);
    ASSERT_TRUE(region.ok()) << region.error().message();
    EXPECT_EQ(reader.position(), c.size);
    EXPECT_EQ(region->section_mask, c.mask);
    EXPECT_FALSE(region->sky_desc.has_value());
    EXPECT_FALSE(region->sound_desc.has_value());
    EXPECT_EQ(region->scene_desc.has_value(), c.scene);
    if (c.scene) {
      EXPECT_TRUE(region->scene_desc->scene_types.empty());
    }
    EXPECT_EQ(region->region_misc.has_value(), c.misc);
    if (c.misc) {
      EXPECT_EQ(region->region_misc->params, (std::array<Raw32, 6>{0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5}));
    }
    EXPECT_TRUE(region->terrain_desc.terrain_types.empty());
    EXPECT_EQ(region->terrain_desc.value, 0x7Eu);
    EXPECT_EQ(region->terrain_desc.terrain_tables.value, 0x7Fu);

    // Bytes after the last section are not read.
    auto longer = bytes;
    longer.insert(longer.end(), 16, 0xEE);
    BinReader long_reader(longer);
    auto same = Region::unpack(long_reader);
    ASSERT_TRUE(same.ok()) << same.error().message();
    EXPECT_EQ(long_reader.position(), c.size);
    EXPECT_EQ(same->region_misc.has_value(), c.misc);

    // One byte less is always missing a required field (with 0x200 the
    // trailing section is required).
    BinReader short_reader(first(bytes, c.size - 1));
    EXPECT_EQ(outcome(Region::unpack(short_reader)), kEof);
  }
}

TEST(RegionTest, HeaderAndLandParameters) {
  const auto bytes = smallest_region(0);
  BinReader reader(bytes);
  auto region = Region::unpack(reader);
  ASSERT_TRUE(region.ok()) << region.error().message();
  EXPECT_EQ(region->id, 0x13000000u);
  EXPECT_EQ(region->region_number, 0x55u);
  EXPECT_EQ(region->version, 3u);
  EXPECT_EQ(region->name, "");
  EXPECT_EQ(region->land_parameters.params[0], 0xB0u);
  EXPECT_EQ(region->land_parameters.params[7], 0xB7u);
  const auto& table = region->land_parameters.land_height_table;
  ASSERT_EQ(table.size(), 256u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(table[0]), 0u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(table[1]), 0x3E800000u);    // 0.25
  EXPECT_EQ(std::bit_cast<std::uint32_t>(table[255]), 0x427F0000u);  // 63.75
}

TEST(RegionTest, ThreeByteNameMovesLandParametersTo20) {
  ByteWriter w;
  w.u32(0x13000000).u32(1).u32(2)  // 0: header
      .u16(3).raw("Dal")           // 12: name, ends at 17
      .zeros(3)                    // 17: padding to 20
      .u32(0xFEEDF00D);            // 20: first land parameter
  w.zeros(7 * 4 + 256 * 4);        // the other params and the height table
  w.f64(0).zeros(12).u16(0).u16(0).u32(0).u32(0).u32(0);  // empty game time
  w.u32(0);                        // section mask
  write_empty_terrain(w);
  const auto bytes = std::move(w).bytes();
  ASSERT_EQ(bytes.size(), 1144u);
  BinReader reader(bytes);
  auto region = Region::unpack(reader);
  ASSERT_TRUE(region.ok()) << region.error().message();
  EXPECT_EQ(region->name, "Dal");
  EXPECT_EQ(region->land_parameters.params[0], 0xFEEDF00Du);
  EXPECT_EQ(reader.position(), 1144u);
}

TEST(RegionTest, SectionsFollowInFileOrderNotBitOrder) {
  ByteWriter w;
  write_head(w, "");
  w.u32(0x213);  // 1108: sky, sound, scene and trailing sections
  // Sky at 1112.
  w.f64(1.5).f64(2.5)  // params (aligned already)
      .u32(1)          // one day group
      .u32(0xD0)       //   value
      .u16(1).raw("d").u8(0)  // name "d" + 1 padding
      .u32(1);         //   one sky entry
  for (std::uint32_t i = 0; i < 9; ++i) w.u32(0xE0 + i);
  w.u32(1);            //   one time of day
  for (std::uint32_t i = 0; i < 11; ++i) w.u32(0xF0 + i);
  w.u32(1);            //     one time entry
  for (std::uint32_t i = 0; i < 6; ++i) w.u32(0x100 + i);
  // Sound.
  w.u32(1)             // one ambient desc
      .u32(0xA0)       //   value
      .u32(1);         //   one entry
  for (std::uint32_t i = 0; i < 5; ++i) w.u32(0x110 + i);
  // Scene.
  w.u32(2)                        // two scene types
      .u32(0x51).u32(1).u32(0x120000A1)  // value, one id
      .u32(0x52).u32(0);                 // value, no ids
  // Terrain.
  w.u32(1)                             // one terrain type
      .u16(5).raw("grass").u8(0)       //   name + 1 padding
      .u32(0x61)                       //   value
      .u32(2).u32(1).u32(0)            //   indices 1, 0
      .u32(0x62)                       // value
      .u32(0x63)                       // tables value
      .u32(1).u32(0x71).u32(0x72)      // pairs_1: one pair
      .u32(0)                          // pairs_2
      .u32(2).u32(0x73).u32(0x74).u32(0x75).u32(0x76)  // pairs_3: two pairs
      .u32(1);                         // entries: one
  for (std::uint32_t i = 0; i < 11; ++i) w.u32(0x80 + i);
  // Trailing section.
  for (std::uint32_t i = 0; i < 6; ++i) w.u32(0x90 + i);
  const auto bytes = std::move(w).bytes();

  BinReader reader(bytes);
  auto region = Region::unpack(reader);
  ASSERT_TRUE(region.ok()) << region.error().message();
  EXPECT_EQ(reader.position(), bytes.size());

  ASSERT_TRUE(region->sky_desc.has_value());
  const SkyDesc& sky = *region->sky_desc;
  EXPECT_EQ(std::bit_cast<std::uint64_t>(sky.params[0]), std::bit_cast<std::uint64_t>(1.5));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(sky.params[1]), std::bit_cast<std::uint64_t>(2.5));
  ASSERT_EQ(sky.day_groups.size(), 1u);
  EXPECT_EQ(sky.day_groups[0].value, 0xD0u);
  EXPECT_EQ(sky.day_groups[0].name, "d");
  ASSERT_EQ(sky.day_groups[0].sky_entries.size(), 1u);
  EXPECT_EQ(sky.day_groups[0].sky_entries[0].params[8], 0xE8u);
  ASSERT_EQ(sky.day_groups[0].times_of_day.size(), 1u);
  EXPECT_EQ(sky.day_groups[0].times_of_day[0].params[10], 0xFAu);
  ASSERT_EQ(sky.day_groups[0].times_of_day[0].time_entries.size(), 1u);
  EXPECT_EQ(sky.day_groups[0].times_of_day[0].time_entries[0].params[5], 0x105u);

  ASSERT_TRUE(region->sound_desc.has_value());
  ASSERT_EQ(region->sound_desc->ambient_descs.size(), 1u);
  EXPECT_EQ(region->sound_desc->ambient_descs[0].value, 0xA0u);
  ASSERT_EQ(region->sound_desc->ambient_descs[0].entries.size(), 1u);
  EXPECT_EQ(region->sound_desc->ambient_descs[0].entries[0].params[4], 0x114u);

  ASSERT_TRUE(region->scene_desc.has_value());
  const auto& scene_types = region->scene_desc->scene_types;
  ASSERT_EQ(scene_types.size(), 2u);
  EXPECT_EQ(scene_types[0].value, 0x51u);
  EXPECT_EQ(scene_types[0].scene_ids, (std::vector<std::uint32_t>{0x120000A1}));
  EXPECT_EQ(scene_types[1].value, 0x52u);
  EXPECT_TRUE(scene_types[1].scene_ids.empty());

  const TerrainDesc& terrain = region->terrain_desc;
  ASSERT_EQ(terrain.terrain_types.size(), 1u);
  EXPECT_EQ(terrain.terrain_types[0].name, "grass");
  EXPECT_EQ(terrain.terrain_types[0].value, 0x61u);
  EXPECT_EQ(terrain.terrain_types[0].scene_type_indices, (std::vector<std::uint32_t>{1, 0}));
  EXPECT_EQ(terrain.value, 0x62u);
  EXPECT_EQ(terrain.terrain_tables.value, 0x63u);
  ASSERT_EQ(terrain.terrain_tables.pairs_1.size(), 1u);
  EXPECT_EQ(terrain.terrain_tables.pairs_1[0].values, (std::array<Raw32, 2>{0x71, 0x72}));
  EXPECT_TRUE(terrain.terrain_tables.pairs_2.empty());
  ASSERT_EQ(terrain.terrain_tables.pairs_3.size(), 2u);
  EXPECT_EQ(terrain.terrain_tables.pairs_3[1].values, (std::array<Raw32, 2>{0x75, 0x76}));
  ASSERT_EQ(terrain.terrain_tables.entries.size(), 1u);
  EXPECT_EQ(terrain.terrain_tables.entries[0].values[0], 0x80u);
  EXPECT_EQ(terrain.terrain_tables.entries[0].values[10], 0x8Au);

  ASSERT_TRUE(region->region_misc.has_value());
  EXPECT_EQ(region->region_misc->params[5], 0x95u);
}

TEST(RegionTest, CutFilesFailWithEndOfData) {
  const auto bytes = smallest_region(0);
  struct Case {
    const char* where;
    std::size_t size;
  };
  const Case cases[] = {
      {"empty", 0},
      {"inside the id", 3},
      {"inside the version", 11},
      {"inside the name's length", 13},
      {"after 100 height floats", 12 + 4 + 32 + 100 * 4},
      {"inside the game time", 1072 + 30},
      {"before the section mask", 1108},
      {"inside the terrain tables", 1130},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    BinReader reader(first(bytes, c.size));
    EXPECT_EQ(outcome(Region::unpack(reader)), kEof);
  }
}

TEST(RegionSectionTest, SectionSizes) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::uint64_t start;
    std::function<std::string(BinReader&)> read;
    std::uint64_t end;
  };
  const auto sky = [](BinReader& r) { return outcome(SkyDesc::unpack(r)); };
  const auto sound = [](BinReader& r) { return outcome(SoundDesc::unpack(r)); };
  const auto scene = [](BinReader& r) { return outcome(SceneDesc::unpack(r)); };
  const auto terrain = [](BinReader& r) { return outcome(TerrainDesc::unpack(r)); };
  const Case cases[] = {
      {"sky without day groups",
       ByteWriter().f64(0).f64(0).u32(0).bytes(),  // params 16, count
       0, sky, 20},
      {"sky starting at 2 re-aligns after its params",
       ByteWriter().u16(0xEEEE)   // 0: not part of the section
           .f64(0).f64(0)         // 2: params, end at 18
           .u16(0xEEEE)           // 18: skipped by the alignment step
           .u32(0)                // 20: no day groups
           .bytes(),
       2, sky, 24},
      {"day group with no entries",
       ByteWriter().f64(0).f64(0).u32(1)        // 0: params, one day group
           .u32(9).u16(2).raw("dg")             // 20: value, name (2 + 2)
           .u32(0).u32(0)                       // 28: no sky entries, no times
           .bytes(),
       0, sky, 36},
      {"sound with one desc of two entries",
       ByteWriter().u32(1)                      // one desc
           .u32(0xAB).u32(2)                    // value, two entries
           .zeros(20).zeros(20)                 // two entries
           .bytes(),
       0, sound, 52},
      {"scene type with three ids",
       ByteWriter().u32(1)                      // 0: one scene type
           .u32(0x51).u32(3)                    // 4: value, three ids
           .u32(1).u32(2).u32(3)                // 12
           .bytes(),
       0, scene, 4 + 20},
      {"terrain type with a three-byte name and two indices",
       ByteWriter().u32(1)                      // 0: one terrain type
           .u16(3).raw("abc").zeros(3)          // 4: name, 3 padding
           .u32(0x61).u32(2).u32(4).u32(5)      // 12: value, two indices
           .u32(0).u32(0).u32(0).u32(0).u32(0).u32(0)  // 28: value and empty tables
           .bytes(),
       0, terrain, 4 + 24 + 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BinReader reader(c.bytes, c.start);
    EXPECT_EQ(c.read(reader), "ok");
    EXPECT_EQ(reader.position(), c.end);
  }
}

// A count of 0xFFFFFFFF in a short file: the reader must fail at the first
// missing element without trying to reserve memory for the count.
TEST(RegionSectionTest, HugeCountsFailWithoutReserving) {
  struct Case {
    const char* list;
    std::vector<std::uint8_t> bytes;
    std::function<std::string(BinReader&)> read;
  };
  constexpr std::uint32_t kHuge = 0xFFFFFFFF;
  const auto sky = [](BinReader& r) { return outcome(SkyDesc::unpack(r)); };
  const auto sound = [](BinReader& r) { return outcome(SoundDesc::unpack(r)); };
  const auto scene = [](BinReader& r) { return outcome(SceneDesc::unpack(r)); };
  const auto terrain = [](BinReader& r) { return outcome(TerrainDesc::unpack(r)); };
  const auto region = [](BinReader& r) { return outcome(Region::unpack(r)); };
  const auto sky_head = [] { return ByteWriter().f64(0).f64(0); };
  const auto group_head = [] { return ByteWriter().f64(0).f64(0).u32(1).u32(0).u16(0).u16(0); };
  const Case cases[] = {
      {"day_groups", sky_head().u32(kHuge).zeros(12).bytes(), sky},
      {"sky_entries", group_head().u32(kHuge).zeros(30).bytes(), sky},
      {"times_of_day", group_head().u32(0).u32(kHuge).zeros(40).bytes(), sky},
      {"time_entries", group_head().u32(0).u32(1).zeros(44).u32(kHuge).zeros(20).bytes(), sky},
      {"ambient_descs", ByteWriter().u32(kHuge).zeros(4).bytes(), sound},
      {"ambient entries", ByteWriter().u32(1).u32(0).u32(kHuge).zeros(16).bytes(), sound},
      {"scene_types", ByteWriter().u32(kHuge).zeros(4).bytes(), scene},
      {"scene_ids", ByteWriter().u32(1).u32(0).u32(kHuge).zeros(8).bytes(), scene},
      {"terrain_types", ByteWriter().u32(kHuge).zeros(8).bytes(), terrain},
      {"scene_type_indices", ByteWriter().u32(1).u16(0).u16(0).u32(0).u32(kHuge).zeros(8).bytes(), terrain},
      {"pairs_1", ByteWriter().u32(0).u32(0).u32(0).u32(kHuge).zeros(12).bytes(), terrain},
      {"pairs_2", ByteWriter().u32(0).u32(0).u32(0).u32(0).u32(kHuge).zeros(12).bytes(), terrain},
      {"pairs_3", ByteWriter().u32(0).u32(0).u32(0).u32(0).u32(0).u32(kHuge).zeros(12).bytes(), terrain},
      {"entries", ByteWriter().u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(kHuge).zeros(40).bytes(), terrain},
      {"terrain types in a whole region",
       [] {
         ByteWriter w;
         write_head(w, "");
         w.u32(0).u32(kHuge).zeros(16);
         return std::move(w).bytes();
       }(),
       region},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    BinReader reader(c.bytes);
    EXPECT_EQ(c.read(reader), kEof);
  }
}

}  // namespace
}  // namespace quillmoor::dat
