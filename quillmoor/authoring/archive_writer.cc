#include "quillmoor/authoring/archive_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>

#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::authoring {

namespace {

constexpr std::size_t kWindow = 4095;   // largest back-reference distance
constexpr std::size_t kMinMatch = 3;    // shorter matches are not worth a token
constexpr std::size_t kMaxMatch = 17;
constexpr std::size_t kHashBits = 12;

std::size_t hash3(const std::uint8_t* p) {
  const std::uint32_t v = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
  return (v * 2654435761u) >> (32 - kHashBits);
}

void store_u32(std::uint8_t* at, std::uint32_t v) {
  at[0] = static_cast<std::uint8_t>(v);
  at[1] = static_cast<std::uint8_t>(v >> 8);
  at[2] = static_cast<std::uint8_t>(v >> 16);
  at[3] = static_cast<std::uint8_t>(v >> 24);
}

// The directory tree as laid out before offsets are known.
struct NodePlan {
  std::vector<std::size_t> entries;  // positions in the id-sorted file order
  std::vector<std::size_t> children;  // node numbers; kNoChild where empty
};
constexpr std::size_t kNoChild = static_cast<std::size_t>(-1);

class TreePlanner {
 public:
  explicit TreePlanner(std::size_t capacity) : m_(capacity) {}

  // Builds the subtree holding sorted files [lo, hi) and returns its node
  // number (kNoChild for an empty range below the root).
  std::size_t plan(std::size_t lo, std::size_t hi) {
    const std::size_t n = hi - lo;
    const std::size_t self = nodes_.size();
    nodes_.emplace_back();
    if (n <= m_) {
      for (std::size_t i = lo; i < hi; ++i) nodes_[self].entries.push_back(i);
      return self;
    }
    // The lowest height whose full tree holds n entries; the children are
    // one level lower, each holding at most c. k separators in this node
    // leave n - k entries for the k + 1 children, shared out evenly with
    // the first children taking the remainder (so child 0 is never empty).
    std::uint64_t c = m_;  // capacity of a tree of height 1
    while ((m_ + 1) * c + m_ < n) c = (m_ + 1) * c + m_;
    // k = ceil((n - c) / (c + 1)): the fewest separators that leave no
    // child over capacity; at most m because a tree one level higher
    // holds n.
    const std::size_t k = static_cast<std::size_t>((n - c + (c + 1) - 1) / (c + 1));
    const std::size_t rest = n - k;
    const std::size_t base = rest / (k + 1);
    const std::size_t extra = rest % (k + 1);
    std::size_t at = lo;
    for (std::size_t j = 0; j <= k; ++j) {
      const std::size_t share = base + (j < extra ? 1 : 0);
      const std::size_t child = share == 0 ? kNoChild : plan(at, at + share);
      nodes_[self].children.push_back(child);
      at += share;
      if (j < k) nodes_[self].entries.push_back(at++);
    }
    return self;
  }

  std::vector<NodePlan>& nodes() { return nodes_; }

 private:
  std::uint64_t m_;
  std::vector<NodePlan> nodes_;
};

// Block offsets of one chain, in chain order.
struct Chain {
  std::uint64_t first = 0;   // offset of the first block (0 for no data)
  std::uint64_t blocks = 0;  // number of blocks
  bool reversed = false;
  std::uint64_t block(std::uint64_t j, std::uint32_t block_size) const {
    return first + (reversed ? blocks - 1 - j : j) * block_size;
  }
};

void write_chain(std::vector<std::uint8_t>& out, const Chain& chain, std::uint32_t block_size,
                 std::span<const std::uint8_t> data) {
  const std::size_t payload = block_size - 4;
  for (std::uint64_t j = 0; j < chain.blocks; ++j) {
    const std::uint64_t at = chain.block(j, block_size);
    const std::uint32_t link =
        j + 1 < chain.blocks ? static_cast<std::uint32_t>(chain.block(j + 1, block_size)) : 0;
    store_u32(out.data() + at, link);
    const std::size_t from = static_cast<std::size_t>(j) * payload;
    const std::size_t len = std::min(payload, data.size() - from);
    std::memcpy(out.data() + at + 4, data.data() + from, len);
  }
}

}  // namespace

