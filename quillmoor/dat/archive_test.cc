#include "quillmoor/dat/archive.h"

#include <dirent.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quillmoor/authoring/archive_writer.h"
#include "quillmoor/authoring/temp_dir.h"

namespace quillmoor::dat {
namespace {

using authoring::RawArchive;
using authoring::RawNode;
using Bytes = std::vector<std::uint8_t>;

std::string chain_text(const DatError& e) {
  const ErrorChain chain = e.to_chain();
  std::string out = chain.headline();
  for (const auto& c : chain.causes()) out += "\n|" + c;
  return out;
}

DatHeader header_with(std::uint32_t block_size, std::uint32_t root) {
  DatHeader h;
  h.block_size = block_size;
  h.root_offset = root;
  return h;
}

DatFileEntry entry(std::uint32_t id, std::uint32_t offset, std::uint32_t size, std::uint32_t flags = 0) {
  DatFileEntry e;
  e.bit_flags = flags;
  e.id = id;
  e.offset = offset;
  e.size = size;
  return e;
}

Bytes pattern(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
  return b;
}

class ArchiveTest : public ::testing::Test {
 protected:
  DatResult<DatDatabase> open_bytes(const Bytes& bytes) {
    const auto path = dir_ / ("a" + std::to_string(counter_++) + ".dat");
    EXPECT_TRUE(authoring::write_bytes(path, bytes).ok());
    return DatDatabase::open(path);
  }
  DatResult<DatDatabase> open_raw(const RawArchive& raw) { return open_bytes(raw.bytes()); }

