#include "apps/dat_tool/dat_tool.h"

#include "quillmoor/common/hex.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "apps/dat_tool/record_json.h"
#include "quillmoor/common/text_encoding.h"
#include "quillmoor/dat/landblock.h"

namespace quillmoor::dat_tool {

const char* const kUsage =
    "usage: quillmoor-dat COMMAND ARCHIVE [ARGS]\n"
    "\n"
    "Looks inside an archive (client_portal.dat or client_cell_1.dat).\n"
    "  info ARCHIVE [--json]               header fields, block size, file count,\n"
    "                                      directory depth and nodes, compressed files\n"
    "  ls ARCHIVE [--kind KK] [--json]     one line per file, sorted by id: id, stored\n"
    "                                      size, flags, compressed or stored; --kind keeps\n"
    "                                      the ids whose top byte is KK (hex, e.g. 0x01)\n"
    "  cat ARCHIVE ID                      the file's bytes, decompressed, to standard output\n"
    "  show ARCHIVE ID [--as KIND]         the parsed record as JSON. The reader follows the\n"
    "                                      id: in an archive with the region file 0x13000000\n"
    "                                      by kind byte (0x01 gfx, 0x02 setup, 0x12 scene),\n"
    "                                      otherwise by the low 16 bits (FFFF terrain, FFFE\n"
    "                                      info). KIND: region scene setup gfx terrain info\n"
    "\n"
    "IDs are hexadecimal, with or without 0x. Exit status: 0 success, 1 error report,\n"
    "2 usage error.\n";

namespace {

constexpr const char* kProgram = "quillmoor-dat";

template <class T>
Result<Json, ErrorChain> parse_with(std::span<const std::uint8_t> bytes, std::uint32_t id, RecordKind kind) {
  const auto context = "parse " + hex_id(id) + " as " + record_kind_name(kind);
  if constexpr (std::is_same_v<T, dat::CellLandblock> || std::is_same_v<T, dat::LandblockInfo>) {
    auto record = T::unpack(bytes);
    if (!record.ok()) return Err{record.error().to_chain().context(context)};
    return to_json(*record);
  } else {
    dat::BinReader reader(bytes);
    auto record = T::unpack(reader);
    if (!record.ok()) return Err{record.error().to_chain().context(context)};
    return to_json(*record);
  }
}

struct Parsed {
  std::vector<std::string> positional;
  bool json = false;
  std::optional<std::string> kind;  // --kind
  std::optional<std::string> as;    // --as
};

int usage_error(std::FILE* err, const std::string& message) {
  std::fprintf(err, "%s: %s\n\n%s", kProgram, message.c_str(), kUsage);
  return kExitUsage;
}

int report(std::FILE* err, const ErrorChain& error) {
  std::fputs(render_report(error).c_str(), err);
  return kExitError;
}

Result<dat::DatDatabase, ErrorChain> open(const std::string& path) {
  auto db = dat::DatDatabase::open(path);
  if (!db.ok()) return Err{db.error().to_chain().context("open " + lossy_utf8(path))};
  return std::move(db).value();
}

void print_info_text(std::FILE* out, const Json& info) {
  for (const auto& [key, value] : info.members()) {
    std::fprintf(out, "%-17s %s\n", (key + ":").c_str(), value.text().c_str());
  }
}

}  // namespace


namespace {
constexpr std::array<std::pair<RecordKind, const char*>, 6> kKindNames = {{
    {RecordKind::kRegion, "region"},
    {RecordKind::kScene, "scene"},
    {RecordKind::kSetupModel, "setup"},
    {RecordKind::kGfxObj, "gfx"},
    {RecordKind::kTerrain, "terrain"},
    {RecordKind::kInfo, "info"},
}};
}  // namespace

std::optional<RecordKind> parse_record_kind(std::string_view name) {
  for (const auto& [kind, text] : kKindNames) {
    if (name == text) return kind;
  }
  return std::nullopt;
}

const char* record_kind_name(RecordKind kind) {
  switch (kind) {
    case RecordKind::kRegion: return "Region";
    case RecordKind::kScene: return "Scene";
    case RecordKind::kSetupModel: return "SetupModel";
    case RecordKind::kGfxObj: return "GfxObj";
    case RecordKind::kTerrain: return "CellLandblock";
    case RecordKind::kInfo: return "LandblockInfo";
  }
  return "?";
}

std::optional<RecordKind> record_kind_for(std::uint32_t id, bool portal_archive) {
  if (portal_archive) {
    if (id == dat::kRegionFileId) return RecordKind::kRegion;
    switch (id >> 24) {
      case 0x01: return RecordKind::kGfxObj;
      case 0x02: return RecordKind::kSetupModel;
      case 0x12: return RecordKind::kScene;
      default: return std::nullopt;
    }
  }
  switch (id & 0xFFFF) {
    case 0xFFFF: return RecordKind::kTerrain;
    case 0xFFFE: return RecordKind::kInfo;
    default: return std::nullopt;
  }
}

Result<Json, ErrorChain> show_record(const dat::DatDatabase& db, std::uint32_t id,
                                     std::optional<RecordKind> forced) {
  const bool portal = db.find(dat::kRegionFileId) != nullptr;
  const std::optional<RecordKind> kind = forced ? forced : record_kind_for(id, portal);
  if (!kind) {
    return Err{ErrorChain("no reader for file " + hex_id(id) + " (choose one with --as)")};
  }
  auto bytes = db.get_file(id);
  if (!bytes.ok()) return Err{bytes.error().to_chain().context("fetch file " + hex_id(id))};
  switch (*kind) {
    case RecordKind::kRegion: return parse_with<dat::Region>(*bytes, id, *kind);
    case RecordKind::kScene: return parse_with<dat::Scene>(*bytes, id, *kind);
    case RecordKind::kSetupModel: return parse_with<dat::SetupModel>(*bytes, id, *kind);
    case RecordKind::kGfxObj: return parse_with<dat::GfxObj>(*bytes, id, *kind);
    case RecordKind::kTerrain: return parse_with<dat::CellLandblock>(*bytes, id, *kind);
    case RecordKind::kInfo: return parse_with<dat::LandblockInfo>(*bytes, id, *kind);
  }
  return Err{ErrorChain("no reader for file " + hex_id(id))};
}

Result<Json, ErrorChain> info_json(const dat::DatDatabase& db) {
  auto stats = dat::directory_stats(db);
  if (!stats.ok()) return Err{stats.error().to_chain().context("walk the directory")};
  std::uint64_t compressed = 0;
  for (const auto& [id, entry] : db.entries()) compressed += (entry.bit_flags & dat::kEntryCompressed) != 0;
  const dat::DatHeader& h = db.header();
  Json out = Json::object();
  out.set("magic", Json::hex(h.magic));
  out.set("block_size", Json::number(h.block_size));
  out.set("file_size", Json::number(h.file_size));
  out.set("dataset", Json::number(h.dataset));
  out.set("subset", Json::number(h.subset));
  out.set("free_head", Json::hex(h.free_head));
  out.set("free_tail", Json::hex(h.free_tail));
  out.set("free_count", Json::number(h.free_count));
  out.set("root_offset", Json::hex(h.root_offset));
  out.set("new_lru", Json::hex(h.new_lru));
  out.set("old_lru", Json::hex(h.old_lru));
  out.set("use_lru", Json::hex(h.use_lru));
  out.set("master_map_id", Json::hex(h.master_map_id));
  out.set("engine_version", Json::number(h.engine_version));
  out.set("game_version", Json::number(h.game_version));
  out.set("version_string", Json::hex_bytes(h.version_string.data(), h.version_string.size()));
  out.set("version_minor", Json::number(h.version_minor));
  out.set("archive_length", Json::number(db.file_length()));
  out.set("file_count", Json::number(std::uint64_t{db.file_count()}));
  out.set("compressed_files", Json::number(compressed));
  out.set("tree_depth", Json::number(stats->depth));
  out.set("tree_nodes", Json::number(stats->nodes));
  out.set("tree_entries", Json::number(stats->entries));
  return out;
}

std::vector<dat::DatFileEntry> sorted_entries(const dat::DatDatabase& db, std::optional<std::uint8_t> kind) {
  std::vector<dat::DatFileEntry> out;
  out.reserve(db.file_count());
  for (const auto& [id, entry] : db.entries()) {
    if (!kind || (id >> 24) == *kind) out.push_back(entry);
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  return out;
}

std::string ls_line(const dat::DatFileEntry& e) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "0x%08X %10u 0x%08X %s", e.id, e.size, e.bit_flags,
                (e.bit_flags & dat::kEntryCompressed) != 0 ? "compressed" : "stored");
  return buf;
}

