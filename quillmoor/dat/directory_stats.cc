#include "quillmoor/dat/directory_stats.h"

#include "quillmoor/common/hex.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <unordered_set>

namespace quillmoor::dat {

namespace {

DatResult<Ok> walk(const DatDatabase& db, std::uint32_t offset, std::uint32_t depth,
                   std::unordered_set<std::uint32_t>& seen, DirectoryStats& stats) {
  if (offset == 0) return Ok{};
  if (!seen.insert(offset).second || depth > static_cast<std::uint32_t>(kMaxDirectoryDepth)) {
    return Err{DatError::corruption("directory is not a tree at node " + hex_id(offset))};
  }
  ++stats.nodes;
  stats.depth = std::max(stats.depth, depth);
  QM_ASSIGN_OR_RETURN(const auto node, db.read_file_data(offset, static_cast<std::uint32_t>(kNodeSize)));
  BinReader reader(node);
  std::array<std::uint32_t, kNodeBranches> branches{};
  for (auto& branch : branches) {
    QM_ASSIGN_OR_RETURN(branch, reader.read_u32());
  }
  QM_ASSIGN_OR_RETURN(const std::uint32_t entry_count, reader.read_u32());
  stats.entries += std::min<std::uint32_t>(entry_count, kNodeMaxEntries);
  if (branches[0] == 0) return Ok{};
  const std::size_t last = std::min<std::size_t>(entry_count, kNodeBranches - 1);
  for (std::size_t b = 0; b <= last; ++b) {
    if (branches[b] != 0) QM_TRY(walk(db, branches[b], depth + 1, seen, stats));
  }
  return Ok{};
}

}  // namespace

DatResult<DirectoryStats> directory_stats(const DatDatabase& db) {
  DirectoryStats stats;
  std::unordered_set<std::uint32_t> seen;
  QM_TRY(walk(db, db.header().root_offset, 1, seen, stats));
  return stats;
}

}  // namespace quillmoor::dat
