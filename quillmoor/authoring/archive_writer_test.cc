#include "quillmoor/authoring/archive_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quillmoor/authoring/temp_dir.h"
#include "quillmoor/dat/decompress.h"

namespace quillmoor::authoring {
namespace {

using Bytes = std::vector<std::uint8_t>;
using dat::DatFileEntry;

// An independent reading of a built image, straight from memory.
struct Image {
  const Bytes& b;
  std::uint32_t u32(std::uint64_t at) const {
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
  }
  Bytes chain(std::uint32_t offset, std::uint32_t size) const {
    const std::uint32_t payload = u32(0x144) - 4;
    Bytes out;
    std::uint32_t block = offset;
    while (out.size() < size) {
      const std::uint32_t link = u32(block);
      const std::size_t take = link == 0 ? size - out.size() : std::min<std::size_t>(payload, size - out.size());
      out.insert(out.end(), b.begin() + block + 4, b.begin() + block + 4 + take);
      block = link;
    }
    return out;
  }
};

struct Walk {
  std::vector<std::uint32_t> in_order_ids;
  std::vector<int> leaf_depths;
  int nodes = 0;
  std::vector<std::string> problems;
};

void walk(const Image& img, std::uint32_t offset, int depth, std::uint32_t capacity, Walk& w) {
  ++w.nodes;
  const Bytes node = img.chain(offset, 1716);
  auto at = [&](std::size_t i) {
    std::uint32_t v;
    std::memcpy(&v, node.data() + i, 4);
    return v;
  };
  const std::uint32_t count = at(248);
  if (count > capacity) w.problems.push_back("node over capacity");
  auto id_of = [&](std::uint32_t i) { return at(252 + 24 * i + 4); };
  if (at(0) == 0) {
    for (std::uint32_t b = 1; b < 62; ++b) {
      if (at(4 * b) != 0) w.problems.push_back("leaf with a branch");
    }
    for (std::uint32_t i = 0; i < count; ++i) w.in_order_ids.push_back(id_of(i));
    w.leaf_depths.push_back(depth);
    return;
  }
  for (std::uint32_t b = count + 1; b < 62; ++b) {
    if (at(4 * b) != 0) w.problems.push_back("branch beyond the count");
  }
  for (std::uint32_t i = 0; i <= count; ++i) {
    if (at(4 * i) != 0) {
      walk(img, at(4 * i), depth + 1, capacity, w);
    } else if (capacity >= 2) {
      w.problems.push_back("missing child");
    }
    if (i < count) w.in_order_ids.push_back(id_of(i));
  }
}

std::vector<ArchiveFile> numbered_files(std::size_t n) {
  std::vector<ArchiveFile> files(n);
  for (std::size_t i = 0; i < n; ++i) {
    // Ids given out of order; the tree must sort them.
    files[i].id = static_cast<std::uint32_t>((i * 7919) % n + 1);
    files[i].data = Bytes(i % 4, static_cast<std::uint8_t>(i));
  }
  return files;
}

TEST(ArchiveWriterTest, TreeIsOrderedAndBalanced) {
  for (const std::uint32_t capacity : {1u, 2u, 3u, 5u, 61u}) {
    for (const std::size_t n : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 60u, 61u, 62u, 63u, 200u, 3843u, 3844u, 5000u}) {
      SCOPED_TRACE("capacity " + std::to_string(capacity) + " files " + std::to_string(n));
      auto files = numbered_files(n);
      ArchiveOptions options;
      options.block_size = 512;  // nodes span four blocks
      options.max_entries_per_node = capacity;
      auto built = build_archive(files, options);
      ASSERT_TRUE(built.ok());
      const Image img{built.value()};
      ASSERT_EQ(img.u32(0x148), built->size());  // file_size
      Walk w;
      walk(img, img.u32(0x160), 1, capacity, w);
      EXPECT_EQ(w.problems, std::vector<std::string>{});
      std::vector<std::uint32_t> expected(n);
      for (std::size_t i = 0; i < n; ++i) expected[i] = static_cast<std::uint32_t>(i + 1);
      EXPECT_EQ(w.in_order_ids, expected);
      if (capacity >= 2) {
        EXPECT_TRUE(std::all_of(w.leaf_depths.begin(), w.leaf_depths.end(),
                                [&](int d) { return d == w.leaf_depths.front(); }));
      }
      // Two levels of 61 entries hold 61 + 62 * 61 = 3843 files.
      if (capacity == 61 && n >= 3843) {
        EXPECT_EQ(w.leaf_depths.front(), n == 3843 ? 2 : 3);
      }
    }
  }
}

TEST(ArchiveWriterTest, EntriesDescribeStoredChains) {
  std::vector<ArchiveFile> files(4);
  files[0] = {5, Bytes(3000, 'x'), 0, /*compress=*/true, 11, 12};
  files[1] = {6, Bytes{1, 2, 3}, /*bit_flags=*/2, false, 0, 0};
  files[2] = {7, Bytes{}, 0, false, 0, 0};
  files[3] = {8, Bytes(1000, 'y'), 4, /*compress=*/true, 0, 0};
  for (const auto order : {BlockOrder::kForward, BlockOrder::kReversed}) {
    SCOPED_TRACE(order == BlockOrder::kForward ? "forward" : "reversed");
    ArchiveOptions options;
    options.block_size = 64;
    options.block_order = order;
    options.header.magic = 0x5442;
    options.header.version_minor = 9;
    auto built = build_archive(files, options);
    ASSERT_TRUE(built.ok());
    const Image img{built.value()};
    EXPECT_EQ(img.u32(0x140), 0x5442u);
    EXPECT_EQ(img.u32(0x144), 64u);
    EXPECT_EQ(img.u32(0x18C), 9u);
    const Bytes root = img.chain(img.u32(0x160), 1716);
    DatFileEntry e[4];
    std::memcpy(e, root.data() + 252, sizeof e);
    EXPECT_EQ(e[0].bit_flags, 1u);
    EXPECT_EQ(e[0].timestamp, 11u);
    EXPECT_EQ(e[0].version, 12u);
    EXPECT_EQ(e[0].size, compress_lrs(files[0].data).size());
    EXPECT_EQ(dat::decompress_lrs(img.chain(e[0].offset, e[0].size)), files[0].data);
    EXPECT_EQ(e[1].bit_flags, 2u);
    EXPECT_EQ(img.chain(e[1].offset, e[1].size), files[1].data);
    EXPECT_EQ(e[2].size, 0u);
    EXPECT_EQ(e[3].bit_flags, 5u);  // given flags kept, bit 0 added
    EXPECT_EQ(dat::decompress_lrs(img.chain(e[3].offset, e[3].size)), files[3].data);
  }
}

TEST(ArchiveWriterTest, CompressorOutput) {
  // Six 'a': a literal, then one back-reference of distance 1, count 5.
  EXPECT_EQ(compress_lrs(Bytes(6, 'a')), (Bytes{6, 0, 0, 0, 0x40, 'a', 0x01, 0x03}));
  // Nothing to match: a flag byte of literals.
  EXPECT_EQ(compress_lrs(Bytes{'a', 'b', 'c'}), (Bytes{3, 0, 0, 0, 0x00, 'a', 'b', 'c'}));
  EXPECT_EQ(compress_lrs(Bytes{}), (Bytes{0, 0, 0, 0}));
  // Deterministic, and distances beyond 255 use the high nibble.
  Bytes far(600);
  for (std::size_t i = 0; i < 300; ++i) far[i] = far[i + 300] = static_cast<std::uint8_t>(i * 131 + (i >> 3));
  const Bytes packed = compress_lrs(far);
  EXPECT_EQ(compress_lrs(far), packed);
  EXPECT_LT(packed.size(), 420u);
  EXPECT_EQ(dat::decompress_lrs(packed), far);
}

TEST(ArchiveWriterTest, RejectsWhatTheFormatCannotHold) {
  const auto files = numbered_files(3);
  const struct {
    const char* name;
    std::uint32_t block_size, capacity;
    const char* message;
  } cases[] = {
      {"block size 4", 4, 61, "Other error: block size must exceed 4"},
      {"block size 0", 0, 61, "Other error: block size must exceed 4"},
      {"no entries per node", 1024, 0, "Other error: entries per node must be 1 to 61"},
      {"62 entries per node", 1024, 62, "Other error: entries per node must be 1 to 61"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ArchiveOptions options;
    options.block_size = c.block_size;
    options.max_entries_per_node = c.capacity;
    auto built = build_archive(files, options);
    ASSERT_FALSE(built.ok());
    EXPECT_EQ(built.error().message(), c.message);
  }
}

TEST(ArchiveWriterTest, WritesFiles) {
  TempDir dir("archive_writer_test");
  const auto files = numbered_files(10);
  ASSERT_TRUE(write_archive(dir / "ok.dat", files).ok());
  EXPECT_EQ(std::filesystem::file_size(dir / "ok.dat"), build_archive(files).value().size());
  auto failed = write_archive(dir / "missing" / "x.dat", files);
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().kind(), dat::DatError::Kind::PathError);
}

Bytes read_whole(const std::filesystem::path& path) {
  Bytes out(std::filesystem::file_size(path));
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return {};
  const std::size_t got = std::fread(out.data(), 1, out.size(), f);
  std::fclose(f);
  out.resize(got);
  return out;
}

// The file written as the files come in holds exactly the image that
// build_archive makes in memory, whatever the order, sizes and options.
TEST(ArchiveWriterTest, StreamedArchiveEqualsBuiltImage) {
  std::vector<ArchiveFile> mixed = numbered_files(40);
  mixed.push_back({3, Bytes(5000, 'z'), 0x20000, /*compress=*/true, 1, 2});  // a repeated id
  mixed.push_back({3, Bytes{9, 8, 7}, 0, false, 0, 0});                      // ... that wins
  mixed.push_back({0xFFFFFFFF, Bytes{}, 0, false, 0, 0});
  // Larger than the writer's buffer, so that it is written in pieces.
  Bytes big(9u << 20);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
  std::vector<ArchiveFile> with_big = numbered_files(5);
  with_big.insert(with_big.begin() + 2, ArchiveFile{0x10, big, 0, false, 0, 0});

  const struct {
    const char* name;
    std::vector<ArchiveFile> files;
    std::uint32_t block_size, capacity;
    BlockOrder order;
  } cases[] = {
      {"no files", {}, 1024, 61, BlockOrder::kForward},
      {"only empty files", {{1, {}, 0, false, 0, 0}, {2, {}, 0, false, 0, 0}}, 256, 61, BlockOrder::kForward},
      {"unsorted, repeated, compressed", mixed, 64, 3, BlockOrder::kForward},
      {"reversed chains", mixed, 100, 5, BlockOrder::kReversed},
      {"many files, full nodes", numbered_files(5000), 256, 61, BlockOrder::kForward},
      {"a file bigger than the buffer", with_big, 4096, 2, BlockOrder::kReversed},
  };
  TempDir dir("archive_writer_test");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ArchiveOptions options;
    options.block_size = c.block_size;
    options.max_entries_per_node = c.capacity;
    options.block_order = c.order;
    options.header.magic = 0x5442;
    options.header.game_version = 77;
    auto built = build_archive(c.files, options);
    ASSERT_TRUE(built.ok());
    ASSERT_TRUE(write_archive(dir / "s.dat", c.files, options).ok());
    const Bytes written = read_whole(dir / "s.dat");
    ASSERT_EQ(written.size(), built->size());
    EXPECT_TRUE(written == built.value());
  }
}

