#include "quillmoor/dat/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

DatResult<std::vector<std::uint8_t>> DatDatabase::read_file_data(std::uint32_t offset,
                                                                 std::uint32_t size) const {
  if (size == 0) return std::vector<std::uint8_t>();
  // However the chain runs, it cannot supply more bytes than the archive
  // holds; refuse before allocating for a size no file could back.
  if (size > file_length_) return Err{DatError(IoError::unexpected_eof())};
  if (header_.block_size <= 4) {
    return Err{DatError::corruption("block size " + std::to_string(header_.block_size) +
                                    " leaves no room for data")};
  }

  std::vector<std::uint8_t> out(size, 0);
  const std::uint32_t payload = header_.block_size - 4;
  std::uint32_t position = 0;
  std::uint32_t remaining = size;
  std::uint32_t block = offset;
  for (;;) {
    std::uint8_t link_bytes[4];
    QM_TRY(pread_exact(fd_.get(), link_bytes, 4, block));
    const std::uint32_t link = std::uint32_t{link_bytes[0]} | (std::uint32_t{link_bytes[1]} << 8) |
                               (std::uint32_t{link_bytes[2]} << 16) | (std::uint32_t{link_bytes[3]} << 24);
    const std::uint32_t data_at = block + 4;  // 32-bit, as every offset
    if (link == 0) {
      // The last block: whatever remains follows its payload offset.
      QM_TRY(pread_exact(fd_.get(), out.data() + position, remaining, data_at));
      return out;
    }
    const std::uint32_t chunk = std::min(payload, remaining);
    QM_TRY(pread_exact(fd_.get(), out.data() + position, chunk, data_at));
    position += chunk;
    remaining -= chunk;
    if (remaining == 0) return out;  // the link of this block is not followed
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
  const auto it = index_.find(id);
  return it == index_.end() ? nullptr : &it->second;
}

DatResult<Ok> DatDatabase::read_directory() {
  std::unordered_set<std::uint32_t> seen;
  return read_node(header_.root_offset, 1, seen);
}

DatResult<Ok> DatDatabase::read_node(std::uint32_t offset, int depth,
                                     std::unordered_set<std::uint32_t>& seen) {
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

  QM_ASSIGN_OR_RETURN(const auto node, read_file_data(offset, static_cast<std::uint32_t>(kNodeSize)));
  // The nodes of a real directory never share bytes, so the archive holds
  // at most one node per 1716 bytes. Nodes that overlap (offsets a byte
  // apart, or chains of small blocks that share their tails) would let a
  // small archive make the walk read and decode far more than its size.
  if (seen.size() > file_length_ / kNodeSize) {
    return Err{DatError::corruption("directory has more nodes than the archive can hold at node " + hex(offset))};
  }
  BinReader reader(node);
  std::array<std::uint32_t, kNodeBranches> branches{};
  for (auto& branch : branches) {
    QM_ASSIGN_OR_RETURN(branch, reader.read_u32());
  }
  QM_ASSIGN_OR_RETURN(const std::uint32_t entry_count, reader.read_u32());

  // A count beyond 61 runs off the node's end at the 62nd entry.
  for (std::uint32_t i = 0; i < entry_count; ++i) {
    QM_ASSIGN_OR_RETURN(const DatFileEntry entry, DatFileEntry::read(reader));
    index_.put(entry.id, entry);
  }

  if (branches[0] == 0) return Ok{};  // a leaf, whatever the other branches hold
  const std::size_t last = std::min<std::size_t>(entry_count, kNodeBranches - 1);
  for (std::size_t b = 0; b <= last; ++b) {
    if (branches[b] == 0) continue;
    QM_TRY(read_node(branches[b], depth + 1, seen));
  }
  return Ok{};
}

}  // namespace quillmoor::dat
