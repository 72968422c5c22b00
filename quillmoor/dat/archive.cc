#include "quillmoor/dat/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "quillmoor/dat/decompress.h"

namespace quillmoor::dat {

namespace {

// Reads exactly `size` bytes at absolute `offset`, retrying interrupted
// reads. End of file before `size` bytes is the end-of-data error.
Result<Ok, IoError> pread_exact(int fd, std::uint8_t* out, std::size_t size, std::uint64_t offset) {
  while (size > 0) {
    const ssize_t n = ::pread(fd, out, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Err{IoError::from_errno(errno)};
    }
    if (n == 0) return Err{IoError::unexpected_eof()};
    out += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return Ok{};
}

// Up to `size` bytes at `offset`: fewer at end of file. An operating-system
// failure stops the read and is kept in `failure`.
std::vector<std::uint8_t> pread_some(int fd, std::size_t size, std::uint64_t offset,
                                     std::optional<IoError>& failure) {
  std::vector<std::uint8_t> out(size);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, out.data() + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      failure = IoError::from_errno(errno);
      break;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return out;
}

std::string hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

namespace {

// The header record. Bytes missing from `reader` are the end-of-data error,
// or `read_failure` when the read that fetched them failed.
BinResult<DatHeader> read_header(BinReader& reader, const std::optional<IoError>& read_failure) {
  Record rec(reader, "DatHeader");
  auto missing = [&](BinError eof) {
    return read_failure ? BinError::io(*read_failure) : std::move(eof);
  };
  auto u32 = [&](const char* name) {
    return rec.field(name, [&]() -> BinResult<std::uint32_t> {
      auto v = reader.read_u32();
      if (!v.ok()) return Err{missing(std::move(v).error())};
      return v;
    });
  };
  DatHeader h;
  QM_ASSIGN_OR_RETURN(h.magic, u32("magic"));
  QM_ASSIGN_OR_RETURN(h.block_size, u32("block_size"));
  QM_ASSIGN_OR_RETURN(h.file_size, u32("file_size"));
  QM_ASSIGN_OR_RETURN(h.dataset, u32("dataset"));
  QM_ASSIGN_OR_RETURN(h.subset, u32("subset"));
  QM_ASSIGN_OR_RETURN(h.free_head, u32("free_head"));
  QM_ASSIGN_OR_RETURN(h.free_tail, u32("free_tail"));
  QM_ASSIGN_OR_RETURN(h.free_count, u32("free_count"));
  QM_ASSIGN_OR_RETURN(h.root_offset, u32("root_offset"));
  QM_ASSIGN_OR_RETURN(h.new_lru, u32("new_lru"));
  QM_ASSIGN_OR_RETURN(h.old_lru, u32("old_lru"));
  QM_ASSIGN_OR_RETURN(h.use_lru, u32("use_lru"));
  QM_ASSIGN_OR_RETURN(h.master_map_id, u32("master_map_id"));
  QM_ASSIGN_OR_RETURN(h.engine_version, u32("engine_version"));
  QM_ASSIGN_OR_RETURN(h.game_version, u32("game_version"));
  QM_ASSIGN_OR_RETURN(auto version, rec.field("version_string", [&]() -> BinResult<std::span<const std::uint8_t>> {
    auto v = reader.read_bytes(16);  // fewer than 16 bytes fail the whole field
    if (!v.ok()) return Err{missing(std::move(v).error())};
    return v;
  }));
  std::copy(version.begin(), version.end(), h.version_string.begin());
  QM_ASSIGN_OR_RETURN(h.version_minor, u32("version_minor"));
  return h;
}

}  // namespace

BinResult<DatHeader> DatHeader::read(BinReader& reader) { return read_header(reader, std::nullopt); }

BinResult<DatFileEntry> DatFileEntry::read(BinReader& reader) {
  Record rec(reader, "DatFileEntry");
  DatFileEntry e;
  QM_ASSIGN_OR_RETURN(e.bit_flags, rec.u32("bit_flags"));
  QM_ASSIGN_OR_RETURN(e.id, rec.u32("id"));
  QM_ASSIGN_OR_RETURN(e.offset, rec.u32("offset"));
  QM_ASSIGN_OR_RETURN(e.size, rec.u32("size"));
  QM_ASSIGN_OR_RETURN(e.timestamp, rec.u32("timestamp"));
  QM_ASSIGN_OR_RETURN(e.version, rec.u32("version"));
  return e;
}

DatResult<DatDatabase> DatDatabase::open(const std::filesystem::path& path) {
  const int raw_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (raw_fd < 0) return Err{DatError::path_error(path, IoError::from_errno(errno))};
  FileDescriptor fd(raw_fd);  // closes the file on every return below

  if (::lseek(fd.get(), static_cast<off_t>(kHeaderOffset), SEEK_SET) < 0) {
    return Err{DatError(IoError::from_errno(errno))};
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) < 0) return Err{DatError(IoError::from_errno(errno))};
  const std::uint64_t file_length = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;

  // One read of the header's bytes; a short file leaves fewer, and the
  // record then fails at its first missing field. A failing read (a
  // directory, say) becomes that field's error instead of end of data.
  std::optional<IoError> read_failure;
  const std::vector<std::uint8_t> bytes = pread_some(fd.get(), kHeaderSize, kHeaderOffset, read_failure);
  BinReader reader(bytes);
  auto header = read_header(reader, read_failure);
  if (!header.ok()) return Err{DatError(std::move(header).error())};

  // A block of 4 bytes or fewer carries no payload (or, in 32-bit
  // arithmetic, an enormous one): chains could loop forever or read
  // nonsense. Only an archive without a directory can be read safely with
  // such a header, since nothing is ever read through its blocks.
  if (header->block_size <= 4 && header->root_offset != 0) {
    return Err{DatError::corruption("block size " + std::to_string(header->block_size) +
                                    " leaves no room for data")};
  }

  DatDatabase db(std::move(fd), header.value(), file_length);
  QM_TRY(db.read_directory());
  return db;
}

// A window of archive bytes held in memory, so that a chain whose blocks
// lie one after the other costs one read rather than two per block. It only
// ever serves bytes it read; whatever it cannot serve (the end of the file,
// a failing read, a piece larger than the window) the caller reads exactly
// as it would without a window, so the errors are the same.
class DatDatabase::BlockWindow {
 public:
  static constexpr std::size_t kLimit = std::size_t{128} << 10;