std::vector<std::uint8_t> compress_lrs(std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> out;
  out.reserve(4 + data.size() + data.size() / 8 + 1);
  out.resize(4);
  store_u32(out.data(), static_cast<std::uint32_t>(data.size()));

  std::vector<std::int64_t> table(std::size_t{1} << kHashBits, -1);
  const std::size_t n = data.size();
  std::size_t pos = 0;
  auto remember = [&](std::size_t p) {
    if (p + kMinMatch <= n) table[hash3(&data[p])] = static_cast<std::int64_t>(p);
  };
  while (pos < n) {
    const std::size_t flag_at = out.size();
    out.push_back(0);
    for (unsigned bit = 0; bit < 8 && pos < n; ++bit) {
      std::size_t length = 0;
      std::size_t distance = 0;
      if (pos + kMinMatch <= n) {
        const std::int64_t candidate = table[hash3(&data[pos])];
        if (candidate >= 0 && pos - static_cast<std::size_t>(candidate) <= kWindow) {
          const std::size_t from = static_cast<std::size_t>(candidate);
          const std::size_t limit = std::min(kMaxMatch, n - pos);
          while (length < limit && data[from + length] == data[pos + length]) ++length;
          distance = pos - from;
        }
      }
      if (length >= kMinMatch) {
        out[flag_at] = static_cast<std::uint8_t>(out[flag_at] | (0x80u >> bit));
        out.push_back(static_cast<std::uint8_t>(distance & 0xFF));
        out.push_back(static_cast<std::uint8_t>(((distance >> 4) & 0xF0) | (length - 2)));
        for (std::size_t k = 0; k < length; ++k) remember(pos + k);
        pos += length;
      } else {
        remember(pos);
        out.push_back(data[pos]);
        ++pos;
      }
    }
  }
  return out;
}

dat::DatResult<std::vector<std::uint8_t>> build_archive(std::span<const ArchiveFile> files,
                                                        const ArchiveOptions& options) {
  using dat::DatError;
  const std::uint32_t block_size = options.block_size;
  if (block_size <= 4) return Err{DatError::other("block size must exceed 4")};
  const std::size_t capacity = options.max_entries_per_node;
  if (capacity < 1 || capacity > dat::kNodeMaxEntries) {
    return Err{DatError::other("entries per node must be 1 to 61")};
  }

  // Stored bytes of every file.
  std::vector<std::vector<std::uint8_t>> compressed(files.size());
  std::vector<std::span<const std::uint8_t>> stored(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files[i].compress) {
      compressed[i] = compress_lrs(files[i].data);
      stored[i] = compressed[i];
    } else {
      stored[i] = files[i].data;
    }
    if (stored[i].size() > 0xFFFFFFFFu) return Err{DatError::other("file larger than 4 GiB")};
  }

  std::vector<std::size_t> order(files.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return files[a].id < files[b].id; });

  TreePlanner planner(capacity);
  planner.plan(0, order.size());  // node 0 is the root (an empty leaf for no files)
  const std::vector<NodePlan>& nodes = planner.nodes();

  // Offsets: nodes first (root at the first block), then the files.
  const std::uint64_t payload = block_size - 4;
  std::uint64_t cursor = dat::kHeaderOffset + dat::kHeaderSize;
  auto allocate = [&](std::uint64_t length) {
    Chain c;
    c.blocks = (length + payload - 1) / payload;
    c.reversed = options.block_order == BlockOrder::kReversed;
    if (c.blocks > 0) c.first = cursor;
    cursor += c.blocks * block_size;
    return c;
  };
  std::vector<Chain> node_chains;
  node_chains.reserve(nodes.size());
  for (std::size_t i = 0; i < nodes.size(); ++i) node_chains.push_back(allocate(dat::kNodeSize));
  std::vector<Chain> file_chains;
  file_chains.reserve(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) file_chains.push_back(allocate(stored[i].size()));
  if (cursor > 0xFFFFFFFFu) return Err{DatError::other("archive larger than 4 GiB")};

  std::vector<std::uint8_t> out(static_cast<std::size_t>(cursor), 0);
  dat::DatHeader header = options.header;
  header.block_size = block_size;
  header.file_size = static_cast<std::uint32_t>(cursor);
  header.root_offset = static_cast<std::uint32_t>(node_chains[0].block(0, block_size));
  const auto head = header_bytes(header);
  std::memcpy(out.data() + dat::kHeaderOffset, head.data(), head.size());

  for (std::size_t i = 0; i < nodes.size(); ++i) {
    RawNode raw;
    for (std::size_t j = 0; j < nodes[i].children.size(); ++j) {
      const std::size_t child = nodes[i].children[j];
      if (child != kNoChild) raw.branches[j] = static_cast<std::uint32_t>(node_chains[child].block(0, block_size));
    }
    raw.entry_count = static_cast<std::uint32_t>(nodes[i].entries.size());
    for (const std::size_t sorted_pos : nodes[i].entries) {
      const std::size_t f = order[sorted_pos];
      dat::DatFileEntry e;
      e.bit_flags = files[f].bit_flags | (files[f].compress ? dat::kEntryCompressed : 0);
      e.id = files[f].id;
      e.offset = file_chains[f].blocks > 0 ? static_cast<std::uint32_t>(file_chains[f].block(0, block_size)) : 0;
      e.size = static_cast<std::uint32_t>(stored[f].size());
      e.timestamp = files[f].timestamp;
      e.version = files[f].version;
      raw.entries.push_back(e);
    }
    write_chain(out, node_chains[i], block_size, node_bytes(raw));
  }
  for (std::size_t f = 0; f < files.size(); ++f) write_chain(out, file_chains[f], block_size, stored[f]);
  return out;
}