  authoring::TempDir dir_{"archive_test"};
  int counter_ = 0;
};

// --- Header -------------------------------------------------------------

TEST_F(ArchiveTest, HeaderOnlyFileWithoutDirectoryOpensEmpty) {
  DatHeader h;
  h.magic = 0xDEADBEEF;  // never checked
  h.block_size = 0;      // irrelevant without a directory
  h.file_size = 3;
  h.dataset = 4;
  h.subset = 5;
  h.free_head = 6;
  h.free_tail = 7;
  h.free_count = 8;
  h.root_offset = 0;  // no directory
  h.new_lru = 10;
  h.old_lru = 11;
  h.use_lru = 12;
  h.master_map_id = 13;
  h.engine_version = 0xFFFFFFFF;
  h.game_version = 0x7FFFFFFF;
  for (int i = 0; i < 16; ++i) h.version_string[i] = static_cast<std::uint8_t>(0xF0 + i);
  h.version_minor = 0x12345678;
  RawArchive raw;
  raw.put(0, Bytes(0x140, 0xAA)).header(h);  // the bytes before 0x140 are never read
  ASSERT_EQ(raw.size(), 0x190u);

  auto db = open_raw(raw);
  ASSERT_TRUE(db.ok()) << db.error().message();
  EXPECT_EQ(db->header(), h);
  EXPECT_EQ(db->file_count(), 0u);
  EXPECT_EQ(db->find(0x13000000), nullptr);
  auto missing = db->get_file(0x13000000);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().kind(), DatError::Kind::NotFound);
  EXPECT_EQ(missing.error().message(), "File ID 13000000 not found in provider");
}

TEST_F(ArchiveTest, ShortHeaderNamesTheFirstMissingField) {
  const struct {
    std::size_t length;
    const char* field;
  } cases[] = {
      {0, "magic"},
      {0x140, "magic"},
      {0x143, "magic"},          // three bytes of magic
      {0x144, "block_size"},
      {0x150, "subset"},
      {0x160, "root_offset"},
      {0x17C, "version_string"},
      {0x18B, "version_string"}, // 15 of its 16 bytes
      {0x18C, "version_minor"},
      {0x18F, "version_minor"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    RawArchive raw;
    raw.header(header_with(1024, 0));
    Bytes bytes = raw.bytes();
    bytes.resize(c.length);
    auto db = open_bytes(bytes);
    ASSERT_FALSE(db.ok());
    EXPECT_EQ(db.error().kind(), DatError::Kind::BinRead);
    const std::string context = std::string("While parsing field '") + c.field + "' in DatHeader";
    EXPECT_EQ(chain_text(db.error()),
              "Binary read error: failed to fill whole buffer\n" + context +
                  "\n|failed to fill whole buffer\n" + context + "\n|failed to fill whole buffer");
  }
}

TEST_F(ArchiveTest, MissingPathIsPathError) {
  const auto path = dir_ / "nowhere" / "client_portal.dat";
  auto db = DatDatabase::open(path);
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.error().kind(), DatError::Kind::PathError);
  EXPECT_EQ(db.error().path(), path);
  EXPECT_EQ(chain_text(db.error()), "Failed to open file at " + path.string() +
                                        ": No such file or directory (os error 2)"
                                        "\n|No such file or directory (os error 2)");
}

TEST_F(ArchiveTest, DirectoryPathNeverYieldsAHandle) {
  auto db = DatDatabase::open(dir_.path());
  ASSERT_FALSE(db.ok());
  // Linux opens a directory read-only and refuses the read.
  EXPECT_EQ(db.error().kind(), DatError::Kind::BinRead);
  EXPECT_EQ(db.error().message(),
            "Binary read error: Is a directory (os error 21)\nWhile parsing field 'magic' in DatHeader");
}

int open_descriptors() {
  int n = 0;
  DIR* d = ::opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  while (::readdir(d) != nullptr) ++n;
  ::closedir(d);
  return n;
}

TEST_F(ArchiveTest, FailedOpensCloseTheFile) {
  RawArchive short_header;
  short_header.pad_to(0x150);
  RawArchive bad_node;
  bad_node.header(header_with(1024, 0x10000));  // root beyond the end
  RawArchive cycle;
  RawNode self;
  self.branches[0] = 0x190;
  cycle.header(header_with(2048, 0x190)).chain(std::vector<std::uint32_t>{0x190}, 2048, authoring::node_bytes(self));

  const int before = open_descriptors();
  for (int round = 0; round < 3; ++round) {
    EXPECT_FALSE(open_raw(short_header).ok());
    EXPECT_FALSE(open_raw(bad_node).ok());
    EXPECT_FALSE(open_raw(cycle).ok());
  }
  EXPECT_EQ(open_descriptors(), before);
}

// --- Block chains -------------------------------------------------------

// Block size 16: 12 payload bytes per block.
constexpr std::uint32_t kSmallBlock = 16;

TEST_F(ArchiveTest, ReadFileDataFollowsChains) {
  const Bytes data = pattern(30, 1);
  const struct {
    const char* name;
    std::vector<std::uint32_t> blocks;
    std::uint32_t last_link;
    std::uint32_t size;
    Bytes expected;
  } cases[] = {
      // 30 bytes over three blocks placed backwards: links must be followed.
      {"three blocks backwards", {0x400, 0x300, 0x200}, 0, 30, data},
      // Only the first 12 + 6 bytes asked for: the second block is used in part.
      {"size inside second block", {0x200, 0x300, 0x400}, 0, 18, Bytes(data.begin(), data.begin() + 18)},
      // 24 bytes end exactly at the second block's end; its link (to a
      // place past the end of the file) is never followed.
      {"ends at block boundary, link ignored", {0x200, 0x300}, 0xFFFFFF00, 24, Bytes(data.begin(), data.begin() + 24)},
      // The second block has link 0 and 18 bytes are still due: they are
      // read contiguously from its payload, past the block's end.
      {"link 0 with more than one payload left", {0x200, 0x300}, 0, 30, data},
      // Blocks one after the other are read in one piece; the bytes must
      // still come from each block's payload, not from the links between.
      {"adjacent blocks", {0x200, 0x210, 0x220}, 0, 30, data},
      // Adjacent, then a jump back, then adjacent again.
      {"adjacent, jump back, adjacent", {0x300, 0x310, 0x200, 0x210}, 0, 30, data},
      // The next block lies inside the piece already read, but not right
      // after the current one.
      {"jump forward within reach", {0x200, 0x240, 0x220}, 0, 30, data},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawArchive raw;
    raw.header(header_with(kSmallBlock, 0));
    // With the last link ignored, the chain helper puts what is left in the
    // last block; for the "link ignored" case that is exactly one payload.
    raw.chain(c.blocks, kSmallBlock, Bytes(data.begin(), data.begin() + c.size), c.last_link);
    raw.pad_to(0x500);
    auto db = open_raw(raw);
    ASSERT_TRUE(db.ok()) << db.error().message();
    auto got = db->read_file_data(c.blocks.front(), c.size);
    ASSERT_TRUE(got.ok()) << got.error().message();
    EXPECT_EQ(got.value(), c.expected);
  }
}

TEST_F(ArchiveTest, ReadFileDataFailures) {
  RawArchive raw;
  raw.header(header_with(kSmallBlock, 0));
  // 0x200: a block that links past the end of the file.
  raw.block(0x200, 0x7FFFFFF0, pattern(12, 3));
  // 0x300: a last block whose contiguous rest runs off the end (0x310).
  raw.block(0x300, 0, pattern(12, 4));
  auto db = open_raw(raw);
  ASSERT_TRUE(db.ok()) << db.error().message();
  ASSERT_EQ(db->file_length(), 0x310u);

  const struct {
    const char* name;
    std::uint32_t offset, size;
  } cases[] = {
      {"link past end of file", 0x200, 20},
      {"first block past end of file", 0x1000, 4},
      {"last block runs off the end", 0x300, 13},
      {"size beyond the file's length", 0x300, 0xFFFFFFF0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto got = db->read_file_data(c.offset, c.size);
    ASSERT_FALSE(got.ok());
    EXPECT_EQ(got.error().kind(), DatError::Kind::Io);
    EXPECT_EQ(chain_text(got.error()), "IO error: failed to fill whole buffer\n|failed to fill whole buffer");
  }

  // Adjacent blocks where the file ends inside the last one: the bytes
  // that are there do not make up for the missing ones.
  {
    RawArchive cut;
    cut.header(header_with(kSmallBlock, 0));
    cut.block(0x200, 0x210, pattern(12, 5));
    cut.block(0x210, 0x220, pattern(12, 6));
    cut.block(0x220, 0, pattern(5, 7));  // the file ends at 0x229
    auto short_db = open_raw(cut);
    ASSERT_TRUE(short_db.ok()) << short_db.error().message();
    auto whole = short_db->read_file_data(0x200, 29);
    ASSERT_TRUE(whole.ok()) << whole.error().message();
    auto over = short_db->read_file_data(0x200, 30);
    ASSERT_FALSE(over.ok());
    EXPECT_EQ(chain_text(over.error()), "IO error: failed to fill whole buffer\n|failed to fill whole buffer");
  }

  // Size 0 reads nothing, whatever the offset.
  auto empty = db->read_file_data(0xFFFFFFFF, 0);
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty->empty());
}

// --- Directory tree -----------------------------------------------------

// A crafted archive with block size 2048 (every node fits one block) and
// one block per listed node at the given offsets, plus file data blocks.
struct Crafted {
  static constexpr std::uint32_t kBlock = 2048;
  RawArchive raw;
  explicit Crafted(std::uint32_t root) { raw.header(header_with(kBlock, root)); }
  Crafted& node(std::uint32_t at, const RawNode& n) {
    raw.block(at, 0, authoring::node_bytes(n));
    return *this;
  }
  Crafted& data(std::uint32_t at, const Bytes& bytes) {
    raw.block(at, 0, bytes);
    return *this;
  }
};

RawNode node_of(std::vector<DatFileEntry> entries, std::vector<std::uint32_t> branches = {}) {
  RawNode n;
  n.entry_count = static_cast<std::uint32_t>(entries.size());
  n.entries = std::move(entries);
  for (std::size_t i = 0; i < branches.size(); ++i) n.branches[i] = branches[i];
  return n;
}

TEST_F(ArchiveTest, BranchRules) {
  constexpr std::uint32_t kRoot = 0x1000, kA = 0x2000, kB = 0x3000;
  const struct {
    const char* name;
    RawNode root;
    std::vector<std::uint32_t> expected_ids;
  } cases[] = {
      // entry_count 0 and branch 0 set: exactly child 0 is visited, the
      // set branch 1 is beyond the count.
      {"no entries, child 0 only", node_of({}, {kA, kB}), {0xA}},
      // Branch 0 is 0: a leaf, whatever branch 1 holds.
      {"leaf ignores other branches", node_of({entry(1, 0, 0)}, {0, kB}), {1}},
      // One entry, branches 0 and 1: both children.
      {"one entry, two children", node_of({entry(1, 0, 0)}, {kA, kB}), {1, 0xA, 0xB}},
      // One entry, branch 1 zero: skipped.
      {"zero branch skipped", node_of({entry(1, 0, 0)}, {kA, 0}), {1, 0xA}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Crafted a(kRoot);
    a.node(kRoot, c.root).node(kA, node_of({entry(0xA, 0, 0)})).node(kB, node_of({entry(0xB, 0, 0)}));
    auto db = open_raw(a.raw);
    ASSERT_TRUE(db.ok()) << db.error().message();
    EXPECT_EQ(db->file_count(), c.expected_ids.size());
    for (const auto id : c.expected_ids) EXPECT_NE(db->find(id), nullptr) << id;
  }
}

TEST_F(ArchiveTest, FullNodeVisitsAllSixtyTwoBranches) {
  constexpr std::uint32_t kRoot = 0x1000;
  RawNode root;
  root.entry_count = 61;
  for (std::uint32_t i = 0; i < 61; ++i) root.entries.push_back(entry(1000 + i, 0, 0));
  Crafted a(kRoot);
  for (std::uint32_t b = 0; b < 62; ++b) {
    const std::uint32_t at = 0x2000 + b * 0x800;
    root.branches[b] = at;
    a.node(at, node_of({entry(b, 0, 0)}));
  }
  a.node(kRoot, root);
  auto db = open_raw(a.raw);
  ASSERT_TRUE(db.ok()) << db.error().message();
  EXPECT_EQ(db->file_count(), 61u + 62u);
  EXPECT_NE(db->find(61), nullptr);  // the child behind the last branch
}

TEST_F(ArchiveTest, EntryCountBeyondSixtyOneFails) {
  RawNode root;
  root.entry_count = 62;
  for (std::uint32_t i = 0; i < 61; ++i) root.entries.push_back(entry(i, 0, 0));
  Crafted a(0x1000);
  a.node(0x1000, root);
  auto db = open_raw(a.raw);
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.error().kind(), DatError::Kind::BinRead);
  const std::string context = "While parsing field 'bit_flags' in DatFileEntry";
  EXPECT_EQ(chain_text(db.error()), "Binary read error: failed to fill whole buffer\n" + context +
                                        "\n|failed to fill whole buffer\n" + context +
                                        "\n|failed to fill whole buffer");
}

TEST_F(ArchiveTest, LaterEntryWinsDepthFirst) {
  // Root: id 7 -> "root", then child 0 holds id 7 -> "child" and child 1
  // holds id 8 -> "second"; root's own id 8 comes first and loses too.
  constexpr std::uint32_t kRoot = 0x1000, kA = 0x2000, kB = 0x3000;
  const Bytes root_data = {'r', 'o', 'o', 't'}, child_data = {'c', 'h', 'i', 'l', 'd'},
              second_data = {'s', 'e', 'c'};
  Crafted a(kRoot);
  a.node(kRoot, node_of({entry(7, 0x4000, 4), entry(8, 0x4000, 4)}, {kA, kB}))
      .node(kA, node_of({entry(7, 0x5000, 5)}))
      .node(kB, node_of({entry(8, 0x6000, 3)}))
      .data(0x4000, root_data)
      .data(0x5000, child_data)
      .data(0x6000, second_data);
  auto db = open_raw(a.raw);
  ASSERT_TRUE(db.ok()) << db.error().message();
  EXPECT_EQ(db->file_count(), 2u);
  EXPECT_EQ(db->get_file(7).value(), child_data);
  EXPECT_EQ(db->get_file(8).value(), second_data);
}

TEST_F(ArchiveTest, NodeSpanningTwoBlocksDecodesAsContiguous) {
  // Block size 1024: a node needs 1020 + 696 payload bytes. Its second
  // block lies before its first.
  constexpr std::uint32_t kBlock = 1024;
  RawNode root = node_of({entry(1, 0x3000, 3), entry(2, 0, 0)});
  for (std::uint32_t i = 0; i < 40; ++i) root.entries.push_back(entry(100 + i, 0, 0));
  root.entry_count = 42;  // entries straddle the block boundary at node byte 1020
  RawArchive raw;
  raw.header(header_with(kBlock, 0x1000));
  raw.chain(std::vector<std::uint32_t>{0x1000, 0x800}, kBlock, authoring::node_bytes(root));
  raw.block(0x3000, 0, Bytes{9, 8, 7});
  auto db = open_raw(raw);
  ASSERT_TRUE(db.ok()) << db.error().message();
  EXPECT_EQ(db->file_count(), 42u);
  const DatFileEntry* last = db->find(139);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(*last, entry(139, 0, 0));
  EXPECT_EQ(db->get_file(1).value(), (Bytes{9, 8, 7}));
}

TEST_F(ArchiveTest, FailingChildFailsTheOpen) {
  Crafted a(0x1000);
  a.node(0x1000, node_of({entry(1, 0, 0)}, {0x9000000, 0x2000}));  // child 0 past the end
  auto db = open_raw(a.raw);
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.error().kind(), DatError::Kind::Io);
}

