#include "apps/bake_tool/bake_tool.h"

#include "quillmoor/common/hex.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "apps/bake_tool/parallel_bake.h"
#include "apps/bake_tool/svg_map.h"
#include "quillmoor/common/io_error.h"
#include "quillmoor/common/text_encoding.h"
#include "quillmoor/dat/landblock.h"
#include "quillmoor/dat/region.h"

namespace quillmoor::bake_tool {

const char* const kUsage =
    "usage: quillmoor-bake [--portal P] [--cell C] (LB... | --all) [--slope]\n"
    "                      [--out DIR | --stream FILE] [--map FILE.svg]\n"
    "                      [--threads N] [--progress | --no-progress]\n"
    "\n"
    "Bakes the scenery of landblocks and writes the placement lines twinrun writes.\n"
    "  LB                a landblock id in hex (A9B4 or 0xA9B4), or a range A3AE-AFBA:\n"
    "                    x from A3 to AF, y from AE to BA (twinrun's ring)\n"
    "  --all             every landblock whose terrain is in the cell archive\n"
    "  --slope           bilinear heights with the descriptors' slope limits\n"
    "                    (default: the terrain triangle's plane, no slope test, as twinrun)\n"
    "  --out DIR         one file per landblock, DIR/0xXXXX.scenery.jsonl\n"
    "  --stream FILE     one stream, each line led by \"landblock\":\"0xXXXX\" (- for\n"
    "                    standard output; the default unless --out or --map is given)\n"
    "  --map FILE.svg    a picture: terrain by height, roads, footprints, placements\n"
    "  --threads N       bake on N threads (default 1); the output is the same\n"
    "  --progress        a progress bar on standard error (default: when it is a terminal)\n"
    "  --portal, --cell  the archives; default QUILLMOOR_PORTAL_DAT and QUILLMOOR_CELL_DAT,\n"
    "                    then the locations twinrun falls back to\n"
    "\n"
    "Landblocks are baked and written in id order. A landblock without terrain has no\n"
    "lines (an empty file with --out). Exit status: 0 success, 1 error report, 2 usage error.\n";

namespace {

constexpr const char* kProgram = "quillmoor-bake";

std::optional<std::uint16_t> parse_id(std::string_view text) {
  const auto value = parse_hex(text, 0xFFFF);
  if (!value) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

std::string display(const std::filesystem::path& path) { return lossy_utf8(path.native()); }

// Writes to a FILE, remembering the first failure.
class Stream {
 public:
  explicit Stream(std::FILE* file) : file_(file) {}
  bool put(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
    return !failed_;
  }
  bool failed() const { return failed_; }

 private:
  std::FILE* file_;
  bool failed_ = false;
};

class ProgressBar {
 public:
  ProgressBar(std::FILE* err, std::size_t total, bool shown) : err_(err), total_(total), shown_(shown) {}
  void update(std::size_t done) {
    if (!shown_ || total_ == 0) return;
    const std::size_t permille = done * 1000 / total_;
    if (permille == last_ && done != total_) return;
    last_ = permille;
    constexpr int kWidth = 40;
    const int filled = static_cast<int>(done * kWidth / total_);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '-');
    std::fprintf(err_, "\r%s: [%s] %zu/%zu LBs", kProgram, bar.c_str(), done, total_);
    if (done == total_) std::fputc('\n', err_);
    std::fflush(err_);
  }

 private:
  std::FILE* err_;
  std::size_t total_;
  bool shown_;
  std::size_t last_ = static_cast<std::size_t>(-1);
};

Result<dat::DatDatabase, ErrorChain> open_archive(const std::optional<std::string>& given,
                                                  const std::optional<std::string>& variable,
                                                  const std::vector<std::string>& fallbacks, const char* name,
                                                  const char* context) {
  std::optional<std::string> path = given;
  if (!path) path = twinrun::locate(twinrun::candidate_paths(variable, fallbacks));
  if (!path) return Err{ErrorChain(std::string(name) + " not found in any candidate location")};
  auto db = dat::DatDatabase::open(*path);
  if (!db.ok()) return Err{db.error().to_chain().context(std::string(context) + " " + lossy_utf8(*path))};
  return std::move(db).value();
}

Result<Ok, ErrorChain> write_file(const std::filesystem::path& path, const std::string& content) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return Err{ErrorChain(IoError::from_errno(errno).message()).context("write " + display(path))};
  const bool written = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  const int write_error = errno;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    return Err{ErrorChain(IoError::from_errno(written ? errno : write_error).message()).context("write " + display(path))};
  }
  return Ok{};
}

