// Writers of a landblock's terrain and info files, in the layouts
// CellLandblock::unpack and LandblockInfo::unpack read.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"
#include "quillmoor/dat/landblock.h"

namespace quillmoor::authoring {

// 251 bytes: id, has_objects, 81 terrain words, 81 height codes. Lists
// shorter than 81 are padded with zeros, longer ones cut to 81.
std::vector<std::uint8_t> write_cell_landblock(const dat::CellLandblock& terrain);

void write_stab(ByteWriter& out, const dat::Stab& stab);
// The four 16-bit fields, the stab list, and 2 zero bytes of padding when
// the list has an odd length.
void write_portal_internal(ByteWriter& out, const dat::PortalInternal& portal);
void write_build_info(ByteWriter& out, const dat::BuildInfo& building);

using RestrictionEntry = std::pair<std::uint32_t, std::uint32_t>;  // key, value

// The entries exactly in the given order, duplicates included (the reader
// keeps the last value of a key).
void write_restriction_table(ByteWriter& out, std::span<const RestrictionEntry> entries,
                             std::uint16_t bucket_size = 0);
// The map's entries sorted by key, so that the bytes do not depend on the
// map's seeded iteration order.
void write_restriction_table(ByteWriter& out, const dat::RestrictionTable& table);

// The whole info file. Bit 0 of the written pack mask is set exactly when
// the record has a restriction table (which then follows the buildings);
// the other bits are written as stored. Lists with a 16-bit count (stab
// lists, buildings, restriction entries) are cut to 65535 elements so that
// every count stays true.
std::vector<std::uint8_t> write_landblock_info(const dat::LandblockInfo& info);

}  // namespace quillmoor::authoring