TEST_F(ArchiveTest, DirectoryThatIsNotATreeIsCorruption) {
  const struct {
    const char* name;
    std::vector<std::pair<std::uint32_t, RawNode>> nodes;
    const char* message;
  } cases[] = {
      {"node is its own child", {{0x1000, node_of({}, {0x1000})}},
       "Corruption detected: directory node at 0x1000 is reached twice"},
      {"grandchild points at root",
       {{0x1000, node_of({}, {0x2000})}, {0x2000, node_of({}, {0x1000})}},
       "Corruption detected: directory node at 0x1000 is reached twice"},
      {"two branches share a child",
       {{0x1000, node_of({entry(1, 0, 0)}, {0x2000, 0x2000})}, {0x2000, node_of({})}},
       "Corruption detected: directory node at 0x2000 is reached twice"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Crafted a(0x1000);
    for (const auto& [at, n] : c.nodes) a.node(at, n);
    auto db = open_raw(a.raw);
    ASSERT_FALSE(db.ok());
    EXPECT_EQ(db.error().kind(), DatError::Kind::Corruption);
    EXPECT_EQ(db.error().message(), c.message);
  }
}

TEST_F(ArchiveTest, OverlappingNodesAreCorruption) {
  // A root whose 62 branches name offsets one byte apart inside a run of
  // zero bytes: each reads as an empty leaf, so the tree looks sound, but
  // 63 nodes of 1716 bytes cannot fit in this archive without sharing
  // bytes. Unchecked, every byte of an archive could be a node.
  constexpr std::uint32_t kLeaves = 0x2000;
  RawNode root;
  root.entry_count = 61;  // branches 0..61 are all visited
  for (std::uint32_t i = 0; i < 61; ++i) root.entries.push_back(entry(i, 0, 0));
  for (std::uint32_t b = 0; b < kNodeBranches; ++b) root.branches[b] = kLeaves + b;
  Crafted a(0x1000);
  a.node(0x1000, root);
  a.raw.pad_to(kLeaves + kNodeBranches + 4 + kNodeSize);  // zeros: link 0, then an empty leaf
  ASSERT_LT(a.raw.size(), 63 * kNodeSize);
  auto db = open_raw(a.raw);
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.error().kind(), DatError::Kind::Corruption);
  const std::uint32_t first_refused = kLeaves + static_cast<std::uint32_t>(a.raw.size() / kNodeSize) - 1;
  char expected[96];
  std::snprintf(expected, sizeof expected,
                "Corruption detected: directory has more nodes than the archive can hold at node 0x%X",
                first_refused);
  EXPECT_EQ(db.error().message(), expected);

  // The same leaves spread out, each in bytes of its own, open.
  Crafted spread(0x1000);
  for (std::uint32_t b = 0; b < kNodeBranches; ++b) root.branches[b] = kLeaves + b * Crafted::kBlock;
  spread.node(0x1000, root);
  spread.raw.pad_to(kLeaves + kNodeBranches * Crafted::kBlock);
  auto ok = open_raw(spread.raw);
  ASSERT_TRUE(ok.ok()) << ok.error().message();
  EXPECT_EQ(ok->file_count(), 61u);
}