Json ls_json(const dat::DatFileEntry& e) {
  return Json::object()
      .set("id", Json::hex(e.id))
      .set("size", Json::number(e.size))
      .set("flags", Json::number(e.bit_flags))
      .set("compressed", Json::boolean((e.bit_flags & dat::kEntryCompressed) != 0));
}

int run_dat_tool(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  for (const auto& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, out);
      return kExitOk;
    }
  }
  if (args.empty()) return usage_error(err, "missing COMMAND");
  const std::string& command = args[0];
  Parsed p;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--json") {
      p.json = true;
    } else if (arg == "--kind" || arg == "--as") {
      if (i + 1 >= args.size()) return usage_error(err, arg + " needs a value");
      (arg == "--kind" ? p.kind : p.as) = args[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usage_error(err, "unknown option " + arg);
    } else {
      p.positional.push_back(arg);
    }
  }

  const auto expect = [&](std::size_t count, const char* shape) -> std::optional<int> {
    if (p.positional.size() != count) {
      return usage_error(err, command + " takes " + shape);
    }
    return std::nullopt;
  };
  const auto allow = [&](bool json, bool kind, bool as) -> std::optional<int> {
    if (p.json && !json) return usage_error(err, command + " does not take --json");
    if (p.kind && !kind) return usage_error(err, command + " does not take --kind");
    if (p.as && !as) return usage_error(err, command + " does not take --as");
    return std::nullopt;
  };
  const auto file_id = [&]() -> std::optional<std::uint32_t> { return parse_hex(p.positional[1]); };

  if (command == "info") {
    if (auto e = expect(1, "ARCHIVE")) return *e;
    if (auto e = allow(true, false, false)) return *e;
    auto db = open(p.positional[0]);
    if (!db.ok()) return report(err, db.error());
    auto info = info_json(*db);
    if (!info.ok()) return report(err, info.error());
    if (p.json) {
      std::fprintf(out, "%s\n", info->pretty().c_str());
    } else {
      print_info_text(out, *info);
    }
    return kExitOk;
  }
  if (command == "ls") {
    if (auto e = expect(1, "ARCHIVE")) return *e;
    if (auto e = allow(true, true, false)) return *e;
    std::optional<std::uint8_t> kind;
    if (p.kind) {
      const auto k = parse_hex(*p.kind, 0xFF);
      if (!k) return usage_error(err, "--kind takes a hexadecimal byte such as 0x01, not '" + *p.kind + "'");
      kind = static_cast<std::uint8_t>(*k);
    }
    auto db = open(p.positional[0]);
    if (!db.ok()) return report(err, db.error());
    for (const auto& entry : sorted_entries(*db, kind)) {
      std::fprintf(out, "%s\n", p.json ? ls_json(entry).dump().c_str() : ls_line(entry).c_str());
    }
    return kExitOk;
  }
  if (command == "cat" || command == "show") {
    if (auto e = expect(2, "ARCHIVE ID")) return *e;
    if (auto e = allow(false, false, command == "show")) return *e;
    const auto id = file_id();
    if (!id) return usage_error(err, "ID is a hexadecimal file id such as 0x13000000, not '" + p.positional[1] + "'");
    std::optional<RecordKind> forced;
    if (p.as) {
      forced = parse_record_kind(*p.as);
      if (!forced) return usage_error(err, "--as takes region, scene, setup, gfx, terrain or info, not '" + *p.as + "'");
    }
    auto db = open(p.positional[0]);
    if (!db.ok()) return report(err, db.error());
    if (command == "cat") {
      auto bytes = db->get_file(*id);
      if (!bytes.ok()) return report(err, bytes.error().to_chain().context("fetch file " + hex_id(*id)));
      if (!bytes->empty() && std::fwrite(bytes->data(), 1, bytes->size(), out) != bytes->size()) {
        return report(err, ErrorChain("write to standard output failed"));
      }
      return kExitOk;
    }
    auto record = show_record(*db, *id, forced);
    if (!record.ok()) return report(err, record.error());
    std::fprintf(out, "%s\n", record->pretty().c_str());
    return kExitOk;
  }
  return usage_error(err, "unknown command '" + command + "'");
}

}  // namespace quillmoor::dat_tool
