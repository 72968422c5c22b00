// The sample world's archives for the benchmarks: the ones that
// QUILLMOOR_PORTAL_DAT and QUILLMOOR_CELL_DAT name, else those the build
// generates in <build>/sample-world (the benchmark targets depend on it).
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "quillmoor/common/error_chain.h"
#include "quillmoor/dat/archive.h"

namespace quillmoor::authoring {

struct BenchWorld {
  dat::DatDatabase portal;
  dat::DatDatabase cell;

  // Every entry of `db` whose id satisfies `pick`, in increasing id order.
  template <class Pick>
  static std::vector<dat::DatFileEntry> entries(const dat::DatDatabase& db, Pick pick) {
    std::vector<dat::DatFileEntry> out;
    for (const auto& [id, entry] : db.entries()) {
      if (pick(id)) out.push_back(entry);
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    return out;
  }
};

inline std::string bench_world_path(const char* variable, const char* name) {
  if (const char* v = std::getenv(variable); v != nullptr && *v != '\0') return v;
#ifdef QUILLMOOR_BINARY_DIR
  return std::string(QUILLMOOR_BINARY_DIR) + "/sample-world/" + name;
#else
  return name;
#endif
}

// Opens both archives once per process; exits with a report when they
// cannot be opened (a benchmark without its data measures nothing).
inline const BenchWorld& bench_world() {
  static const BenchWorld world = [] {
    auto open = [](const std::string& path) {
      auto db = dat::DatDatabase::open(path);
      if (!db.ok()) {
        std::fputs(render_report(db.error().to_chain().context("open " + path)).c_str(), stderr);
        std::exit(1);
      }
      return std::move(db).value();
    };
    return BenchWorld{open(bench_world_path("QUILLMOOR_PORTAL_DAT", "client_portal.dat")),
                      open(bench_world_path("QUILLMOOR_CELL_DAT", "client_cell_1.dat"))};
  }();
  return world;
}

}  // namespace quillmoor::authoring