TEST_F(ArchiveTest, DepthIsBounded) {
  // A chain of nodes, each the only child of the one before.
  auto build = [](int levels) {
    Crafted a(0x1000);
    for (int i = 0; i < levels; ++i) {
      const std::uint32_t at = 0x1000 + static_cast<std::uint32_t>(i) * 0x800;
      const std::uint32_t next = i + 1 < levels ? at + 0x800 : 0;
      a.node(at, node_of({entry(static_cast<std::uint32_t>(i), 0, 0)}, {next}));
    }
    return a;
  };
  auto deep_enough = open_raw(build(kMaxDirectoryDepth).raw);
  ASSERT_TRUE(deep_enough.ok()) << deep_enough.error().message();
  EXPECT_EQ(deep_enough->file_count(), static_cast<std::size_t>(kMaxDirectoryDepth));

  auto too_deep = open_raw(build(kMaxDirectoryDepth + 1).raw);
  ASSERT_FALSE(too_deep.ok());
  EXPECT_EQ(too_deep.error().kind(), DatError::Kind::Corruption);
  EXPECT_EQ(too_deep.error().message(), "Corruption detected: directory is deeper than 64 levels at node 0x21000");
}

TEST_F(ArchiveTest, BlockSizeWithoutPayloadIsRejected) {
  for (const std::uint32_t block_size : {0u, 1u, 4u}) {
    SCOPED_TRACE(block_size);
    Crafted a(0x1000);
    a.raw.header(header_with(block_size, 0x1000));
    a.node(0x1000, node_of({}));
    auto db = open_raw(a.raw);
    ASSERT_FALSE(db.ok());
    EXPECT_EQ(db.error().kind(), DatError::Kind::Corruption);
    EXPECT_EQ(db.error().message(),
              "Corruption detected: block size " + std::to_string(block_size) + " leaves no room for data");
  }
}

