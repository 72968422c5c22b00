// The shape of an archive's directory tree, for people and tools that
// describe an archive (opening it needs none of this).
#pragma once

#include <cstdint>

#include "quillmoor/dat/archive.h"

namespace quillmoor::dat {

// Found by walking the tree again the way the archive was indexed: depth in
// levels (0 without a directory, 1 for a lone root), the number of nodes
// and of the entries they hold (the file count, unless an id repeats).
struct DirectoryStats {
  std::uint32_t depth = 0;
  std::uint64_t nodes = 0;
  std::uint64_t entries = 0;
};

DatResult<DirectoryStats> directory_stats(const DatDatabase& db);

}  // namespace quillmoor::dat