Result<int, ErrorChain> run(const Options& o, const twinrun::EnvLookup& env, const twinrun::Settings& settings,
                            std::FILE* out, std::FILE* err) {
  const auto portal_var = env("QUILLMOOR_PORTAL_DAT");
  const auto cell_var = env("QUILLMOOR_CELL_DAT");
  QM_ASSIGN_OR_RETURN(const dat::DatDatabase portal,
                      open_archive(o.portal, portal_var, settings.portal_fallbacks, "client_portal.dat", "open portal"));
  QM_ASSIGN_OR_RETURN(const dat::DatDatabase cell,
                      open_archive(o.cell, cell_var, settings.cell_fallbacks, "client_cell_1.dat", "open cell"));
  auto region_bytes = portal.get_file(dat::kRegionFileId);
  if (!region_bytes.ok()) return Err{region_bytes.error().to_chain().context("fetch Region 0x13000000")};
  dat::BinReader reader(*region_bytes);
  auto region = dat::Region::unpack(reader);
  if (!region.ok()) return Err{region.error().to_chain().context("parse Region")};

  const std::vector<std::uint16_t> landblocks = o.all ? landblocks_with_terrain(cell) : o.landblocks;

  std::FILE* stream_file = nullptr;
  bool close_stream = false;
  if (o.stream && *o.stream != "-") {
    stream_file = std::fopen(o.stream->c_str(), "wb");
    if (stream_file == nullptr) {
      return Err{ErrorChain(IoError::from_errno(errno).message()).context("write " + lossy_utf8(*o.stream))};
    }
    close_stream = true;
  } else if (o.stream || (!o.out_dir && !o.map)) {
    stream_file = out;
  }
  if (o.out_dir) {
    std::error_code ec;
    std::filesystem::create_directories(*o.out_dir, ec);
    if (ec) return Err{ErrorChain(IoError::from_errno(ec.value()).message()).context("create " + lossy_utf8(*o.out_dir))};
  }

  Stream stream(stream_file != nullptr ? stream_file : out);
  std::optional<ErrorChain> failure;
  std::vector<MapTile> tiles;
  std::uint64_t placements = 0;
  std::size_t done = 0;
  const bool bar = o.progress == ProgressMode::kOn ||
                   (o.progress == ProgressMode::kAuto && ::isatty(::fileno(err)) == 1 && landblocks.size() >= 64);
  ProgressBar progress(err, landblocks.size(), bar);

  BakeSettings bake_settings;
  bake_settings.bilinear_with_slope = o.slope;
  bake_settings.threads = std::max(1u, o.threads);
  bake_settings.tiles = o.map.has_value();
  if (stream_file != nullptr) {
    bake_settings.finish = [](BakedLandblock& baked) {
      for (const auto& line : baked.lines) {
        baked.text += stream_line(baked.landblock, line);
        baked.text += '\n';
      }
    };
  }
  bake_in_order(*region, portal, cell, landblocks, bake_settings, [&](BakedLandblock&& baked) {
    placements += baked.lines.size();
    if (o.out_dir) {
      auto written = twinrun::write_lines(*o.out_dir, baked.landblock, baked.lines);
      if (!written.ok()) {
        failure = std::move(written).error();
        return false;
      }
    }
    if (stream_file != nullptr && !stream.put(baked.text)) {
      failure = ErrorChain(IoError::from_errno(errno).message())
                    .context("write " + (close_stream ? lossy_utf8(*o.stream) : std::string("standard output")));
      return false;
    }
    if (baked.tile) tiles.push_back(std::move(*baked.tile));
    progress.update(++done);
    return true;
  });
  if (close_stream && std::fclose(stream_file) != 0 && !failure) {
    failure = ErrorChain(IoError::from_errno(errno).message()).context("write " + lossy_utf8(*o.stream));
  }
  if (failure) return Err{std::move(*failure)};

  if (o.map) {
    char title[128];
    std::snprintf(title, sizeof title, "quillmoor-bake, %s heights",
                  o.slope ? "bilinear-with-slope" : "triangle-plane");
    QM_TRY(write_file(*o.map, render_map(tiles, title)));
  }
  std::fprintf(err, "%s: baked %zu LBs, %llu placements (%s)\n", kProgram, landblocks.size(),
               static_cast<unsigned long long>(placements), o.slope ? "bilinear with slope" : "triangle plane");
  return kExitOk;
}

}  // namespace