dat::DatResult<Ok> write_archive(const std::filesystem::path& path, std::span<const ArchiveFile> files,
                                 const ArchiveOptions& options) {
  QM_ASSIGN_OR_RETURN(auto writer, ArchiveFileWriter::create(path, files.size(), options));
  for (const ArchiveFile& file : files) QM_TRY(writer.add(file));
  return writer.finish();
}

namespace {

constexpr std::size_t kFlushAt = std::size_t{4} << 20;

// The blocks of `chain`, `block_size` each, laid out from chain.first on
// into `out` (which grows by the chain's length); padding stays zero.
void append_chain(std::vector<std::uint8_t>& out, const Chain& chain, std::uint32_t block_size,
                  std::span<const std::uint8_t> data) {
  const std::size_t base = out.size();
  out.resize(base + static_cast<std::size_t>(chain.blocks * block_size), 0);
  const std::size_t payload = block_size - 4;
  for (std::uint64_t j = 0; j < chain.blocks; ++j) {
    std::uint8_t* at = out.data() + base + static_cast<std::size_t>(chain.block(j, block_size) - chain.first);
    const std::uint32_t link =
        j + 1 < chain.blocks ? static_cast<std::uint32_t>(chain.block(j + 1, block_size)) : 0;
    store_u32(at, link);
    const std::size_t from = static_cast<std::size_t>(j) * payload;
    const std::size_t len = std::min(payload, data.size() - from);
    std::memcpy(at + 4, data.data() + from, len);
  }
}

std::uint64_t blocks_for(std::uint64_t length, std::uint32_t block_size) {
  const std::uint64_t payload = block_size - 4;
  return (length + payload - 1) / payload;
}

}  // namespace

dat::DatResult<ArchiveFileWriter> ArchiveFileWriter::create(const std::filesystem::path& path,
                                                            std::size_t file_count,
                                                            const ArchiveOptions& options) {
  using dat::DatError;
  if (options.block_size <= 4) return Err{DatError::other("block size must exceed 4")};
  if (options.max_entries_per_node < 1 || options.max_entries_per_node > dat::kNodeMaxEntries) {
    return Err{DatError::other("entries per node must be 1 to 61")};
  }
  TreePlanner planner(options.max_entries_per_node);
  planner.plan(0, file_count);
  const std::uint64_t node_blocks = blocks_for(dat::kNodeSize, options.block_size);

  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Err{DatError::path_error(path, IoError::from_errno(errno))};
  ArchiveFileWriter w;
  w.fd_ = dat::FileDescriptor(fd);
  w.options_ = options;
  w.file_count_ = file_count;
  w.node_area_end_ = dat::kHeaderOffset + dat::kHeaderSize + planner.nodes().size() * node_blocks * options.block_size;
  w.cursor_ = w.node_area_end_;
  w.entries_.reserve(file_count);
  return w;
}

