// Writers of the region file and its sections, byte for byte in the layout
// Region::unpack reads. Each section writer appends to a ByteWriter that
// holds the file from its first byte, since texts and the sky section align
// to 4 relative to the start of the file.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "quillmoor/authoring/byte_writer.h"
#include "quillmoor/dat/game_time.h"
#include "quillmoor/dat/region.h"

namespace quillmoor::authoring {

// A text as the region file stores it: the UTF-8 text encoded as
// windows-1252 (characters it lacks become '?'), a 16-bit length, the
// bytes, then zero padding to the next multiple of 4. Texts longer than
// 65535 bytes are cut to 65535 so that the length stays true.
void write_region_text(ByteWriter& out, std::string_view utf8);

void write_season(ByteWriter& out, const dat::Season& season);
void write_game_time(ByteWriter& out, const dat::GameTime& game_time);
void write_sky_desc(ByteWriter& out, const dat::SkyDesc& sky);
void write_sound_desc(ByteWriter& out, const dat::SoundDesc& sound);
void write_scene_desc(ByteWriter& out, const dat::SceneDesc& scenes);
void write_terrain_desc(ByteWriter& out, const dat::TerrainDesc& terrain);
void write_region_misc(ByteWriter& out, const dat::RegionMisc& misc);

// The section mask as written: the stored mask with its sky, sound, scene
// and trailing bits set exactly for the optional sections present, so that
// the file always reads back with the same sections. Other bits are kept.
std::uint32_t written_section_mask(const dat::Region& region);

// The whole region file. The land height table is written with exactly 256
// entries: missing ones as 0.0, extra ones dropped.
std::vector<std::uint8_t> write_region(const dat::Region& region);

}  // namespace quillmoor::authoring
