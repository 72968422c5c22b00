// The determinism check as a library: locate and open both archives, load
// the region, bake the ring twice, write both runs, compare and report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "apps/twinrun/ring_bake.h"
#include "quillmoor/common/error_chain.h"
#include "quillmoor/common/result.h"

namespace quillmoor::twinrun {

// Reads an environment variable as a raw operating-system string.
using EnvLookup = std::function<std::optional<std::string>(const char* name)>;

// The built-in fallbacks (set by the build, see apps/twinrun/CMakeLists.txt).
struct Settings {
  std::vector<std::string> portal_fallbacks;
  std::vector<std::string> cell_fallbacks;
  std::string default_output_dir;
};

Settings built_in_settings();

// The environment variable first when set (an empty value included), then
// the fallbacks in order.
std::vector<std::string> candidate_paths(const std::optional<std::string>& variable,
                                         const std::vector<std::string>& fallbacks);

// The first candidate for which the file system returns metadata
// (following symbolic links); any kind of object passes.
std::optional<std::string> locate(const std::vector<std::string>& candidates);

// The 169 landblocks of the ring: x 0xA3..0xAF outer, y 0xAE..0xBA inner.
std::vector<std::uint16_t> ring_landblocks();

// "0x{:04X}.scenery.jsonl" in `directory`: each line followed by a line
// feed, nothing else; the file is created or replaced.
Result<Ok, ErrorChain> write_lines(const std::filesystem::path& directory, std::uint16_t landblock,
                                   std::span<const std::string> lines);

// The landblocks whose lines differ between the runs, in ring order, with
// the total of run 1's lines. `sequence_drift` is set instead when the two
// runs disagree on the landblock at some position.
struct Comparison {
  std::uint64_t total_placements = 0;
  std::vector<std::uint16_t> drifted;
  std::optional<std::size_t> sequence_drift;
};
Comparison compare_runs(const RunResult& run1, const RunResult& run2);

// Prints the detail lines of every drifted landblock.
void print_drift(std::FILE* err, const Comparison& comparison, const RunResult& run1,
                 const RunResult& run2);

inline constexpr int kSequenceDriftStatus = 101;

// Compares the runs and prints the totals and the verdict: 0 after PASS,
// kSequenceDriftStatus when the runs disagree on the landblock order, the
// FAIL error after the drift details otherwise.
Result<int, ErrorChain> report_comparison(std::FILE* err, const RunResult& run1, const RunResult& run2);

// The whole tool. Messages go to `err`; returns the exit status: 0 after
// PASS, 1 after an error report (FAIL included), 101 when the two runs
// disagree on the landblock order.
int run_twinrun(const EnvLookup& env, const Settings& settings, std::FILE* err);

}  // namespace quillmoor::twinrun