TEST_F(ArchiveTest, BlockSizeFiveCarriesOneBytePerBlock) {
  std::vector<authoring::ArchiveFile> files(2);
  files[0].id = 0x01000001;
  files[0].data = pattern(40, 9);
  files[1].id = 0x01000002;
  files[1].data = pattern(3, 1);
  authoring::ArchiveOptions options;
  options.block_size = 5;
  auto bytes = authoring::build_archive(files, options);
  ASSERT_TRUE(bytes.ok());
  auto db = open_bytes(bytes.value());
  ASSERT_TRUE(db.ok()) << db.error().message();
  EXPECT_EQ(db->get_file(0x01000001).value(), files[0].data);
  EXPECT_EQ(db->get_file(0x01000002).value(), files[1].data);
}

TEST_F(ArchiveTest, ChainsThatLoopEndAtTheRequestedSize) {
  // A chain whose block links back to itself is followed only until the
  // requested bytes are in: the payload repeats, and the loop costs no
  // more than the size asked for (which the archive's length bounds).
  RawArchive raw;
  raw.header(header_with(kSmallBlock, 0));
  raw.block(0x200, 0x200, pattern(12, 5));  // links to itself
  raw.block(0x300, 0x310, pattern(12, 6));  // 0x300 <-> 0x310, a loop of two
  raw.block(0x310, 0x300, pattern(12, 7));
  auto db = open_raw(raw);
  ASSERT_TRUE(db.ok()) << db.error().message();
  Bytes self_loop;
  for (int k = 0; k < 3; ++k) {
    const Bytes p = pattern(12, 5);
    self_loop.insert(self_loop.end(), p.begin(), p.end());
  }
  self_loop.resize(30);
  EXPECT_EQ(db->read_file_data(0x200, 30).value(), self_loop);
  Bytes two_loop = pattern(12, 6);
  for (std::uint8_t seed : {7, 6, 7}) {
    const Bytes p = pattern(12, seed);
    two_loop.insert(two_loop.end(), p.begin(), p.end());
  }
  two_loop.resize(40);
  EXPECT_EQ(db->read_file_data(0x300, 40).value(), two_loop);
  // The largest size the archive could back still ends.
  EXPECT_EQ(db->read_file_data(0x200, static_cast<std::uint32_t>(db->file_length())).value().size(),
            db->file_length());

  // A directory node whose chain loops on one block of block size 5: the
  // node is that one byte 1716 times. Zero bytes make an empty leaf; 0x01
  // bytes make branch 0 the offset 0x01010101, past the end of the file.
  for (const std::uint8_t fill : {std::uint8_t{0}, std::uint8_t{1}}) {
    SCOPED_TRACE(static_cast<int>(fill));
    RawArchive node_loop;
    node_loop.header(header_with(5, 0x200));
    node_loop.block(0x200, 0x200, Bytes{fill}).pad_to(0x1000);  // a node's 1716 bytes fit the file
    auto opened = open_raw(node_loop);
    if (fill == 0) {
      ASSERT_TRUE(opened.ok()) << opened.error().message();
      EXPECT_EQ(opened->file_count(), 0u);
    } else {
      ASSERT_FALSE(opened.ok());
      // entry_count 0x01010101 runs off the node at its 62nd entry first.
      EXPECT_EQ(opened.error().kind(), DatError::Kind::BinRead);
    }
  }
}

