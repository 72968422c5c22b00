#include "quillmoor/authoring/region_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "quillmoor/dat/bin_reader.h"

namespace quillmoor::authoring {
namespace {

using dat::BinReader;

std::vector<std::uint8_t> text_bytes(std::string_view utf8) {
  ByteWriter w;
  write_region_text(w, utf8);
  return std::move(w).bytes();
}

TEST(RegionWriterTest, TextsAreWindows1252WithPadding) {
  struct Case {
    std::string utf8;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"", {0x00, 0x00, 0x00, 0x00}},
      {"ABC", {0x03, 0x00, 'A', 'B', 'C', 0x00, 0x00, 0x00}},
      {"ab", {0x02, 0x00, 'a', 'b'}},
      {"\xE2\x82\xAC", {0x01, 0x00, 0x80, 0x00}},           // euro sign -> 0x80
      {"caf\xC3\xA9", {0x04, 0x00, 'c', 'a', 'f', 0xE9, 0x00, 0x00}},  // e-acute -> 0xE9
      {"\xE2\x98\x83", {0x01, 0x00, '?', 0x00}},            // no windows-1252 byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(text_bytes(c.utf8), c.bytes);
  }
}

TEST(RegionWriterTest, SkyAlignsRelativeToTheFileStart) {
  ByteWriter w;
  w.zeros(2);  // the section starts at 2
  write_sky_desc(w, dat::SkyDesc{});
  EXPECT_EQ(w.size(), 24u);  // 2 + 16, padded to 20, then the count
}

dat::Region rich_region() {
  dat::Region r;
  r.id = 0x13000000;
  r.region_number = 9;
  r.version = 4;
  r.name = "Dal\xC3\xA9";  // "Dalé", 4 stored bytes
  for (std::size_t i = 0; i < 8; ++i) r.land_parameters.params[i] = 0x100 + static_cast<std::uint32_t>(i);
  for (int i = 0; i < 256; ++i) r.land_parameters.land_height_table.push_back(static_cast<float>(i) * 2.0f);
  r.game_time.base_value = 3.5;
  r.game_time.params = {1, 2, 3};
  r.game_time.label = "Time";
  r.game_time.times_of_day = {{0x11, true, "Dawn"}, {0x12, false, "Noon!"}};
  r.game_time.names = {"a", "bc", "def"};
  r.game_time.seasons = {{0x21, "Spring"}, {0x22, "Fall"}};
  r.section_mask = 0x80000000;  // unknown bit, kept; section bits follow presence
  dat::SkyDesc sky;
  sky.params = {0.5, -0.25};
  dat::DayGroup group;
  group.value = 0x31;
  group.name = "g";
  group.sky_entries.resize(2);
  group.sky_entries[1].params[8] = 0x39;
  dat::SkyTimeOfDay time;
  time.params[10] = 0x3B;
  time.time_entries.resize(3);
  time.time_entries[2].params[5] = 0x3C;
  group.times_of_day.push_back(time);
  sky.day_groups.push_back(group);
  r.sky_desc = sky;
  dat::SoundDesc sound;
  sound.ambient_descs.push_back({0x41, {dat::AmbientEntry{{1, 2, 3, 4, 5}}}});
  r.sound_desc = sound;
  dat::SceneDesc scenes;
  scenes.scene_types.push_back({0x51, {0x12000001, 0x12000002}});
  scenes.scene_types.push_back({0x52, {}});
  r.scene_desc = scenes;
  r.terrain_desc.terrain_types.push_back({"Grassland", 0x61, {0, 1}});
  r.terrain_desc.terrain_types.push_back({"", 0x62, {}});
  r.terrain_desc.value = 0x63;
  r.terrain_desc.terrain_tables.value = 0x64;
  r.terrain_desc.terrain_tables.pairs_1 = {dat::TerrainPair{{1, 2}}};
  r.terrain_desc.terrain_tables.pairs_3 = {dat::TerrainPair{{3, 4}}, dat::TerrainPair{{5, 6}}};
  r.terrain_desc.terrain_tables.entries.resize(1);
  r.terrain_desc.terrain_tables.entries[0].values[10] = 0x6B;
  r.region_misc = dat::RegionMisc{{7, 8, 9, 10, 11, 12}};
  return r;
}

TEST(RegionWriterTest, RoundTrip) {
  const dat::Region original = rich_region();
  const auto bytes = write_region(original);
  EXPECT_EQ(bytes, write_region(original));  // deterministic

  BinReader reader(bytes);
  auto parsed = dat::Region::unpack(reader);
  ASSERT_TRUE(parsed.ok()) << parsed.error().message();
  EXPECT_EQ(reader.position(), bytes.size());
  EXPECT_EQ(parsed->section_mask, 0x80000213u);
  EXPECT_EQ(parsed->name, original.name);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(parsed->land_parameters.land_height_table[255]),
            std::bit_cast<std::uint32_t>(510.0f));
  EXPECT_EQ(parsed->game_time.times_of_day[1].name, "Noon!");
  EXPECT_FALSE(parsed->game_time.times_of_day[1].flag);
  EXPECT_EQ(parsed->game_time.names, original.game_time.names);
  EXPECT_EQ(parsed->game_time.seasons[1].name, "Fall");
  EXPECT_EQ(parsed->sky_desc->day_groups[0].times_of_day[0].time_entries[2].params[5], 0x3Cu);
  EXPECT_EQ(parsed->sound_desc->ambient_descs[0].entries[0].params[4], 5u);
  EXPECT_EQ(parsed->scene_desc->scene_types[0].scene_ids, original.scene_desc->scene_types[0].scene_ids);
  EXPECT_EQ(parsed->terrain_desc.terrain_types[0].name, "Grassland");
  EXPECT_EQ(parsed->terrain_desc.terrain_types[0].scene_type_indices, (std::vector<std::uint32_t>{0, 1}));
  EXPECT_EQ(parsed->terrain_desc.terrain_tables.entries[0].values[10], 0x6Bu);
  EXPECT_EQ(parsed->region_misc->params[5], 12u);
  // Everything else: the parsed record writes back to the same bytes.
  EXPECT_EQ(write_region(*parsed), bytes);

