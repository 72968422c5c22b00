// quillmoor-bake: bakes any landblocks of a world, in either height mode,
// on one or more threads, writing twinrun's placement lines and, on
// request, a picture of the result.
//
//   quillmoor-bake [--portal P] [--cell C] (LB... | --all) [--slope]
//                  [--out DIR | --stream FILE] [--map FILE.svg]
//                  [--threads N] [--progress | --no-progress]
//
// Exit status: 0 on success, 1 after an error report (render_report), 2
// for a usage error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apps/twinrun/twinrun.h"
#include "quillmoor/common/error_chain.h"
#include "quillmoor/common/result.h"

namespace quillmoor::bake_tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUsage = 2;

extern const char* const kUsage;

// Landblock arguments: single ids ("A9B4" or "0xA9B4") and ranges
// "A3AE-AFBA", the rectangle of x 0xA3..0xAF and y 0xAE..0xBA. The result
// is sorted by id (x-major, as twinrun's ring) without repeats; the error
// names the argument that is neither.
Result<std::vector<std::uint16_t>, std::string> parse_landblocks(const std::vector<std::string>& args);

// The landblocks whose terrain file the cell archive holds, by id.
std::vector<std::uint16_t> landblocks_with_terrain(const dat::DatDatabase& cell);

// `line` with "landblock":"0x{:04X}" as its first member.
std::string stream_line(std::uint16_t landblock, const std::string& line);

enum class ProgressMode { kAuto, kOn, kOff };

struct Options {
  std::optional<std::string> portal;  // else QUILLMOOR_PORTAL_DAT, then twinrun's fallbacks
  std::optional<std::string> cell;    // else QUILLMOOR_CELL_DAT, then twinrun's fallbacks
  std::vector<std::uint16_t> landblocks;
  bool all = false;
  bool slope = false;
  std::optional<std::string> out_dir;
  std::optional<std::string> stream;  // "-" is standard output
  std::optional<std::string> map;
  unsigned threads = 1;
  ProgressMode progress = ProgressMode::kAuto;
};

// Parses the arguments (program name excluded). The error is the usage
// message's first line.
Result<Options, std::string> parse_options(const std::vector<std::string>& args);

// Runs a parsed command. Lines go to the stream or the files; without
// --out or --stream they go to `out`, unless only a map was asked for.
int run_bake(const Options& options, const twinrun::EnvLookup& env, const twinrun::Settings& settings,
             std::FILE* out, std::FILE* err);

// The whole command: --help, usage errors, then run_bake.
int run_bake_tool(const std::vector<std::string>& args, const twinrun::EnvLookup& env,
                  const twinrun::Settings& settings, std::FILE* out, std::FILE* err);

}  // namespace quillmoor::bake_tool