// --- Retrieval ----------------------------------------------------------

TEST_F(ArchiveTest, GetFileHonoursTheCompressedFlag) {
  // Stored bytes of a compressed file: size 6, flag 0x40, literal 'a',
  // back-reference distance 1 count 5.
  const Bytes stored = {6, 0, 0, 0, 0x40, 'a', 0x01, 0x03};
  Crafted a(0x1000);
  a.node(0x1000, node_of({entry(1, 0x2000, 8, /*flags=*/1), entry(2, 0x2000, 8, /*flags=*/2),
                          entry(3, 0x2000, 8, /*flags=*/3), entry(4, 0xFFFFFFFF, 0, /*flags=*/1)}))
      .data(0x2000, stored);
  auto db = open_raw(a.raw);
  ASSERT_TRUE(db.ok()) << db.error().message();
  const Bytes six_a(6, 'a');
  EXPECT_EQ(db->get_file(1).value(), six_a);
  EXPECT_EQ(db->get_file(2).value(), stored);  // bit 0 clear: as stored
  EXPECT_EQ(db->get_file(3).value(), six_a);
  EXPECT_TRUE(db->get_file(4).value().empty());  // size 0: nothing read, offset ignored
  auto missing = db->get_file(0xFFFE);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().message(), "File ID 0000FFFE not found in provider");
}

