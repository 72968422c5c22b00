#include "quillmoor/dat/landblock.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::dat {
namespace {

using authoring::ByteWriter;

constexpr char kEof[] = "failed to fill whole buffer";
using Lines = std::vector<std::string>;

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

std::span<const std::uint8_t> first(const std::vector<std::uint8_t>& bytes, std::size_t n) {
  return std::span<const std::uint8_t>(bytes).first(n);
}

// The landblock readers wrap the binary reader's error as BinRead.
template <class T>
void expect_bin_read_eof(const DatResult<T>& result, const Lines& context) {
  ASSERT_FALSE(result.ok());
  ASSERT_EQ(result.error().kind(), DatError::Kind::BinRead);
  const BinError& error = result.error().bin_error();
  EXPECT_TRUE(error.is_eof());
  EXPECT_EQ(error.base_message(), kEof);
  EXPECT_EQ(error.context(), context);
  std::string expected = std::string("Binary read error: ") + kEof;
  for (const auto& line : context) expected += "\n" + line;
  EXPECT_EQ(result.error().message(), expected);
}

// --- terrain ---------------------------------------------------------------

std::vector<std::uint8_t> terrain_file() {
  ByteWriter w;
  w.u32(0xA9B4FFFF)  // 0: id
      .u32(1);       // 4: has_objects
  for (int i = 0; i < kLandblockVertices; ++i) w.u16(static_cast<std::uint16_t>(0x0100 + i));  // 8: words
  for (int i = 0; i < kLandblockVertices; ++i) w.u8(static_cast<std::uint8_t>(3 * i));        // 170: heights
  return std::move(w).bytes();
}

TEST(CellLandblockTest, ReadsWordsAndHeightsInFileOrder) {
  const auto bytes = terrain_file();
  ASSERT_EQ(bytes.size(), 251u);
  const std::vector<std::uint8_t> extended = [&] {
    auto out = bytes;
    out.insert(out.end(), 9, 0xEE);  // trailing bytes are ignored
    return out;
  }();
  for (const auto* input : {&bytes, &extended}) {
    SCOPED_TRACE(input->size());
    auto land = CellLandblock::unpack(*input);
    ASSERT_TRUE(land.ok()) << land.error().message();
    EXPECT_EQ(land->id, 0xA9B4FFFFu);
    EXPECT_EQ(land->has_objects, 1u);
    ASSERT_EQ(land->terrain.size(), 81u);
    ASSERT_EQ(land->height.size(), 81u);
    EXPECT_EQ(land->terrain[0], 0x0100);
    EXPECT_EQ(land->terrain[10], 0x010A);  // vertex x = 1, y = 1
    EXPECT_EQ(land->terrain[80], 0x0150);  // vertex x = 8, y = 8
    EXPECT_EQ(land->height[0], 0);
    EXPECT_EQ(land->height[10], 30);
    EXPECT_EQ(land->height[80], 240);
  }
}

TEST(CellLandblockTest, ShortFilesNameTheFieldBeingRead) {
  const auto bytes = terrain_file();
  struct Case {
    std::size_t size;
    const char* field;
  };
  const Case cases[] = {
      {0, "id"},          {3, "id"},          {4, "has_objects"}, {7, "has_objects"},
      {8, "terrain"},     {8 + 161, "terrain"},  // last word cut in half
      {170, "height"},    {250, "height"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    expect_bin_read_eof(CellLandblock::unpack(first(bytes, c.size)),
                        {std::string("While parsing field '") + c.field + "' in CellLandblock"});
  }
}

TEST(CellLandblockTest, TerrainWordFields) {
  struct Case {
    std::uint16_t word;
    unsigned road, type, scene;
  };
  const Case cases[] = {
      {0x0807, 3, 1, 1},
      {0xFFFC, 0, 31, 31},
      {0x0000, 0, 0, 0},
      {0x0780, 0, 0, 0},    // bits 7 to 10 belong to no field
      {0x007D, 1, 31, 0},
      {0xF802, 2, 0, 31},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    EXPECT_EQ(terrain_road(c.word), c.road);
    EXPECT_EQ(terrain_type(c.word), c.type);
    EXPECT_EQ(terrain_scene_index(c.word), c.scene);
  }
}

// --- info ------------------------------------------------------------------

void write_test_frame(ByteWriter& w, float base) {
  w.f32(base).f32(base + 1).f32(base + 2)                // origin x, y, z
      .f32(1.0f).f32(0.0f).f32(0.0f).f32(base + 3);      // orientation w, x, y, z
}

TEST(LandblockInfoTest, SmallestFile) {
  struct Case {
    std::uint16_t pack_mask;
    bool ok;
  };
  // Only bit 0 asks for a restriction table.
  const Case cases[] = {{0, true}, {2, true}, {0xFFFE, true}, {1, false}, {3, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pack_mask);
    const auto bytes = ByteWriter()
                           .u32(0xA9B4FFFE)  // 0: id
                           .u32(0)           // 4: num_cells
                           .u32(0)           // 8: num_objects
                           .u16(0)           // 12: num_buildings
                           .u16(c.pack_mask) // 14: pack_mask
                           .bytes();
    ASSERT_EQ(bytes.size(), 16u);
    auto info = LandblockInfo::unpack(bytes);
    if (!c.ok) {
      expect_bin_read_eof(info, {"While parsing field 'count' in RestrictionTable",
                                 "While parsing field 'restriction_tables' in LandblockInfo"});
      continue;
    }
    ASSERT_TRUE(info.ok()) << info.error().message();
    EXPECT_EQ(info->id, 0xA9B4FFFEu);
    EXPECT_EQ(info->pack_mask, c.pack_mask);
    EXPECT_TRUE(info->objects.empty());
    EXPECT_TRUE(info->buildings.empty());
    EXPECT_FALSE(info->restriction_tables.has_value());
  }
}

TEST(PortalInternalTest, SizesAndPaddingSkippedUnread) {
  struct Case {
    std::uint16_t num_stabs;
    std::uint64_t size;
  };
  const Case cases[] = {{0, 8}, {1, 12}, {2, 12}, {3, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.num_stabs);
    ByteWriter w;
    w.u16(0x0011)       // flags
        .u16(0x0102)    // other_cell_id
        .u16(0x0003)    // other_portal_id
        .u16(c.num_stabs);
    for (std::uint16_t i = 0; i < c.num_stabs; ++i) w.u16(static_cast<std::uint16_t>(0x0200 + i));
    // No padding bytes in the data: the pad is skipped without being read.
    const auto bytes = std::move(w).bytes();
    BinReader reader(bytes);
    auto portal = PortalInternal::read(reader);
    ASSERT_TRUE(portal.ok()) << portal.error().message();
    EXPECT_EQ(reader.position(), c.size);
    EXPECT_EQ(portal->flags, 0x0011);
    EXPECT_EQ(portal->other_cell_id, 0x0102);
    EXPECT_EQ(portal->other_portal_id, 0x0003);
    ASSERT_EQ(portal->stab_list.size(), c.num_stabs);
    if (c.num_stabs > 0) {
      EXPECT_EQ(portal->stab_list.back(), 0x0200 + c.num_stabs - 1);
    }
  }
}

TEST(PortalInternalTest, FailureRewindsToTheRecordStart) {
  const auto bytes = ByteWriter()
                         .u32(0xEEEEEEEE)             // 0: not part of the record
                         .u16(1).u16(2).u16(3).u16(2)  // 4: two stabs claimed
                         .u16(7)                       // 12: only one present
                         .bytes();
  BinReader reader(bytes, 4);
  auto portal = PortalInternal::read(reader);
  ASSERT_FALSE(portal.ok());
  EXPECT_EQ(portal.error().context(), Lines{"While parsing field 'stab_list' in PortalInternal"});
  EXPECT_EQ(reader.position(), 4u);
}

TEST(RestrictionTableTest, LaterDuplicateKeyWins) {
  const auto bytes = ByteWriter()
                         .u16(3)             // count
                         .u16(0x1234)        // _bucket_size, dropped
                         .u32(5).u32(7)      // 5 -> 7
                         .u32(5).u32(9)      // 5 -> 9 replaces it
                         .u32(6).u32(8)      // 6 -> 8
                         .bytes();
  BinReader reader(bytes);
  auto table = RestrictionTable::read(reader);
  ASSERT_TRUE(table.ok()) << table.error().message();
  EXPECT_EQ(reader.position(), bytes.size());
  const std::map<std::uint32_t, std::uint32_t> entries(table->tables.begin(), table->tables.end());
  EXPECT_EQ(entries, (std::map<std::uint32_t, std::uint32_t>{{5, 9}, {6, 8}}));
}

// A full info file: one static object, three buildings (none, one and two
// portals) and a restriction table. `at` records where each part begins.
struct InfoFixture {
  std::vector<std::uint8_t> bytes;
  std::map<std::string, std::size_t> at;
};

InfoFixture info_fixture() {
  InfoFixture f;
  ByteWriter w;
  w.u32(0xA9B4FFFE)  // 0: id
      .u32(12)       // 4: num_cells
      .u32(1);       // 8: num_objects
  f.at["stab"] = w.size();
  w.u32(0x01000123);  // 12: stab id
  write_test_frame(w, 10.0f);
  f.at["num_buildings"] = w.size();
  w.u16(3)            // 44: num_buildings (16 bits)
      .u16(0x0005);   // 46: pack_mask: bit 0, a table follows

  f.at["building0"] = w.size();  // 48
  w.u32(0x02000001);
  write_test_frame(w, 20.0f);
  w.u32(4)   // num_leaves
      .u32(0);  // no portals

  f.at["building1"] = w.size();
  w.u32(0x02000002);
  write_test_frame(w, 30.0f);
  w.u32(5).u32(1);              // num_leaves, one portal
  f.at["building1.portal0"] = w.size();
  w.u16(1).u16(0x0100).u16(0)   // flags, other_cell_id, other_portal_id
      .u16(1).u16(0x0A0A)       // one stab
      .u16(0xEEEE);             // padding (any bytes)

  f.at["building2"] = w.size();
  w.u32(0x02000003);
  write_test_frame(w, 40.0f);
  w.u32(6).u32(2);              // num_leaves, two portals
  w.u16(2).u16(0x0101).u16(1).u16(0);  // portal 0: no stabs, 8 bytes
  f.at["building2.portal1"] = w.size();
  w.u16(3).u16(0x0102).u16(2).u16(3);  // portal 1: three stabs
  f.at["building2.portal1.stabs"] = w.size();
  w.u16(0x0B01).u16(0x0B02).u16(0x0B03).u16(0);  // stabs + padding

  f.at["restriction"] = w.size();
  w.u16(2).u16(16)              // count, _bucket_size
      .u32(5).u32(7)
      .u32(5).u32(9);
  f.at["end"] = w.size();
  f.bytes = std::move(w).bytes();
  return f;
}

TEST(LandblockInfoTest, ReadsEveryRecord) {
  const InfoFixture f = info_fixture();
  auto info = LandblockInfo::unpack(f.bytes);
  ASSERT_TRUE(info.ok()) << info.error().message();
  EXPECT_EQ(info->id, 0xA9B4FFFEu);
  EXPECT_EQ(info->num_cells, 12u);
  EXPECT_EQ(info->pack_mask, 0x0005);

  ASSERT_EQ(info->objects.size(), 1u);
  EXPECT_EQ(info->objects[0].id, 0x01000123u);
  EXPECT_EQ(bits(info->objects[0].frame.origin.x), bits(10.0f));
  EXPECT_EQ(bits(info->objects[0].frame.orientation.z), bits(13.0f));

  ASSERT_EQ(info->buildings.size(), 3u);
  const BuildInfo& b0 = info->buildings[0];
  EXPECT_EQ(b0.model_id, 0x02000001u);
  EXPECT_EQ(bits(b0.frame.origin.y), bits(21.0f));
  EXPECT_EQ(bits(b0.frame.orientation.w), bits(1.0f));
  EXPECT_EQ(b0.num_leaves, 4u);
  EXPECT_TRUE(b0.portals.empty());

  const BuildInfo& b1 = info->buildings[1];
  EXPECT_EQ(b1.model_id, 0x02000002u);
  EXPECT_EQ(b1.num_leaves, 5u);
  ASSERT_EQ(b1.portals.size(), 1u);
  EXPECT_EQ(b1.portals[0].flags, 1);
  EXPECT_EQ(b1.portals[0].other_cell_id, 0x0100);
  EXPECT_EQ(b1.portals[0].stab_list, (std::vector<std::uint16_t>{0x0A0A}));

  const BuildInfo& b2 = info->buildings[2];
  EXPECT_EQ(b2.model_id, 0x02000003u);
  EXPECT_EQ(bits(b2.frame.origin.x), bits(40.0f));
  ASSERT_EQ(b2.portals.size(), 2u);
  EXPECT_TRUE(b2.portals[0].stab_list.empty());
  EXPECT_EQ(b2.portals[0].other_portal_id, 1);
  EXPECT_EQ(b2.portals[1].flags, 3);
  EXPECT_EQ(b2.portals[1].other_cell_id, 0x0102);
  EXPECT_EQ(b2.portals[1].other_portal_id, 2);
  EXPECT_EQ(b2.portals[1].stab_list, (std::vector<std::uint16_t>{0x0B01, 0x0B02, 0x0B03}));

  ASSERT_TRUE(info->restriction_tables.has_value());
  const auto& tables = info->restriction_tables->tables;
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables.at(5), 9u);

  // Layout pins the fixture relies on.
  EXPECT_EQ(f.at.at("num_buildings"), 12u + 32u);
  EXPECT_EQ(f.at.at("building1") - f.at.at("building0"), 40u);
  EXPECT_EQ(f.at.at("building2") - f.at.at("building1.portal0"), 12u);
  EXPECT_EQ(f.at.at("restriction") - f.at.at("building2.portal1"), 16u);
}

TEST(LandblockInfoTest, CutFilesNameEveryEnclosingRecord) {
  const InfoFixture f = info_fixture();
  const auto at = [&](const char* name) { return f.at.at(name); };
  const std::string in_info = "' in LandblockInfo";
  const auto info_line = [&](const char* field) { return "While parsing field '" + std::string(field) + in_info; };
  struct Case {
    const char* where;
    std::size_t size;
    Lines context;
  };
  const Case cases[] = {
      {"empty", 0, {info_line("id")}},
      {"num_cells", 5, {info_line("num_cells")}},
      {"num_objects", 11, {info_line("num_objects")}},
      {"stab id", at("stab") + 3, {"While parsing field 'id' in Stab", info_line("objects")}},
      {"stab origin z", at("stab") + 4 + 8 + 1,
       {"While parsing field 'z' in Vector3", "While parsing field 'origin' in Frame",
        "While parsing field 'frame' in Stab", info_line("objects")}},
      {"num_buildings", at("num_buildings") + 1, {info_line("num_buildings")}},
      {"pack_mask", at("num_buildings") + 3, {info_line("pack_mask")}},
      {"first model_id", at("building0") + 2,
       {"While parsing field 'model_id' in BuildInfo", info_line("buildings")}},
      {"first building orientation w", at("building0") + 4 + 12 + 1,
       {"While parsing field 'w' in Quaternion", "While parsing field 'orientation' in Frame",
        "While parsing field 'frame' in BuildInfo", info_line("buildings")}},
      {"first num_leaves", at("building0") + 33,
       {"While parsing field 'num_leaves' in BuildInfo", info_line("buildings")}},
      {"first num_portals", at("building0") + 37,
       {"While parsing field 'num_portals' in BuildInfo", info_line("buildings")}},
      {"portal flags", at("building1.portal0") + 1,
       {"While parsing field 'flags' in PortalInternal", "While parsing field 'portals' in BuildInfo",
        info_line("buildings")}},
      {"portal other_cell_id", at("building1.portal0") + 3,
       {"While parsing field 'other_cell_id' in PortalInternal", "While parsing field 'portals' in BuildInfo",
        info_line("buildings")}},
      {"portal other_portal_id", at("building1.portal0") + 5,
       {"While parsing field 'other_portal_id' in PortalInternal",
        "While parsing field 'portals' in BuildInfo", info_line("buildings")}},
      {"portal num_stabs", at("building1.portal0") + 7,
       {"While parsing field 'num_stabs' in PortalInternal", "While parsing field 'portals' in BuildInfo",
        info_line("buildings")}},
      {"third building, second portal, stab_list", at("building2.portal1.stabs") + 3,
       {"While parsing field 'stab_list' in PortalInternal", "While parsing field 'portals' in BuildInfo",
        info_line("buildings")}},
      {"restriction count", at("restriction") + 1,
       {"While parsing field 'count' in RestrictionTable", info_line("restriction_tables")}},
      {"restriction _bucket_size", at("restriction") + 3,
       {"While parsing field '_bucket_size' in RestrictionTable", info_line("restriction_tables")}},
      {"restriction tables", at("end") - 1,
       {"While parsing field 'tables' in RestrictionTable", info_line("restriction_tables")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    expect_bin_read_eof(LandblockInfo::unpack(first(f.bytes, c.size)), c.context);
  }
}

TEST(LandblockInfoTest, MissingPadOfTheLastPortalIsNotRead) {
  const auto bytes = ByteWriter()
                         .u32(1).u32(0).u32(0)     // id, num_cells, no objects
                         .u16(1).u16(0)            // one building, no table
                         .u32(0x02000001).zeros(28).u32(0).u32(1)  // building with one portal
                         .u16(0).u16(0).u16(0).u16(1).u16(0x0C0C)  // one stab, file ends before the pad
                         .bytes();
  auto info = LandblockInfo::unpack(bytes);
  ASSERT_TRUE(info.ok()) << info.error().message();
  EXPECT_EQ(info->buildings.at(0).portals.at(0).stab_list, (std::vector<std::uint16_t>{0x0C0C}));
}

// Stored counts no file can back: each fails at the first missing element
// without trying to reserve memory for the count.
TEST(LandblockInfoTest, HugeCountsFailWithoutReserving) {
  const auto head = [] { return ByteWriter().u32(1).u32(0); };  // id, num_cells
  const auto one_building = [&] { return head().u32(0).u16(1).u16(0).u32(0x02000001).zeros(28).u32(0); };
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    Lines context;
  };
  const Case cases[] = {
      {"num_objects", head().u32(0xFFFFFFFF).u32(7).zeros(28).bytes(),
       {"While parsing field 'id' in Stab", "While parsing field 'objects' in LandblockInfo"}},
      {"num_buildings", head().u32(0).u16(0xFFFF).u16(0).bytes(),
       {"While parsing field 'model_id' in BuildInfo", "While parsing field 'buildings' in LandblockInfo"}},
      {"num_portals", one_building().u32(0xFFFFFFFF).zeros(8).bytes(),
       {"While parsing field 'flags' in PortalInternal", "While parsing field 'portals' in BuildInfo",
        "While parsing field 'buildings' in LandblockInfo"}},
      {"num_stabs", one_building().u32(1).u16(0).u16(0).u16(0).u16(0xFFFF).u16(1).bytes(),
       {"While parsing field 'stab_list' in PortalInternal", "While parsing field 'portals' in BuildInfo",
        "While parsing field 'buildings' in LandblockInfo"}},
      {"restriction count", head().u32(0).u16(0).u16(1).u16(0xFFFF).u16(0).u32(1).u32(2).bytes(),
       {"While parsing field 'tables' in RestrictionTable",
        "While parsing field 'restriction_tables' in LandblockInfo"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    expect_bin_read_eof(LandblockInfo::unpack(c.bytes), c.context);
  }
}

}  // namespace
}  // namespace quillmoor::dat