ArchiveFileWriter::~ArchiveFileWriter() = default;

dat::DatResult<Ok> ArchiveFileWriter::write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd_.get(), bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Err{dat::DatError(IoError::from_errno(errno))};
    }
    done += static_cast<std::size_t>(n);
  }
  return Ok{};
}

dat::DatResult<Ok> ArchiveFileWriter::flush() {
  QM_TRY(write_at(cursor_ - pending_.size(), pending_));
  pending_.clear();
  return Ok{};
}

dat::DatResult<Ok> ArchiveFileWriter::add(const ArchiveFile& file) {
  using dat::DatError;
  if (finished_ || entries_.size() >= file_count_) return Err{DatError::other("more files than announced")};
  std::vector<std::uint8_t> compressed;
  std::span<const std::uint8_t> stored = file.data;
  if (file.compress) {
    compressed = compress_lrs(file.data);
    stored = compressed;
  }
  if (stored.size() > 0xFFFFFFFFu) return Err{DatError::other("file larger than 4 GiB")};

  const std::uint32_t block_size = options_.block_size;
  Chain chain;
  chain.blocks = blocks_for(stored.size(), block_size);
  chain.reversed = options_.block_order == BlockOrder::kReversed;
  if (chain.blocks > 0) chain.first = cursor_;
  if (cursor_ + chain.blocks * block_size > 0xFFFFFFFFu) return Err{DatError::other("archive larger than 4 GiB")};
  append_chain(pending_, chain, block_size, stored);
  cursor_ += chain.blocks * block_size;

  dat::DatFileEntry e;
  e.bit_flags = file.bit_flags | (file.compress ? dat::kEntryCompressed : 0);
  e.id = file.id;
  e.offset = chain.blocks > 0 ? static_cast<std::uint32_t>(chain.block(0, block_size)) : 0;
  e.size = static_cast<std::uint32_t>(stored.size());
  e.timestamp = file.timestamp;
  e.version = file.version;
  entries_.push_back(e);
  if (pending_.size() >= kFlushAt) QM_TRY(flush());
  return Ok{};
}

dat::DatResult<Ok> ArchiveFileWriter::finish() {
  using dat::DatError;
  if (finished_) return Err{DatError::other("archive already finished")};
  if (entries_.size() != file_count_) return Err{DatError::other("fewer files than announced")};
  finished_ = true;
  QM_TRY(flush());

  std::vector<std::uint32_t> order(entries_.size());
  std::iota(order.begin(), order.end(), std::uint32_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return entries_[a].id < entries_[b].id; });
  TreePlanner planner(options_.max_entries_per_node);
  planner.plan(0, order.size());
  const std::vector<NodePlan>& nodes = planner.nodes();

  const std::uint32_t block_size = options_.block_size;
  const std::uint64_t node_blocks = blocks_for(dat::kNodeSize, block_size);
  auto node_chain = [&](std::size_t i) {
    Chain c;
    c.first = dat::kHeaderOffset + dat::kHeaderSize + i * node_blocks * block_size;
    c.blocks = node_blocks;
    c.reversed = options_.block_order == BlockOrder::kReversed;
    return c;
  };

  // The head: zeros up to the header, the header, then every node.
  dat::DatHeader header = options_.header;
  header.block_size = block_size;
  header.file_size = static_cast<std::uint32_t>(cursor_);
  header.root_offset = static_cast<std::uint32_t>(node_chain(0).block(0, block_size));
  std::vector<std::uint8_t> head(dat::kHeaderOffset, 0);
  const auto header_part = header_bytes(header);
  head.insert(head.end(), header_part.begin(), header_part.end());
  QM_TRY(write_at(0, head));

  std::vector<std::uint8_t> area;
  std::uint64_t area_at = dat::kHeaderOffset + dat::kHeaderSize;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    RawNode raw;
    for (std::size_t j = 0; j < nodes[i].children.size(); ++j) {
      const std::size_t child = nodes[i].children[j];
      if (child != kNoChild) raw.branches[j] = static_cast<std::uint32_t>(node_chain(child).block(0, block_size));
    }
    raw.entry_count = static_cast<std::uint32_t>(nodes[i].entries.size());
    for (const std::size_t sorted_pos : nodes[i].entries) raw.entries.push_back(entries_[order[sorted_pos]]);
    append_chain(area, node_chain(i), block_size, node_bytes(raw));
    if (area.size() >= kFlushAt || i + 1 == nodes.size()) {
      QM_TRY(write_at(area_at, area));
      area_at += area.size();
      area.clear();
    }
  }
  if (::close(fd_.release()) != 0) return Err{DatError(IoError::from_errno(errno))};
  return Ok{};
}