TEST_F(ArchiveTest, FileTooLargeForTheArchiveFailsBeforeReading) {
  Crafted a(0x1000);
  a.node(0x1000, node_of({entry(1, 0x2000, 0xFFFFFFFF)})).data(0x2000, Bytes{1, 2, 3});
  auto db = open_raw(a.raw);
  ASSERT_TRUE(db.ok()) << db.error().message();
  auto got = db->get_file(1);
  ASSERT_FALSE(got.ok());
  EXPECT_EQ(got.error().kind(), DatError::Kind::Io);
  EXPECT_EQ(got.error().message(), "IO error: failed to fill whole buffer");
}

// The archive is read with positioned reads only, never mapped: a file
// that shrinks after opening makes the reads past its new end fail with
// Io, and those before it still succeed.
TEST_F(ArchiveTest, ArchiveThatShrinksAfterOpeningFailsCleanly) {
  std::vector<authoring::ArchiveFile> files;
  for (std::uint32_t i = 0; i < 40; ++i) files.push_back({0x100 + i, pattern(300, static_cast<std::uint8_t>(i)), 0, false, 0, 0});
  authoring::ArchiveOptions options;
  options.block_size = 64;
  auto built = authoring::build_archive(files, options);
  ASSERT_TRUE(built.ok());
  const auto path = dir_ / "shrinks.dat";
  ASSERT_TRUE(authoring::write_bytes(path, built.value()).ok());
  auto db = DatDatabase::open(path);
  ASSERT_TRUE(db.ok()) << db.error().message();
  ASSERT_TRUE(db->get_file(0x100 + 39).ok());
  std::filesystem::resize_file(path, built->size() / 2);
  auto first = db->get_file(0x100);  // wholly before the cut
  ASSERT_TRUE(first.ok()) << first.error().message();
  EXPECT_EQ(first.value(), files[0].data);
  auto last = db->get_file(0x100 + 39);  // past it
  ASSERT_FALSE(last.ok());
  EXPECT_EQ(last.error().kind(), DatError::Kind::Io);
}