TEST(ArchiveWriterTest, StreamedArchiveChecksTheAnnouncedCount) {
  TempDir dir("archive_writer_test");
  const auto files = numbered_files(3);
  {
    auto writer = ArchiveFileWriter::create(dir / "few.dat", 3);
    ASSERT_TRUE(writer.ok());
    ASSERT_TRUE(writer->add(files[0]).ok());
    auto finished = writer->finish();
    ASSERT_FALSE(finished.ok());
    EXPECT_EQ(finished.error().message(), "Other error: fewer files than announced");
  }
  {
    auto writer = ArchiveFileWriter::create(dir / "many.dat", 1);
    ASSERT_TRUE(writer.ok());
    ASSERT_TRUE(writer->add(files[0]).ok());
    auto added = writer->add(files[1]);
    ASSERT_FALSE(added.ok());
    EXPECT_EQ(added.error().message(), "Other error: more files than announced");
    EXPECT_TRUE(writer->finish().ok());
    EXPECT_FALSE(writer->finish().ok());  // only once
  }
  ArchiveOptions bad;
  bad.block_size = 4;
  auto refused = ArchiveFileWriter::create(dir / "bad.dat", 1, bad);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message(), "Other error: block size must exceed 4");
  EXPECT_FALSE(std::filesystem::exists(dir / "bad.dat"));  // refused before creating anything
}