  // The file ends with fixed-size fields, so every shorter prefix is
  // missing a byte the reader needs.
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    BinReader short_reader{std::span<const std::uint8_t>(bytes).first(cut)};
    auto result = dat::Region::unpack(short_reader);
    ASSERT_FALSE(result.ok()) << "cut at " << cut;
    ASSERT_EQ(result.error().message(), "failed to fill whole buffer") << "cut at " << cut;
  }
}

TEST(RegionWriterTest, SectionBitsFollowThePresentSections) {
  struct Case {
    std::uint32_t stored_mask;
    bool scene;
    bool misc;
    std::uint32_t written_mask;
    std::size_t size;
  };
  const Case cases[] = {
      {0x000, false, false, 0x000, 1140},
      {0x213, false, false, 0x000, 1140},  // bits without sections are cleared
      {0x000, true, false, 0x002, 1144},
      {0x000, true, true, 0x202, 1168},
      {0x40C, true, false, 0x40E, 1144},   // other bits kept
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored_mask);
    dat::Region r;
    r.section_mask = c.stored_mask;
    if (c.scene) r.scene_desc.emplace();
    if (c.misc) r.region_misc.emplace();
    EXPECT_EQ(written_section_mask(r), c.written_mask);
    const auto bytes = write_region(r);
    EXPECT_EQ(bytes.size(), c.size);
    BinReader reader(bytes);
    auto parsed = dat::Region::unpack(reader);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message();
    EXPECT_EQ(parsed->section_mask, c.written_mask);
    EXPECT_EQ(parsed->land_parameters.land_height_table.size(), 256u);  // padded from empty
  }
}

}  // namespace
}  // namespace quillmoor::authoring
