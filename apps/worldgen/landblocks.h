// The cell archive's content for one landblock: its terrain and its info
// with the buildings that stand by the roads.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "apps/worldgen/terrain.h"
#include "apps/worldgen/world.h"
#include "quillmoor/dat/landblock.h"

namespace quillmoor::worldgen {

dat::CellLandblock landblock_terrain(const TerrainModel& model, std::uint16_t landblock,
                                     std::span<const unsigned> scene_types_per_kind);

dat::LandblockInfo landblock_info(const TerrainModel& model, std::uint64_t seed, std::uint16_t landblock);

// The landblock's files in increasing id order (info, then terrain), with
// the ring's deliberate faults applied.
std::vector<WorldFile> landblock_files(const TerrainModel& model, std::uint64_t seed,
                                       std::uint16_t landblock,
                                       std::span<const unsigned> scene_types_per_kind);

// Interior cells of a landblock in the whole-world extent: ids
// (landblock << 16) | (0x0100 + k). The tool never reads them; they give the
// cell archive the size and entry count of a real one. Opaque bytes of
// plausible sizes, a quarter of them stored compressed.
std::uint32_t interior_cell_count(std::uint64_t seed, std::uint16_t landblock);
std::vector<WorldFile> interior_cell_files(std::uint64_t seed, std::uint16_t landblock);

}  // namespace quillmoor::worldgen
