// Writes archive containers: a header, block chains for every file and
// directory node, and a balanced directory tree over the files.
//
// The archives built here are what the readers expect of a real one; the
// raw helpers at the end place headers, nodes and blocks at chosen offsets
// so that tests can also build archives that are broken on purpose.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "quillmoor/dat/archive.h"
#include "quillmoor/dat/error.h"

namespace quillmoor::authoring {

// Compresses `data` into the stored form that `decompress_lrs` restores:
// the size (u32) followed by flag bytes and tokens. A greedy matcher over a
// small hash table of 3-byte prefixes; deterministic.
std::vector<std::uint8_t> compress_lrs(std::span<const std::uint8_t> data);

struct ArchiveFile {
  std::uint32_t id = 0;
  std::vector<std::uint8_t> data;  // the file's bytes (before compression)
  std::uint32_t bit_flags = 0;     // stored as given; bit 0 is set when `compress`
  bool compress = false;           // store compress_lrs(data)
  std::uint32_t timestamp = 0;
  std::uint32_t version = 0;
};

// Where a chain's blocks go: one after the other, or in descending offsets
// so that every link points backwards (proves that readers follow links).
enum class BlockOrder { kForward, kReversed };

struct ArchiveOptions {
  std::uint32_t block_size = 1024;           // must exceed 4
  std::uint32_t max_entries_per_node = 61;   // 1 to 61; small values force a deep tree
  BlockOrder block_order = BlockOrder::kForward;
  // Header fields stored as given; block_size, file_size and root_offset
  // are filled in.
  dat::DatHeader header;
};

// The whole archive. Files are indexed in ascending id order (equal ids
// keep their input order, so the reader's index ends up holding the one
// that the tree visits last). Fails with Other for options the format
// cannot hold: block size of 4 or less, node capacity outside 1 to 61, or
// an archive beyond 4 GiB.
dat::DatResult<std::vector<std::uint8_t>> build_archive(std::span<const ArchiveFile> files,
                                                        const ArchiveOptions& options = {});

// build_archive, written to `path` (created or truncated). The same bytes,
// written as they are made (see ArchiveFileWriter).
dat::DatResult<Ok> write_archive(const std::filesystem::path& path, std::span<const ArchiveFile> files,
                                 const ArchiveOptions& options = {});

// Writes an archive to a file while its files come in, one at a time, so
// that a large archive never has to be held in memory: only the directory
// entries are kept until the end. The directory nodes come first in the
// archive and their number follows from the number of files, which must
// therefore be known up front. Files given to `add` in the order that
// build_archive takes them give exactly build_archive's bytes.
class ArchiveFileWriter {
 public:
  // Creates or truncates `path`. Other for options the format cannot hold
  // (as build_archive); PathError when the file cannot be created.
  static dat::DatResult<ArchiveFileWriter> create(const std::filesystem::path& path, std::size_t file_count,
                                                  const ArchiveOptions& options = {});

  ArchiveFileWriter(ArchiveFileWriter&&) noexcept = default;
  ArchiveFileWriter& operator=(ArchiveFileWriter&&) noexcept = default;
  ~ArchiveFileWriter();

  // Stores the next file's data. Other when more files come than were
  // announced or the archive would pass 4 GiB; Io when writing fails.
  dat::DatResult<Ok> add(const ArchiveFile& file);
  // Writes the directory and the header and closes the file. Other when
  // fewer files came than were announced.
  dat::DatResult<Ok> finish();

 private:
  ArchiveFileWriter() = default;
  dat::DatResult<Ok> flush();
  dat::DatResult<Ok> write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes);

  dat::FileDescriptor fd_;
  ArchiveOptions options_;
  std::size_t file_count_ = 0;
  std::uint64_t node_area_end_ = 0;
  std::uint64_t cursor_ = 0;          // where the next chain goes
  std::vector<dat::DatFileEntry> entries_;  // in the order the files came
  std::vector<std::uint8_t> pending_;       // chains not yet written, ending at cursor_
  bool finished_ = false;
};

// Writes `bytes` to `path` (created or truncated).
dat::DatResult<Ok> write_bytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// --- Raw pieces for crafted archives ---------------------------------------

// The 80 header bytes as stored at 0x140.
std::vector<std::uint8_t> header_bytes(const dat::DatHeader& header);

// The 24 bytes of one entry.
std::vector<std::uint8_t> entry_bytes(const dat::DatFileEntry& entry);

// A directory node's 1716 bytes. `entry_count` is stored as given (it may
// disagree with `entries`, which fill the entry slots in order; at most 61).
struct RawNode {
  std::array<std::uint32_t, dat::kNodeBranches> branches{};
  std::uint32_t entry_count = 0;
  std::vector<dat::DatFileEntry> entries;
};
std::vector<std::uint8_t> node_bytes(const RawNode& node);

// An archive image edited byte by byte: writes grow it with zeros as needed.
class RawArchive {
 public:
  // Bytes at an absolute offset.
  RawArchive& put(std::uint64_t offset, std::span<const std::uint8_t> data);
  RawArchive& put_u32(std::uint64_t offset, std::uint32_t value);
  // The header at 0x140.
  RawArchive& header(const dat::DatHeader& header);
  // One block: its link at `offset`, then `payload` at offset + 4.
  RawArchive& block(std::uint64_t offset, std::uint32_t link, std::span<const std::uint8_t> payload);
  // `data` spread over the blocks at `offsets` in order, each linking to
  // the next, each carrying block_size - 4 bytes; the last block links to
  // `last_link` (0 normally) and carries what is left, however much.
  RawArchive& chain(std::span<const std::uint32_t> offsets, std::uint32_t block_size,
                    std::span<const std::uint8_t> data, std::uint32_t last_link = 0);
  // Zero bytes up to `length` (never shrinks).
  RawArchive& pad_to(std::uint64_t length);

  std::size_t size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace quillmoor::authoring