TEST_F(ArchiveTest, WrittenArchiveRoundTrips) {
  // Enough files and a small node capacity for a tree several levels deep;
  // small blocks so that nodes and files span many, placed backwards.
  std::vector<authoring::ArchiveFile> files;
  for (std::uint32_t i = 0; i < 300; ++i) {
    authoring::ArchiveFile f;
    f.id = 0x02000000 + i * 3;
    f.data = pattern(i % 5 == 0 ? 0 : (i * 37) % 700, static_cast<std::uint8_t>(i));
    f.compress = i % 3 == 0;
    f.timestamp = i;
    f.version = 1000 + i;
    files.push_back(std::move(f));
  }
  authoring::ArchiveOptions options;
  options.block_size = 256;
  options.max_entries_per_node = 3;
  options.block_order = authoring::BlockOrder::kReversed;
  const auto path = dir_ / "written.dat";
  ASSERT_TRUE(authoring::write_archive(path, files, options).ok());

  auto opened = DatDatabase::open(path);
  ASSERT_TRUE(opened.ok()) << opened.error().message();
  DatDatabase db = std::move(opened).value();  // a moved handle keeps working
  EXPECT_EQ(db.header().block_size, 256u);
  EXPECT_EQ(db.file_count(), files.size());
  for (const auto& f : files) {
    SCOPED_TRACE(f.id);
    const DatFileEntry* e = db.find(f.id);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->bit_flags, f.compress ? 1u : 0u);
    EXPECT_EQ(e->timestamp, f.timestamp);
    EXPECT_EQ(e->version, f.version);
    auto first = db.get_file(f.id);
    auto second = db.get_file(f.id);
    ASSERT_TRUE(first.ok()) << first.error().message();
    EXPECT_EQ(first.value(), f.data);
    EXPECT_EQ(second.value(), f.data);
  }
  std::size_t visited = 0;
  for (const auto& [id, e] : db.entries()) {
    EXPECT_EQ(id, e.id);
    ++visited;
  }
  EXPECT_EQ(visited, files.size());
}

}  // namespace
}  // namespace quillmoor::dat
