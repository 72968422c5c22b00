// Writes the fuzzers' seed corpora: the sample world's files, sorted by the
// reader that takes them, plus small archives built from some of them.
//
//   quillmoor-fuzz-corpus OUTDIR
//
// OUTDIR/<fuzzer>/ receives one file per input (named by file id and a
// suffix). Same world, same corpus. Exit status 0, or 1 with a message.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "apps/worldgen/world.h"

#include "quillmoor/common/hex.h"
#include "quillmoor/authoring/archive_writer.h"
#include "quillmoor/dat/bin_reader.h"
#include "quillmoor/dat/landblock.h"
#include "quillmoor/dat/region.h"
#include "quillmoor/dat/scene.h"

namespace {

namespace fs = std::filesystem;
using quillmoor::authoring::ArchiveFile;
using quillmoor::authoring::ArchiveOptions;
using quillmoor::hex8;
using quillmoor::authoring::BlockOrder;
using Bytes = std::vector<std::uint8_t>;

bool put(const fs::path& dir, const std::string& name, const Bytes& bytes) {
  auto written = quillmoor::authoring::write_bytes(dir / name, bytes);
  if (!written.ok()) {
    std::fprintf(stderr, "quillmoor-fuzz-corpus: cannot write %s\n", (dir / name).c_str());
    return false;
  }
  return true;
}

void append_u32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void append_f32(Bytes& out, float f) {
  std::uint32_t v;
  std::memcpy(&v, &f, sizeof v);
  append_u32(out, v);
}

// The bake fuzzer's input: landblock id, mode byte, 81 terrain words, 81
// height codes, then descriptors (obj selector, origin x y z, frequency,
// displacements, scales, rotation, slopes, skip flag).
Bytes bake_input(const quillmoor::dat::CellLandblock& terrain, std::uint8_t mode,
                 const std::vector<quillmoor::dat::ObjectDesc>& descriptors) {
  Bytes out;
  const std::uint16_t id = static_cast<std::uint16_t>(terrain.id >> 16);
  out.push_back(static_cast<std::uint8_t>(id));
  out.push_back(static_cast<std::uint8_t>(id >> 8));
  out.push_back(mode);
  for (std::uint16_t w : terrain.terrain) {
    out.push_back(static_cast<std::uint8_t>(w));
    out.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  for (std::uint8_t h : terrain.height) out.push_back(h);
  for (std::size_t j = 0; j < descriptors.size() && j < 4; ++j) {
    const auto& d = descriptors[j];
    append_u32(out, d.obj_id);
    for (float f : {d.frame.origin.x, d.frame.origin.y, d.frame.origin.z, d.frequency, d.displace_x,
                    d.displace_y, d.min_scale, d.max_scale, d.max_rotation, d.min_slope, d.max_slope}) {
      append_f32(out, f);
    }
    append_u32(out, d.skip_flag);
  }
  return out;
}

bool make(const fs::path& root) {
  namespace wg = quillmoor::worldgen;
  const wg::Options options;
  auto portal = wg::generate_portal(options);
  if (!portal.ok()) {
    std::fprintf(stderr, "quillmoor-fuzz-corpus: %s\n", quillmoor::render_report(portal.error()).c_str());
    return false;
  }
  const wg::ArchiveContent cell = wg::generate_cell(options);

  const char* kinds[] = {"archive_fuzzer", "decompress_fuzzer", "region_fuzzer", "scene_fuzzer",
                         "landblock_fuzzer", "setup_model_fuzzer", "gfx_obj_fuzzer", "bake_fuzzer"};
  for (const char* kind : kinds) {
    std::error_code ec;
    fs::remove_all(root / kind, ec);
    fs::create_directories(root / kind, ec);
    if (ec) {
      std::fprintf(stderr, "quillmoor-fuzz-corpus: cannot create %s: %s\n", (root / kind).c_str(),
                   ec.message().c_str());
      return false;
    }
  }

  std::vector<std::vector<quillmoor::dat::ObjectDesc>> scenes;
  std::vector<ArchiveFile> small_portal;  // a few of each kind, for the archive seeds
  std::size_t gfx = 0, setups = 0;
  for (const ArchiveFile& f : portal->files) {
    const std::uint32_t kind = f.id >> 24;
    const char* dir = f.id == quillmoor::dat::kRegionFileId ? "region_fuzzer"
                      : kind == 0x12                         ? "scene_fuzzer"
                      : kind == 0x02                         ? "setup_model_fuzzer"
                      : kind == 0x01                         ? "gfx_obj_fuzzer"
                                                             : nullptr;
    if (dir == nullptr) continue;
    if (!put(root / dir, hex8(f.id), f.data)) return false;
    if (!put(root / "decompress_fuzzer", hex8(f.id), quillmoor::authoring::compress_lrs(f.data))) return false;
    if (kind == 0x12) {
      quillmoor::dat::BinReader reader(f.data);
      auto scene = quillmoor::dat::Scene::unpack(reader);
      if (scene.ok() && !scene->objects.empty()) scenes.push_back(scene->objects);
      if (small_portal.size() < 6) small_portal.push_back(f);
    }
    if (kind == 0x01 && gfx++ < 2) small_portal.push_back(f);
    if (kind == 0x02 && setups++ < 2) small_portal.push_back(f);
  }

  std::vector<ArchiveFile> small_cell;
  std::size_t n = 0;
  for (const ArchiveFile& f : cell.files) {
    if (!put(root / "landblock_fuzzer", hex8(f.id), f.data)) return false;
    if (n % 16 == 0 && !put(root / "decompress_fuzzer", hex8(f.id), quillmoor::authoring::compress_lrs(f.data))) {
      return false;
    }
    if (n < 8 || quillmoor::worldgen::is_deliberately_broken(f.id)) small_cell.push_back(f);
    if ((f.id & 0xFFFF) == 0xFFFF && !scenes.empty()) {
      auto terrain = quillmoor::dat::CellLandblock::unpack(f.data);
      if (terrain.ok()) {
        const auto& descriptors = scenes[n % scenes.size()];
        if (!put(root / "bake_fuzzer", hex8(f.id), bake_input(*terrain, static_cast<std::uint8_t>(n & 1), descriptors))) {
          return false;
        }
      }
    }
    ++n;
  }

  // Archives: the small file sets in a few shapes (block sizes, deep and
  // flat trees, links backwards, compressed files), and one without a
  // directory.
  struct Shape {
    const char* name;
    std::uint32_t block_size;
    std::uint32_t max_entries;
    BlockOrder order;
    bool compress;
    bool cell;
  };
  const Shape shapes[] = {
      {"portal-b1024-flat", 1024, 61, BlockOrder::kForward, false, false},
      {"portal-b256-deep", 256, 2, BlockOrder::kReversed, true, false},
      {"cell-b64-deep", 64, 1, BlockOrder::kReversed, false, true},
      {"cell-b512-mid", 512, 3, BlockOrder::kForward, true, true},
      {"cell-b5-flat", 5, 61, BlockOrder::kForward, false, true},
  };
  for (const Shape& s : shapes) {
    std::vector<ArchiveFile> files = s.cell ? small_cell : small_portal;
    if (s.block_size == 5) files.resize(2);  // five bytes per payload byte: keep it small
    for (auto& f : files) f.compress = s.compress;
    ArchiveOptions archive_options;
    archive_options.block_size = s.block_size;
    archive_options.max_entries_per_node = s.max_entries;
    archive_options.block_order = s.order;
    auto bytes = quillmoor::authoring::build_archive(files, archive_options);
    if (!bytes.ok()) {
      std::fprintf(stderr, "quillmoor-fuzz-corpus: archive %s: %s\n", s.name, bytes.error().message().c_str());
      return false;
    }
    if (!put(root / "archive_fuzzer", s.name, *bytes)) return false;
  }
  quillmoor::dat::DatHeader empty;
  empty.block_size = 1024;
  quillmoor::authoring::RawArchive header_only;
  header_only.header(empty);
  return put(root / "archive_fuzzer", "header-only", header_only.bytes());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quillmoor-fuzz-corpus OUTDIR\n");
    return 1;
  }
  return make(argv[1]) ? 0 : 1;
}
