// The sample world: a small, plausible world written in every format the
// tool reads, so that the project can run and test itself without the
// real archives. Same options, same bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "quillmoor/authoring/archive_writer.h"
#include "quillmoor/common/error_chain.h"
#include "quillmoor/common/result.h"

namespace quillmoor::worldgen {

enum class Extent {
  kRing,   // the 13 x 13 landblocks the determinism check bakes, and a margin
  kWorld,  // every landblock of the 256 x 256 map
};

struct Options {
  std::uint64_t seed = 1;
  Extent extent = Extent::kRing;
};

// One file of an archive, as the archive writer takes it.
using WorldFile = authoring::ArchiveFile;

struct ArchiveContent {
  authoring::ArchiveOptions options;
  std::vector<WorldFile> files;  // increasing id order
};

// Landblocks of the ring that the world deliberately damages, so that the
// bake's failure handling is exercised.
inline constexpr std::uint16_t kLandblockWithoutTerrain = 0xA5B0;
inline constexpr std::uint16_t kLandblockWithTruncatedTerrain = 0xA7B3;
inline constexpr std::uint16_t kLandblockWithoutInfo = 0xA9B6;
inline constexpr std::uint16_t kLandblockWithBrokenInfo = 0xABB8;

// Files that are broken on purpose: a reader must fail on them.
bool is_deliberately_broken(std::uint32_t file_id);

// The landblocks the extent covers, in increasing id order.
std::vector<std::uint16_t> world_landblocks(Extent extent);

Result<ArchiveContent, ErrorChain> generate_portal(const Options& options);

// Reports progress as (landblocks done, landblocks in all).
using Progress = std::function<void(std::size_t done, std::size_t total)>;
ArchiveContent generate_cell(const Options& options, const Progress& progress = {});

// Both archives, "client_portal.dat" and "client_cell_1.dat", in `directory`.
Result<Ok, ErrorChain> write_world(const std::filesystem::path& directory, const Options& options,
                                   const Progress& progress = {});

}  // namespace quillmoor::worldgen