Result<std::vector<std::uint16_t>, std::string> parse_landblocks(const std::vector<std::string>& args) {
  std::vector<std::uint16_t> ids;
  for (const std::string& arg : args) {
    const auto dash = arg.find('-');
    if (dash == std::string::npos) {
      const auto id = parse_id(arg);
      if (!id) return Err{"'" + arg + "' is not a landblock id (four hex digits, e.g. A9B4)"};
      ids.push_back(*id);
      continue;
    }
    const auto from = parse_id(std::string_view(arg).substr(0, dash));
    const auto to = parse_id(std::string_view(arg).substr(dash + 1));
    if (!from || !to) return Err{"'" + arg + "' is not a landblock range (e.g. A3AE-AFBA)"};
    const unsigned fx = *from >> 8, fy = *from & 0xFF, tx = *to >> 8, ty = *to & 0xFF;
    if (tx < fx || ty < fy) {
      return Err{"range '" + arg + "' is empty: its second corner must not lie below the first in x or y"};
    }
    for (unsigned x = fx; x <= tx; ++x) {
      for (unsigned y = fy; y <= ty; ++y) ids.push_back(static_cast<std::uint16_t>((x << 8) | y));
    }
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

std::vector<std::uint16_t> landblocks_with_terrain(const dat::DatDatabase& cell) {
  std::vector<std::uint16_t> ids;
  for (const auto& [id, entry] : cell.entries()) {
    if ((id & 0xFFFF) == 0xFFFF) ids.push_back(static_cast<std::uint16_t>(id >> 16));
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::string stream_line(std::uint16_t landblock, const std::string& line) {
  char head[32];
  std::snprintf(head, sizeof head, "{\"landblock\":\"0x%04X\",", landblock);
  return head + line.substr(1);
}

Result<Options, std::string> parse_options(const std::vector<std::string>& args) {
  Options o;
  std::vector<std::string> requested;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (arg == "--all") {
      o.all = true;
    } else if (arg == "--slope") {
      o.slope = true;
    } else if (arg == "--progress") {
      o.progress = ProgressMode::kOn;
    } else if (arg == "--no-progress") {
      o.progress = ProgressMode::kOff;
    } else if (arg == "--portal" || arg == "--cell" || arg == "--out" || arg == "--stream" || arg == "--map" ||
               arg == "--threads") {
      auto v = value();
      if (!v) return Err{arg + " needs a value"};
      if (arg == "--portal") o.portal = *v;
      else if (arg == "--cell") o.cell = *v;
      else if (arg == "--out") o.out_dir = *v;
      else if (arg == "--stream") o.stream = *v;
      else if (arg == "--map") o.map = *v;
      else {
        char* end = nullptr;
        errno = 0;
        const unsigned long n = std::strtoul(v->c_str(), &end, 10);
        if (v->empty() || *end != '\0' || errno != 0 || (*v)[0] == '-' || n < 1 || n > 256) {
          return Err{"--threads takes a whole number from 1 to 256, not '" + *v + "'"};
        }
        o.threads = static_cast<unsigned>(n);
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Err{"unknown option " + arg};
    } else {
      requested.push_back(arg);
    }
  }
  if (o.out_dir && o.stream) return Err{std::string("--out and --stream exclude each other")};
  if (o.all && !requested.empty()) return Err{std::string("--all excludes a list of landblocks")};
  if (!o.all && requested.empty()) return Err{std::string("no landblocks: give ids, ranges or --all")};
  if (!o.all) {
    auto ids = parse_landblocks(requested);
    if (!ids.ok()) return Err{std::move(ids).error()};
    o.landblocks = std::move(ids).value();
  }
  return o;
}

int run_bake(const Options& options, const twinrun::EnvLookup& env, const twinrun::Settings& settings,
             std::FILE* out, std::FILE* err) {
  auto outcome = run(options, env, settings, out, err);
  if (outcome.ok()) return *outcome;
  std::fputs(render_report(outcome.error()).c_str(), err);
  return kExitError;
}

int run_bake_tool(const std::vector<std::string>& args, const twinrun::EnvLookup& env,
                  const twinrun::Settings& settings, std::FILE* out, std::FILE* err) {
  for (const auto& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, out);
      return kExitOk;
    }
  }
  auto options = parse_options(args);
  if (!options.ok()) {
    std::fprintf(err, "%s: %s\n\n%s", kProgram, options.error().c_str(), kUsage);
    return kExitUsage;
  }
  return run_bake(*options, env, settings, out, err);
}

}  // namespace quillmoor::bake_tool