  BlockWindow(int fd, std::uint64_t file_length, std::vector<std::uint8_t>& buffer)
      : fd_(fd), file_length_(file_length), buffer_(buffer) {}

  // `len` bytes at absolute offset `at`, or null. On a miss the window is
  // refilled from `at` with up to `want` bytes (at least `len`), more when
  // the reads run on from one window to the next.
  const std::uint8_t* get(std::uint64_t at, std::size_t len, std::size_t want) {
    if (at >= start_ && at - start_ <= filled_ && filled_ - (at - start_) >= len) {
      return buffer_.data() + (at - start_);
    }
    if (len > kLimit || at >= file_length_) return nullptr;
    // Refills that follow on from each other (nodes written one after the
    // other, say) double in length, up to the limit.
    const bool runs_on = filled_ > 0 && at == start_ + filled_;
    run_ = runs_on ? std::min(kLimit, std::max(run_ * 2, filled_)) : 0;
    want = std::max({want, len, run_});
    want = static_cast<std::size_t>(std::min<std::uint64_t>({want, kLimit, file_length_ - at}));
    if (buffer_.size() < want) buffer_.resize(std::max(want, std::size_t{4096}));
    start_ = at;
    filled_ = 0;
    while (filled_ < want) {
      const ssize_t n = ::pread(fd_, buffer_.data() + filled_, want - filled_, static_cast<off_t>(at + filled_));
      if (n < 0) {
        if (errno == EINTR) continue;
        break;  // the exact read that follows reports it
      }
      if (n == 0) break;
      filled_ += static_cast<std::size_t>(n);
    }
    return filled_ >= len ? buffer_.data() : nullptr;
  }

