// quillmoor-dat: looks inside an archive. A library under a thin main so
// that every command can be run and checked in a test.
//
//   quillmoor-dat info ARCHIVE [--json]
//   quillmoor-dat ls ARCHIVE [--kind KK] [--json]
//   quillmoor-dat cat ARCHIVE ID
//   quillmoor-dat show ARCHIVE ID [--as KIND]
//
// Exit status: 0 on success, 1 after an error report (render_report, as
// twinrun prints it), 2 for a usage error. Diagnostics go to standard
// error, results to standard output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apps/dat_tool/json.h"

#include "quillmoor/common/hex.h"
#include "quillmoor/common/error_chain.h"
#include "quillmoor/common/result.h"
#include "quillmoor/dat/archive.h"
#include "quillmoor/dat/directory_stats.h"

namespace quillmoor::dat_tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUsage = 2;

extern const char* const kUsage;



// The readers `show` can apply.
enum class RecordKind { kRegion, kScene, kSetupModel, kGfxObj, kTerrain, kInfo };
std::optional<RecordKind> parse_record_kind(std::string_view name);
const char* record_kind_name(RecordKind kind);

// The reader for `id`. An archive that holds the region file is a portal
// archive, where the kind byte decides (0x01 graphics object, 0x02 setup
// model, 0x12 scene, the region itself); any other archive is taken as a
// cell archive, where the low 16 bits do (0xFFFF terrain, 0xFFFE info).
std::optional<RecordKind> record_kind_for(std::uint32_t id, bool portal_archive);

// The parsed record of `id`, or the error: "fetch file 0x{:08X}" over the
// archive error, "parse 0x{:08X} as {kind}" over the reader's error, or
// "no reader for file 0x{:08X} (choose one with --as)".
Result<Json, ErrorChain> show_record(const dat::DatDatabase& db, std::uint32_t id,
                                     std::optional<RecordKind> forced = std::nullopt);

// The `info` summary.
Result<Json, ErrorChain> info_json(const dat::DatDatabase& db);

// The entries of the archive sorted by id, those of one kind byte only
// when `kind` is given.
std::vector<dat::DatFileEntry> sorted_entries(const dat::DatDatabase& db, std::optional<std::uint8_t> kind);

// One `ls` line: id, stored size, flags and "compressed" or "stored".
std::string ls_line(const dat::DatFileEntry& entry);
Json ls_json(const dat::DatFileEntry& entry);

// The whole command; `args` excludes the program name.
int run_dat_tool(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace quillmoor::dat_tool
