// quillmoor-worldgen: writes the sample world's two archives.
//
//   quillmoor-worldgen OUTDIR [--seed N] [--extent ring|world]
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "apps/worldgen/world.h"
#include "quillmoor/dat/archive.h"
#include "quillmoor/dat/directory_stats.h"

namespace {

constexpr const char* kUsage =
    "usage: quillmoor-worldgen OUTDIR [--seed N] [--extent ring|world]\n"
    "\n"
    "Writes client_portal.dat and client_cell_1.dat of the sample world into OUTDIR.\n"
    "  --seed N        world seed (default 1); the same arguments give the same bytes\n"
    "  --extent ring   the 13x13 landblocks twinrun bakes, with a margin (default)\n"
    "  --extent world  all 256x256 landblocks\n";

int usage_error(const std::string& message) {
  std::fprintf(stderr, "quillmoor-worldgen: %s\n\n%s", message.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillmoor::worldgen;
  Options options;
  const char* out = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--seed" || arg == "--extent") {
      if (i + 1 >= argc) return usage_error(arg + " needs a value");
      const std::string value = argv[++i];
      if (arg == "--seed") {
        char* end = nullptr;
        errno = 0;
        const unsigned long long seed = std::strtoull(value.c_str(), &end, 0);
        if (value.empty() || *end != '\0' || errno != 0 || value[0] == '-') {
          return usage_error("--seed takes a non-negative whole number, not '" + value + "'");
        }
        options.seed = seed;
      } else if (value == "ring") {
        options.extent = Extent::kRing;
      } else if (value == "world") {
        options.extent = Extent::kWorld;
      } else {
        return usage_error("--extent takes ring or world, not '" + value + "'");
      }
    } else if (!arg.empty() && arg[0] == '-') {
      return usage_error("unknown option " + arg);
    } else if (out == nullptr) {
      out = argv[i];
    } else {
      return usage_error("more than one output directory");
    }
  }
  if (out == nullptr) return usage_error("missing OUTDIR");

  const bool large = options.extent == Extent::kWorld;
  Progress progress;
  if (large) {
    progress = [](std::size_t done, std::size_t total) {
      std::fprintf(stderr, "\rquillmoor-worldgen: landblocks %zu/%zu", done, total);
      if (done == total) std::fputc('\n', stderr);
    };
  }
  auto written = write_world(out, options, progress);
  if (!written.ok()) {
    std::fputs(quillmoor::render_report(written.error()).c_str(), stderr);
    return 1;
  }
  for (const char* name : {"client_portal.dat", "client_cell_1.dat"}) {
    const auto path = std::filesystem::path(out) / name;
    auto db = quillmoor::dat::DatDatabase::open(path);
    if (!db.ok()) {
      std::fputs(quillmoor::render_report(db.error().to_chain().context("open " + path.string())).c_str(), stderr);
      return 1;
    }
    std::size_t compressed = 0;
    for (const auto& [id, entry] : db->entries()) compressed += entry.bit_flags & 1;
    const auto stats = quillmoor::dat::directory_stats(*db);
    std::fprintf(stderr,
                 "quillmoor-worldgen: wrote %s: %zu files (%zu compressed), %llu bytes, block size %u, "
                 "directory depth %u in %llu nodes\n",
                 path.c_str(), db->file_count(), compressed,
                 static_cast<unsigned long long>(std::filesystem::file_size(path)), db->header().block_size,
                 stats.ok() ? stats->depth : 0, stats.ok() ? static_cast<unsigned long long>(stats->nodes) : 0ull);
  }
  return 0;
}
