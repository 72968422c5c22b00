// The archive container: a header at 0x140, data stored in chains of
// fixed-size blocks, and a tree of directory nodes that indexes every file
// by its 32-bit id.
//
// Opening an archive reads the header and walks the whole directory tree
// once into an in-memory index; afterwards `get_file` serves a file's bytes
// by id with positioned reads only, so lookups never move a shared cursor
// and need no mutable access to the handle.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <unordered_set>
#include <vector>

#include "quillmoor/common/seeded_id_map.h"
#include "quillmoor/dat/bin_reader.h"
#include "quillmoor/dat/error.h"

namespace quillmoor::dat {

inline constexpr std::uint64_t kHeaderOffset = 0x140;
inline constexpr std::size_t kHeaderSize = 80;

// Directory node layout: 62 branches, a count, room for 61 entries.
inline constexpr std::size_t kNodeBranches = 62;
inline constexpr std::size_t kNodeMaxEntries = 61;
inline constexpr std::size_t kEntrySize = 24;
inline constexpr std::size_t kNodeEntriesOffset = kNodeBranches * 4 + 4;                    // 252
inline constexpr std::size_t kNodeSize = kNodeEntriesOffset + kNodeMaxEntries * kEntrySize;  // 1716

// A real tree of 62-way nodes is a handful of levels deep; anything deeper
// than this is a damaged directory rather than a big one.
inline constexpr int kMaxDirectoryDepth = 64;

// Bit 0 of an entry's flags: the stored bytes are compressed.
inline constexpr std::uint32_t kEntryCompressed = 1;

// The 80-byte archive header. Only `block_size` and `root_offset` are
// used; the rest is kept as read and never validated.
struct DatHeader {
  std::uint32_t magic = 0;
  std::uint32_t block_size = 0;
  std::uint32_t file_size = 0;
  std::uint32_t dataset = 0;
  std::uint32_t subset = 0;
  std::uint32_t free_head = 0;
  std::uint32_t free_tail = 0;
  std::uint32_t free_count = 0;
  std::uint32_t root_offset = 0;  // first directory node; 0 = no directory
  std::uint32_t new_lru = 0;
  std::uint32_t old_lru = 0;
  std::uint32_t use_lru = 0;
  std::uint32_t master_map_id = 0;
  std::uint32_t engine_version = 0;
  std::uint32_t game_version = 0;
  std::array<std::uint8_t, 16> version_string{};  // raw bytes, not decoded
  std::uint32_t version_minor = 0;

  // Declarative record "DatHeader", 80 bytes.
  static BinResult<DatHeader> read(BinReader& reader);

  friend bool operator==(const DatHeader&, const DatHeader&) = default;
};

// One directory entry, 24 bytes.
struct DatFileEntry {
  std::uint32_t bit_flags = 0;  // bit 0: compressed
  std::uint32_t id = 0;
  std::uint32_t offset = 0;  // first block of the data
  std::uint32_t size = 0;    // stored bytes (compressed length when compressed)
  std::uint32_t timestamp = 0;
  std::uint32_t version = 0;

  // Declarative record "DatFileEntry".
  static BinResult<DatFileEntry> read(BinReader& reader);

  friend bool operator==(const DatFileEntry&, const DatFileEntry&) = default;
};

// A read-only file descriptor, closed when released.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

class DatDatabase {
 public:
  // Over a million entries in a real cell archive: the dense map.
  using Index = SeededIdMap<DatFileEntry>;

  // Opens the archive at `path`, reads its header and builds the whole
  // file index. Fails with PathError when the file cannot be opened, Io
  // for a failing seek or block read, BinRead for a short header or a
  // node with more than 61 entries, and Corruption for a block size that
  // leaves no payload or a directory that is not a tree (a node reached
  // twice, more than kMaxDirectoryDepth levels, or more nodes than the
  // archive has room for side by side, 1716 bytes each). The file is closed on
  // every failure path.
  static DatResult<DatDatabase> open(const std::filesystem::path& path);

  DatDatabase(DatDatabase&&) noexcept = default;
  DatDatabase& operator=(DatDatabase&&) noexcept = default;
  DatDatabase(const DatDatabase&) = delete;
  DatDatabase& operator=(const DatDatabase&) = delete;

  // Exactly `size` bytes of the block chain that starts at `offset`. Size 0
  // reads nothing. Each block's link names the next block; a link of 0
  // ends the chain and the rest is read contiguously from that block's
  // payload. Once `size` bytes are in, the last block's link is ignored.
  // Io for a failing or short read, and (before anything is allocated) for
  // a size larger than the whole archive, which no chain could supply.
  // Corruption when the header's block size leaves no payload (only an
  // archive without a directory opens with such a header).
  DatResult<std::vector<std::uint8_t>> read_file_data(std::uint32_t offset, std::uint32_t size) const;

  // A file's bytes by id, decompressed when its entry is flagged.
  // NotFound when the id is not in the index.
  DatResult<std::vector<std::uint8_t>> get_file(std::uint32_t id) const;

  // The index entry of `id`, or null.
  const DatFileEntry* find(std::uint32_t id) const;

  const DatHeader& header() const { return header_; }
  std::size_t file_count() const { return index_.size(); }
  // Every entry of the index, in no significant order.
  const Index& entries() const { return index_; }
  // The archive's length in bytes when it was opened.
  std::uint64_t file_length() const { return file_length_; }

 private:
  DatDatabase(FileDescriptor fd, DatHeader header, std::uint64_t file_length)
      : fd_(std::move(fd)), header_(header), file_length_(file_length) {}

  class BlockWindow;
  DatResult<std::vector<std::uint8_t>> read_chain(std::uint32_t offset, std::uint32_t size,
                                                  BlockWindow& window) const;
  // The same into `out`, which has room for `size` bytes.
  DatResult<Ok> read_chain_into(std::uint32_t offset, std::uint32_t size, BlockWindow& window,
                                std::uint8_t* out) const;
  DatResult<Ok> read_directory();
  DatResult<Ok> read_node(std::uint32_t offset, int depth, std::unordered_set<std::uint32_t>& seen,
                          BlockWindow& window);

  FileDescriptor fd_;
  DatHeader header_;
  std::uint64_t file_length_ = 0;
  Index index_;
};

}  // namespace quillmoor::dat