dat::DatResult<Ok> write_bytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Err{dat::DatError::path_error(path, IoError::from_errno(errno))};
  dat::FileDescriptor owned(fd);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Err{dat::DatError(IoError::from_errno(errno))};
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(owned.release()) != 0) return Err{dat::DatError(IoError::from_errno(errno))};
  return Ok{};
}

std::vector<std::uint8_t> header_bytes(const dat::DatHeader& h) {
  ByteWriter w;
  w.u32(h.magic).u32(h.block_size).u32(h.file_size).u32(h.dataset).u32(h.subset);
  w.u32(h.free_head).u32(h.free_tail).u32(h.free_count).u32(h.root_offset);
  w.u32(h.new_lru).u32(h.old_lru).u32(h.use_lru).u32(h.master_map_id);
  w.u32(h.engine_version).u32(h.game_version);
  w.bytes(h.version_string);
  w.u32(h.version_minor);
  return std::move(w).bytes();
}

std::vector<std::uint8_t> entry_bytes(const dat::DatFileEntry& e) {
  ByteWriter w;
  w.u32(e.bit_flags).u32(e.id).u32(e.offset).u32(e.size).u32(e.timestamp).u32(e.version);
  return std::move(w).bytes();
}

std::vector<std::uint8_t> node_bytes(const RawNode& node) {
  ByteWriter w;
  for (const std::uint32_t b : node.branches) w.u32(b);
  w.u32(node.entry_count);
  const std::size_t n = std::min(node.entries.size(), dat::kNodeMaxEntries);
  for (std::size_t i = 0; i < n; ++i) w.bytes(entry_bytes(node.entries[i]));
  w.zeros(dat::kNodeSize - w.size());
  return std::move(w).bytes();
}

RawArchive& RawArchive::put(std::uint64_t offset, std::span<const std::uint8_t> data) {
  const std::uint64_t end = offset + data.size();
  if (bytes_.size() < end) bytes_.resize(static_cast<std::size_t>(end), 0);
  std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
  return *this;
}

RawArchive& RawArchive::put_u32(std::uint64_t offset, std::uint32_t value) {
  std::uint8_t b[4];
  store_u32(b, value);
  return put(offset, b);
}

RawArchive& RawArchive::header(const dat::DatHeader& h) { return put(dat::kHeaderOffset, header_bytes(h)); }

RawArchive& RawArchive::block(std::uint64_t offset, std::uint32_t link, std::span<const std::uint8_t> payload) {
  put_u32(offset, link);
  return put(offset + 4, payload);
}

RawArchive& RawArchive::chain(std::span<const std::uint32_t> offsets, std::uint32_t block_size,
                              std::span<const std::uint8_t> data, std::uint32_t last_link) {
  const std::size_t payload = block_size - 4;
  std::size_t from = 0;
  for (std::size_t j = 0; j < offsets.size(); ++j) {
    const bool last = j + 1 == offsets.size();
    const std::size_t remaining = data.size() - from;
    const std::size_t len = last ? remaining : std::min(payload, remaining);
    block(offsets[j], last ? last_link : offsets[j + 1], data.subspan(from, len));
    from += len;
  }
  return *this;
}

RawArchive& RawArchive::pad_to(std::uint64_t length) {
  if (bytes_.size() < length) bytes_.resize(static_cast<std::size_t>(length), 0);
  return *this;
}

}  // namespace quillmoor::authoring
