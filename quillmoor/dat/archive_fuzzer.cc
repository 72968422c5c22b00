// Fuzz target: an archive image of arbitrary bytes is opened like a file
// on disk, and every file its index lists is fetched. Opening and each
// fetch must end with a handle, the bytes or an error value; never a
// crash, a hang or an allocation the image cannot back.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "quillmoor/dat/archive.h"

namespace {

// The image as an anonymous in-memory file, reachable by a path.
struct MemoryFile {
  int fd = -1;
  explicit MemoryFile(const std::uint8_t* data, std::size_t size) {
    fd = ::memfd_create("archive_fuzzer", MFD_CLOEXEC);
    if (fd < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::write(fd, data + done, size - done);
      if (n <= 0) {
        std::perror("write");
        std::abort();
      }
      done += static_cast<std::size_t>(n);
    }
  }
  ~MemoryFile() { ::close(fd); }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using quillmoor::dat::DatDatabase;
  using quillmoor::dat::kEntryCompressed;
  const MemoryFile file(data, size);
  auto db = DatDatabase::open(file.path());
  if (!db.ok()) return 0;
  for (const auto& [id, entry] : db->entries()) {
    auto bytes = db->get_file(id);
    if (!bytes.ok()) continue;
    // What a fetch returns is bounded by the image: the stored size, or
    // for a compressed file what the stored bytes can expand to.
    const std::uint64_t stored = entry.size;
    const std::uint64_t bound = (entry.bit_flags & kEntryCompressed) != 0 ? stored * 9 : stored;
    if (stored > size || bytes->size() > bound) {
      std::fprintf(stderr, "file %08X: %zu bytes from an image of %zu\n", id, bytes->size(), size);
      std::abort();
    }
  }
  return 0;
}