 private:
  int fd_;
  std::uint64_t file_length_;
  std::vector<std::uint8_t>& buffer_;
  std::uint64_t start_ = 0;
  std::size_t filled_ = 0;
  std::size_t run_ = 0;  // length of the last of a run of adjacent refills
};

DatResult<std::vector<std::uint8_t>> DatDatabase::read_file_data(std::uint32_t offset,
                                                                 std::uint32_t size) const {
  // One buffer per thread, reused by every call: a file read allocates
  // nothing but its result.
  thread_local std::vector<std::uint8_t> buffer;
  BlockWindow window(fd_.get(), file_length_, buffer);
  return read_chain(offset, size, window);
}

DatResult<std::vector<std::uint8_t>> DatDatabase::read_chain(std::uint32_t offset, std::uint32_t size,
                                                             BlockWindow& window) const {
  if (size == 0) return std::vector<std::uint8_t>();
  // However the chain runs, it cannot supply more bytes than the archive
  // holds; refuse before allocating for a size no file could back.
  if (size > file_length_) return Err{DatError(IoError::unexpected_eof())};
  std::vector<std::uint8_t> out(size, 0);
  QM_TRY(read_chain_into(offset, size, window, out.data()));
  return out;
}

DatResult<Ok> DatDatabase::read_chain_into(std::uint32_t offset, std::uint32_t size, BlockWindow& window,
                                           std::uint8_t* out) const {
  if (size == 0) return Ok{};
  if (size > file_length_) return Err{DatError(IoError::unexpected_eof())};
  if (header_.block_size <= 4) {
    return Err{DatError::corruption("block size " + std::to_string(header_.block_size) +
                                    " leaves no room for data")};
  }

  const std::uint32_t block_size = header_.block_size;
  const std::uint32_t payload = block_size - 4;
  std::uint32_t position = 0;
  std::uint32_t remaining = size;
  std::uint32_t block = offset;
  bool adjacent = true;  // every link so far named the block right after
  for (;;) {
    // While the chain runs on block after block, the window reads as much
    // of the rest as it would take in one go; once it jumps, one block
    // (link and payload) at a time.
    const std::uint64_t blocks_left = adjacent ? (std::uint64_t{remaining} + payload - 1) / payload : 1;
    const std::size_t span = static_cast<std::size_t>(
        std::min<std::uint64_t>(blocks_left * block_size, BlockWindow::kLimit));
    std::uint8_t link_bytes[4];
    if (const std::uint8_t* p = window.get(block, 4, span)) {
      std::memcpy(link_bytes, p, 4);
    } else {
      QM_TRY(pread_exact(fd_.get(), link_bytes, 4, block));
    }
    const std::uint32_t link = std::uint32_t{link_bytes[0]} | (std::uint32_t{link_bytes[1]} << 8) |
                               (std::uint32_t{link_bytes[2]} << 16) | (std::uint32_t{link_bytes[3]} << 24);
    const std::uint32_t data_at = block + 4;  // 32-bit, as every offset
    // The last block: whatever remains follows its payload offset.
    const std::uint32_t chunk = link == 0 ? remaining : std::min(payload, remaining);
    if (const std::uint8_t* p = window.get(data_at, chunk, span)) {
      std::memcpy(out + position, p, chunk);
    } else {
      QM_TRY(pread_exact(fd_.get(), out + position, chunk, data_at));
    }
    if (link == 0) return Ok{};
    position += chunk;
    remaining -= chunk;
    if (remaining == 0) return Ok{};  // the link of this block is not followed
    if (std::uint64_t{link} != std::uint64_t{block} + block_size) adjacent = false;
    block = link;
  }
}

DatResult<std::vector<std::uint8_t>> DatDatabase::get_file(std::uint32_t id) const {
  const DatFileEntry* entry = find(id);
  if (entry == nullptr) return Err{DatError::not_found(id)};
  QM_ASSIGN_OR_RETURN(auto bytes, read_file_data(entry->offset, entry->size));
  if ((entry->bit_flags & kEntryCompressed) != 0) return decompress_lrs(bytes);
  return bytes;
}

const DatFileEntry* DatDatabase::find(std::uint32_t id) const {
  return index_.find(id);
}

DatResult<Ok> DatDatabase::read_directory() {
  std::unordered_set<std::uint32_t> seen;
  // One window for the whole walk: nodes written one after the other are
  // read in a few large pieces.
  std::vector<std::uint8_t> buffer;
  BlockWindow window(fd_.get(), file_length_, buffer);
  QM_TRY(read_node(header_.root_offset, 1, seen, window));
  // The table is sized once, for every entry the tree holds.
  index_.index_appended([](const DatFileEntry& e) { return e.id; });
  return Ok{};
}

namespace {

std::uint32_t load_u32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

}  // namespace

DatResult<Ok> DatDatabase::read_node(std::uint32_t offset, int depth, std::unordered_set<std::uint32_t>& seen,
                                     BlockWindow& window) {
  if (offset == 0) return Ok{};
  // The format assumes a tree: a node reached twice means the branches
  // loop (or share a child), and an absurd depth means damage. Either
  // would otherwise recurse without end.
  if (!seen.insert(offset).second) {
    return Err{DatError::corruption("directory node at " + hex(offset) + " is reached twice")};
  }
  if (depth > kMaxDirectoryDepth) {
    return Err{DatError::corruption("directory is deeper than " + std::to_string(kMaxDirectoryDepth) +
                                    " levels at node " + hex(offset))};
  }

  // Read into the stack: a node costs no allocation.
  std::array<std::uint8_t, kNodeSize> node;
  QM_TRY(read_chain_into(offset, static_cast<std::uint32_t>(kNodeSize), window, node.data()));
  // The nodes of a real directory never share bytes, so the archive holds
  // at most one node per 1716 bytes. Nodes that overlap (offsets a byte
  // apart, or chains of small blocks that share their tails) would let a
  // small archive make the walk read and decode far more than its size.
  if (seen.size() > file_length_ / kNodeSize) {
    return Err{DatError::corruption("directory has more nodes than the archive can hold at node " + hex(offset))};
  }
  std::array<std::uint32_t, kNodeBranches> branches{};
  for (std::size_t b = 0; b < kNodeBranches; ++b) branches[b] = load_u32(node.data() + 4 * b);
  const std::uint32_t entry_count = load_u32(node.data() + 4 * kNodeBranches);

  // The entries that fit are decoded straight from the node. They are
  // stored in the order they come and indexed once the whole tree is read
  // (read_directory), with the same outcome as inserting each right away.
  const std::size_t fitting = std::min<std::size_t>(entry_count, kNodeMaxEntries);
  const std::uint8_t* entries = node.data() + kNodeEntriesOffset;
  for (std::size_t i = 0; i < fitting; ++i) {
    const std::uint8_t* e = entries + kEntrySize * i;
    index_.append(DatFileEntry{load_u32(e), load_u32(e + 4), load_u32(e + 8), load_u32(e + 12),
                               load_u32(e + 16), load_u32(e + 20)});
  }
  if (entry_count > kNodeMaxEntries) {
    // A count beyond 61 runs off the node's end at the 62nd entry: the
    // record reader names the field.
    BinReader reader(node);
    reader.set_position(kNodeSize);
    QM_ASSIGN_OR_RETURN(const DatFileEntry entry, DatFileEntry::read(reader));
    index_.append(entry);  // not reached: the node has no bytes left
  }

  if (branches[0] == 0) return Ok{};  // a leaf, whatever the other branches hold
  const std::size_t last = std::min<std::size_t>(entry_count, kNodeBranches - 1);
  for (std::size_t b = 0; b <= last; ++b) {
    if (branches[b] == 0) continue;
    QM_TRY(read_node(branches[b], depth + 1, seen, window));
  }
  return Ok{};
}

}  // namespace quillmoor::dat
