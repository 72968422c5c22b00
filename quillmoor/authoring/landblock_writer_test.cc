#include "quillmoor/authoring/landblock_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace quillmoor::authoring {
namespace {

TEST(LandblockWriterTest, CellLandblockRoundTrip) {
  dat::CellLandblock land;
  land.id = 0xA9B4FFFF;
  land.has_objects = 1;
  for (int i = 0; i < 81; ++i) {
    land.terrain.push_back(static_cast<std::uint16_t>(i * 0x0301));
    land.height.push_back(static_cast<std::uint8_t>(255 - i));
  }
  const auto bytes = write_cell_landblock(land);
  ASSERT_EQ(bytes.size(), 251u);
  EXPECT_EQ(bytes[8], 0x00);    // first terrain word, low byte
  EXPECT_EQ(bytes[10], 0x01);   // second word 0x0301
  EXPECT_EQ(bytes[11], 0x03);
  EXPECT_EQ(bytes[170], 255);   // first height code
  auto parsed = dat::CellLandblock::unpack(bytes);
  ASSERT_TRUE(parsed.ok()) << parsed.error().message();
  EXPECT_EQ(parsed->terrain, land.terrain);
  EXPECT_EQ(parsed->height, land.height);

  // Short lists are padded to 81 entries.
  EXPECT_EQ(write_cell_landblock(dat::CellLandblock{}).size(), 251u);
}

TEST(LandblockWriterTest, PortalPadding) {
  struct Case {
    std::size_t stabs;
    std::size_t size;
  };
  for (const Case c : {Case{0, 8}, Case{1, 12}, Case{2, 12}, Case{3, 16}}) {
    SCOPED_TRACE(c.stabs);
    dat::PortalInternal portal;
    portal.stab_list.assign(c.stabs, 0x0707);
    ByteWriter w;
    write_portal_internal(w, portal);
    EXPECT_EQ(w.size(), c.size);
  }
}

dat::LandblockInfo sample_info() {
  dat::LandblockInfo info;
  info.id = 0xA9B4FFFE;
  info.num_cells = 3;
  info.objects.push_back({0x01000001, {{1, 2, 3}, {1, 0, 0, 0}}});
  info.pack_mask = 0x0006;
  dat::BuildInfo building;
  building.model_id = 0x02000010;
  building.frame = {{96, 96, 0}, {0.5f, 0, 0, 0.5f}};
  building.num_leaves = 2;
  building.portals.push_back({1, 0x0100, 0, {0x0A}});
  building.portals.push_back({2, 0x0101, 1, {}});
  info.buildings.push_back(building);
  dat::RestrictionTable table;
  for (std::uint32_t key : {30u, 10u, 20u}) table.tables.put(key, key + 1);
  info.restriction_tables = table;
  return info;
}

TEST(LandblockWriterTest, InfoRoundTripAndSortedTable) {
  const dat::LandblockInfo info = sample_info();
  const auto bytes = write_landblock_info(info);
  // A copy holds a differently seeded map; the bytes must not change.
  const dat::LandblockInfo copy = info;
  EXPECT_EQ(write_landblock_info(copy), bytes);

  // 12 header + 32 stab + 4 counts + 40 building + 12 + 8 portals + 4 + 3 * 8 table.
  ASSERT_EQ(bytes.size(), 12u + 32 + 4 + 40 + 20 + 4 + 24);
  EXPECT_EQ(bytes[44], 1);      // num_buildings
  EXPECT_EQ(bytes[46], 0x07);   // pack_mask: bit 0 set for the table, others kept
  const std::size_t table_at = bytes.size() - 28;
  EXPECT_EQ(bytes[table_at], 3);  // count
  EXPECT_EQ(bytes[table_at + 4], 10);   // keys ascending
  EXPECT_EQ(bytes[table_at + 12], 20);
  EXPECT_EQ(bytes[table_at + 20], 30);

  auto parsed = dat::LandblockInfo::unpack(bytes);
  ASSERT_TRUE(parsed.ok()) << parsed.error().message();
  EXPECT_EQ(parsed->pack_mask, 0x0007);
  ASSERT_EQ(parsed->buildings.size(), 1u);
  EXPECT_EQ(parsed->buildings[0].model_id, 0x02000010u);
  EXPECT_EQ(parsed->buildings[0].portals.size(), 2u);
  EXPECT_EQ(parsed->restriction_tables->tables.at(20), 21u);
  EXPECT_EQ(write_landblock_info(*parsed), bytes);
}

TEST(LandblockWriterTest, NoTableClearsBitZero) {
  dat::LandblockInfo info;
  info.pack_mask = 0x0003;
  const auto bytes = write_landblock_info(info);
  ASSERT_EQ(bytes.size(), 16u);
  EXPECT_EQ(bytes[14], 0x02);
  EXPECT_TRUE(dat::LandblockInfo::unpack(bytes).ok());
}

TEST(LandblockWriterTest, EntriesInGivenOrderKeepDuplicates) {
  const std::vector<RestrictionEntry> entries = {{5, 7}, {5, 9}};
  ByteWriter w;
  write_restriction_table(w, entries, 8);
  EXPECT_EQ(w.bytes(), (std::vector<std::uint8_t>{0x02, 0x00, 0x08, 0x00,  // count, bucket size
                                                  5, 0, 0, 0, 7, 0, 0, 0,  // 5 -> 7
                                                  5, 0, 0, 0, 9, 0, 0, 0}));  // 5 -> 9
}

}  // namespace
}  // namespace quillmoor::authoring