TEST(ArchiveWriterTest, RawPieces) {
  RawArchive raw;
  raw.put_u32(8, 0x04030201);  // grows to 12 bytes
  EXPECT_EQ(raw.bytes(), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}));
  // Blocks of 8: 4 payload bytes each; 10 bytes over 0x40 then 0x20, the
  // last block taking the 6 left and linking to 0x99.
  const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  raw.chain(std::vector<std::uint32_t>{0x40, 0x20}, 8, data, 0x99);
  const Image img{raw.bytes()};
  EXPECT_EQ(img.u32(0x40), 0x20u);
  EXPECT_EQ(img.u32(0x20), 0x99u);
  EXPECT_EQ(Bytes(raw.bytes().begin() + 0x44, raw.bytes().begin() + 0x48), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Bytes(raw.bytes().begin() + 0x24, raw.bytes().begin() + 0x2A), (Bytes{5, 6, 7, 8, 9, 10}));

  RawNode node;
  node.branches[61] = 0xABCD;
  node.entry_count = 99;  // stored as given
  node.entries.push_back({1, 2, 3, 4, 5, 6});
  const Bytes nb = node_bytes(node);
  ASSERT_EQ(nb.size(), 1716u);
  const Image n{nb};
  EXPECT_EQ(n.u32(244), 0xABCDu);
  EXPECT_EQ(n.u32(248), 99u);
  EXPECT_EQ(n.u32(252), 1u);
  EXPECT_EQ(n.u32(272), 6u);
  EXPECT_EQ(header_bytes(dat::DatHeader{}).size(), 80u);
}

}  // namespace
}  // namespace quillmoor::authoring
