// Every file of the sample world, cut short: each prefix either parses or
// fails with the end-of-data error of its reader (for the files broken on
// purpose, also the error the whole file fails with); never anything else,
// never a crash. The archives themselves, cut short, open or fail with
// their documented errors, and what opens serves every file or fails with
// an I/O error.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "apps/worldgen/world.h"
#include "quillmoor/authoring/archive_writer.h"
#include "quillmoor/authoring/temp_dir.h"
#include "quillmoor/dat/archive.h"
#include "quillmoor/dat/gfx_obj.h"
#include "quillmoor/dat/landblock.h"
#include "quillmoor/dat/region.h"
#include "quillmoor/dat/scene.h"
#include "quillmoor/dat/setup_model.h"

namespace quillmoor {
namespace {

using Bytes = std::vector<std::uint8_t>;

// How a reader ended: nothing for success, else whether the failure was
// the end of data, and its text.
struct Outcome {
  bool ok = false;
  bool eof = false;
  std::string text;
};

Outcome from_bin(const dat::BinError& e) { return Outcome{false, e.is_eof(), e.base_message()}; }

// Runs the reader that the file id names on `bytes`.
Outcome parse(std::uint32_t id, bool cell, std::span<const std::uint8_t> bytes) {
  if (cell) {
    auto dat_outcome = [](const auto& result) {
      if (result.ok()) return Outcome{true, false, {}};
      const dat::DatError& e = result.error();
      if (e.kind() != dat::DatError::Kind::BinRead) return Outcome{false, false, e.message()};
      return from_bin(e.bin_error());
    };
    if ((id & 0xFFFF) == 0xFFFF) return dat_outcome(dat::CellLandblock::unpack(bytes));
    return dat_outcome(dat::LandblockInfo::unpack(bytes));
  }
  dat::BinReader reader(bytes);
  auto finish = [](const auto& result) { return result.ok() ? Outcome{true, false, {}} : from_bin(result.error()); };
  if (id == dat::kRegionFileId) return finish(dat::Region::unpack(reader));
  switch (id >> 24) {
    case 0x01: return finish(dat::GfxObj::unpack(reader));
    case 0x02: return finish(dat::SetupModel::unpack(reader));
    case 0x12: return finish(dat::Scene::unpack(reader));
    default: return Outcome{true, false, {}};
  }
}

// Every length up to kDense, then about kStrided more lengths spread
// evenly over the rest, and the whole length last.
constexpr std::size_t kDense = 4096;
constexpr std::size_t kStrided = 256;
std::vector<std::size_t> cut_lengths(std::size_t size) {
  std::vector<std::size_t> out;
  for (std::size_t n = 0; n < size && n <= kDense; ++n) out.push_back(n);
  if (size > kDense) {
    const std::size_t stride = std::max<std::size_t>(1, (size - kDense) / kStrided);
    for (std::size_t n = kDense + stride; n < size; n += stride) out.push_back(n);
  }
  return out;
}

std::string hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

class TruncationSweep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    auto portal = worldgen::generate_portal(worldgen::Options{});
    ASSERT_TRUE(portal.ok()) << render_report(portal.error());
    portal_ = new worldgen::ArchiveContent(std::move(portal).value());
    cell_ = new worldgen::ArchiveContent(worldgen::generate_cell(worldgen::Options{}));
  }
  static void TearDownTestSuite() {
    delete portal_;
    delete cell_;
    portal_ = cell_ = nullptr;
  }

  static void sweep(const worldgen::ArchiveContent& content, bool cell) {
    std::size_t prefixes = 0;
    for (const auto& file : content.files) {
      SCOPED_TRACE(hex(file.id));
      const Outcome whole = parse(file.id, cell, file.data);
      const bool broken = worldgen::is_deliberately_broken(file.id);
      ASSERT_EQ(whole.ok, !broken) << whole.text;
      for (std::size_t n : cut_lengths(file.data.size())) {
        const Outcome cut = parse(file.id, cell, std::span<const std::uint8_t>(file.data).first(n));
        ++prefixes;
        if (cut.ok || cut.eof) continue;
        // The only other failure a prefix may show is the one the whole
        // file fails with, reached before the bytes ran out.
        ASSERT_TRUE(broken && cut.text == whole.text) << "cut at " << n << ": " << cut.text;
      }
    }
    EXPECT_GT(prefixes, content.files.size());
  }

  static worldgen::ArchiveContent* portal_;
  static worldgen::ArchiveContent* cell_;
};
worldgen::ArchiveContent* TruncationSweep::portal_ = nullptr;
worldgen::ArchiveContent* TruncationSweep::cell_ = nullptr;

TEST_F(TruncationSweep, PortalFilesParseOrEndWithEndOfData) { sweep(*portal_, false); }

TEST_F(TruncationSweep, CellFilesParseOrEndWithEndOfData) { sweep(*cell_, true); }

// A cut archive opens only when its directory lies wholly inside the cut;
// then every file either comes back whole or fails with an I/O error.
TEST_F(TruncationSweep, CutArchivesOpenOrFailCleanly) {
  // A small archive of a few files of each kind, with small blocks so that
  // chains and nodes cross many cut points.
  std::vector<authoring::ArchiveFile> files;
  for (const auto& f : portal_->files) {
    if (files.size() < 24) files.push_back(f);
  }
  for (std::size_t i = 0; i < 24 && i < cell_->files.size(); ++i) files.push_back(cell_->files[i]);
  for (std::size_t i = 0; i < files.size(); i += 3) files[i].compress = true;
  authoring::ArchiveOptions options;
  options.block_size = 128;
  options.max_entries_per_node = 3;
  options.block_order = authoring::BlockOrder::kReversed;
  auto image = authoring::build_archive(files, options);
  ASSERT_TRUE(image.ok()) << image.error().message();

  authoring::TempDir dir("truncation-sweep");
  const auto path = dir / "cut.dat";
  std::size_t opened = 0;
  const std::size_t size = image->size();
  const std::size_t stride = std::max<std::size_t>(1, size / 600);
  for (std::size_t n = 0; n <= size; n += (n < 0x200 ? 1 : stride)) {
    SCOPED_TRACE(n);
    ASSERT_TRUE(authoring::write_bytes(path, std::span<const std::uint8_t>(*image).first(n)).ok());
    auto db = dat::DatDatabase::open(path);
    if (!db.ok()) {
      const auto kind = db.error().kind();
      ASSERT_TRUE(kind == dat::DatError::Kind::Io || kind == dat::DatError::Kind::BinRead)
          << db.error().message();
      if (kind == dat::DatError::Kind::BinRead) {
        // Short header: end of data under a header field's context.
        EXPECT_TRUE(db.error().bin_error().is_eof()) << db.error().message();
      }
      continue;
    }
    ++opened;
    EXPECT_EQ(db->file_count(), files.size());
    for (const auto& f : files) {
      auto bytes = db->get_file(f.id);
      if (bytes.ok()) {
        EXPECT_EQ(*bytes, f.data) << hex(f.id);
      } else {
        EXPECT_EQ(bytes.error().kind(), dat::DatError::Kind::Io) << hex(f.id) << ": " << bytes.error().message();
      }
    }
  }
  EXPECT_GT(opened, 0u);  // the whole image, at least
}

}  // namespace
}  // namespace quillmoor
