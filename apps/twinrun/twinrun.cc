#include "apps/twinrun/twinrun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "quillmoor/common/io_error.h"
#include "quillmoor/common/text_encoding.h"
#include "quillmoor/dat/archive.h"
#include "quillmoor/dat/region.h"

#ifndef QUILLMOOR_PORTAL_FALLBACK_1
#define QUILLMOOR_PORTAL_FALLBACK_1 "/opt/quillmoor/world/client_portal.dat"
#endif
#ifndef QUILLMOOR_PORTAL_FALLBACK_2
#define QUILLMOOR_PORTAL_FALLBACK_2 "/usr/local/share/quillmoor/client_portal.dat"
#endif
#ifndef QUILLMOOR_CELL_FALLBACK_1
#define QUILLMOOR_CELL_FALLBACK_1 "/opt/quillmoor/world/client_cell_1.dat"
#endif
#ifndef QUILLMOOR_CELL_FALLBACK_2
#define QUILLMOOR_CELL_FALLBACK_2 "/usr/local/share/quillmoor/client_cell_1.dat"
#endif
#ifndef QUILLMOOR_DEFAULT_OUT
#define QUILLMOOR_DEFAULT_OUT "/tmp/quillmoor-determinism"
#endif

namespace quillmoor::twinrun {

namespace {

constexpr const char* kPortalVariable = "QUILLMOOR_PORTAL_DAT";
constexpr const char* kCellVariable = "QUILLMOOR_CELL_DAT";
constexpr const char* kOutVariable = "QUILLMOOR_DETERMINISM_OUT";

std::string display(const std::filesystem::path& path) { return lossy_utf8(path.native()); }

// Writes all of `data` to `fd`, retrying interrupted and partial writes.
bool write_all(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

Result<dat::DatDatabase, ErrorChain> open_archive(const std::string& path, const char* context) {
  auto db = dat::DatDatabase::open(path);
  if (!db.ok()) return Err{db.error().to_chain().context(context)};
  return std::move(db).value();
}

Result<dat::Region, ErrorChain> load_region(const dat::DatDatabase& portal) {
  auto bytes = portal.get_file(dat::kRegionFileId);
  if (!bytes.ok()) return Err{bytes.error().to_chain().context("fetch Region 0x13000000")};
  dat::BinReader reader(*bytes);
  auto region = dat::Region::unpack(reader);
  if (!region.ok()) return Err{region.error().to_chain().context("parse Region")};
  return std::move(region).value();
}

// Everything between start-up and the verdict; the archives, region and
// runs are released when it returns, before any report is printed.
Result<int, ErrorChain> run(const EnvLookup& env, const Settings& settings, std::FILE* err) {
  const auto portal_var = env(kPortalVariable);
  const auto cell_var = env(kCellVariable);
  const auto portal_candidates = candidate_paths(portal_var, settings.portal_fallbacks);
  const auto cell_candidates = candidate_paths(cell_var, settings.cell_fallbacks);

  const auto portal_path = locate(portal_candidates);
  if (!portal_path) return Err{ErrorChain("client_portal.dat not found in any candidate location")};
  const auto cell_path = locate(cell_candidates);
  if (!cell_path) return Err{ErrorChain("client_cell_1.dat not found in any candidate location")};

  std::fprintf(err, "twinrun: portal=%s cell=%s\n", lossy_utf8(*portal_path).c_str(),
               lossy_utf8(*cell_path).c_str());
  std::fflush(err);

  QM_ASSIGN_OR_RETURN(const dat::DatDatabase portal, open_archive(*portal_path, "open portal"));
  QM_ASSIGN_OR_RETURN(const dat::DatDatabase cell, open_archive(*cell_path, "open cell"));
  QM_ASSIGN_OR_RETURN(const dat::Region region, load_region(portal));

  const std::vector<std::uint16_t> ring = ring_landblocks();
  std::fprintf(err, "twinrun: baking 13\u00D713 = %zu LBs (run 1)\n", ring.size());
  std::fflush(err);
  const RunResult run1 = bake_ring_to_lines(region, portal, cell, ring);
  std::fprintf(err, "twinrun: baking 13\u00D713 = %zu LBs (run 2)\n", ring.size());
  std::fflush(err);
  const RunResult run2 = bake_ring_to_lines(region, portal, cell, ring);

  const std::filesystem::path out = env(kOutVariable).value_or(settings.default_output_dir);
  for (const char* sub : {"run1", "run2"}) {
    std::error_code ec;
    std::filesystem::create_directories(out / sub, ec);
    if (ec) return Err{ErrorChain(IoError::from_errno(ec.value()).message())};
  }
  for (const auto& [runs, sub] : {std::pair{&run1, "run1"}, std::pair{&run2, "run2"}}) {
    for (const LandblockLines& entry : *runs) QM_TRY(write_lines(out / sub, entry.landblock, entry.lines));
  }

  return report_comparison(err, run1, run2);
}

const LandblockLines* first_with_id(const RunResult& run, std::uint16_t id) {
  for (const auto& entry : run) {
    if (entry.landblock == id) return &entry;
  }
  return nullptr;
}

}  // namespace

Settings built_in_settings() {
  return Settings{
      {QUILLMOOR_PORTAL_FALLBACK_1, QUILLMOOR_PORTAL_FALLBACK_2},
      {QUILLMOOR_CELL_FALLBACK_1, QUILLMOOR_CELL_FALLBACK_2},
      QUILLMOOR_DEFAULT_OUT,
  };
}

std::vector<std::string> candidate_paths(const std::optional<std::string>& variable,
                                         const std::vector<std::string>& fallbacks) {
  std::vector<std::string> out;
  if (variable) out.push_back(*variable);
  out.insert(out.end(), fallbacks.begin(), fallbacks.end());
  return out;
}

std::optional<std::string> locate(const std::vector<std::string>& candidates) {
  for (const auto& candidate : candidates) {
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0) return candidate;
  }
  return std::nullopt;
}

std::vector<std::uint16_t> ring_landblocks() {
  std::vector<std::uint16_t> ids;
  ids.reserve(169);
  for (unsigned x = 0xA3; x <= 0xAF; ++x) {
    for (unsigned y = 0xAE; y <= 0xBA; ++y) ids.push_back(static_cast<std::uint16_t>((x << 8) | y));
  }
  return ids;
}

Result<Ok, ErrorChain> write_lines(const std::filesystem::path& directory, std::uint16_t landblock,
                                   std::span<const std::string> lines) {
  char name[32];
  std::snprintf(name, sizeof name, "0x%04X.scenery.jsonl", landblock);
  const std::filesystem::path path = directory / name;
  std::string content;
  for (const auto& line : lines) {
    content += line;
    content += '\n';
  }
  const auto fail = [&](int error) {
    return Err{ErrorChain(IoError::from_errno(error).message()).context("write " + display(path))};
  };
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return fail(errno);
  const bool written = write_all(fd, content);
  const int write_error = errno;
  if (::close(fd) != 0 && written) return fail(errno);
  if (!written) return fail(write_error);
  return Ok{};
}

Comparison compare_runs(const RunResult& run1, const RunResult& run2) {
  Comparison c;
  const std::size_t n = std::min(run1.size(), run2.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (run1[i].landblock != run2[i].landblock) {
      c.sequence_drift = i;
      return c;
    }
    c.total_placements += run1[i].lines.size();
    if (run1[i].lines != run2[i].lines) c.drifted.push_back(run1[i].landblock);
  }
  return c;
}

void print_drift(std::FILE* err, const Comparison& comparison, const RunResult& run1,
                 const RunResult& run2) {
  for (const std::uint16_t id : comparison.drifted) {
    const LandblockLines* a = first_with_id(run1, id);
    const LandblockLines* b = first_with_id(run2, id);
    std::fprintf(err, "  LB 0x%04X: %zu vs %zu lines\n", id, a->lines.size(), b->lines.size());
    const std::size_t n = std::min(a->lines.size(), b->lines.size());
    for (std::size_t i = 0; i < n; ++i) {
      if (a->lines[i] != b->lines[i]) {
        std::fprintf(err, "    line %zu: %s\n", i, a->lines[i].c_str());
        std::fprintf(err, "           : %s\n", b->lines[i].c_str());
        break;
      }
    }
  }
}

Result<int, ErrorChain> report_comparison(std::FILE* err, const RunResult& run1, const RunResult& run2) {
  const Comparison comparison = compare_runs(run1, run2);
  if (comparison.sequence_drift) {
    const std::size_t i = *comparison.sequence_drift;
    std::fprintf(err, "twinrun: internal error: lb sequence drift at position %zu: 0x%04X vs 0x%04X\n",
                 i, run1[i].landblock, run2[i].landblock);
    return kSequenceDriftStatus;
  }
  std::fprintf(err, "twinrun: total placements = %llu across %zu LBs\n",
               static_cast<unsigned long long>(comparison.total_placements), run1.size());
  if (comparison.drifted.empty()) {
    std::fprintf(err, "twinrun: PASS \u2014 all 169 LBs byte-identical across 2 runs\n");
    return 0;
  }
  print_drift(err, comparison, run1, run2);
  return Err{ErrorChain("twinrun: FAIL \u2014 " + std::to_string(comparison.drifted.size()) +
                        " LBs drifted between runs")};
}

int run_twinrun(const EnvLookup& env, const Settings& settings, std::FILE* err) {
  auto outcome = run(env, settings, err);
  if (outcome.ok()) return *outcome;
  std::fputs(render_report(outcome.error()).c_str(), err);
  return 1;
}

}  // namespace quillmoor::twinrun
