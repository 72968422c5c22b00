// quillmoor-open-archives: opens archives the way twinrun does and closes
// them again, so that the end-to-end benchmark can time the opening alone.
//
//   quillmoor-open-archives ARCHIVE...
//
// Prints each archive's entry count; exit status 1 when one fails to open.
#include <cstdio>

#include "quillmoor/common/error_chain.h"
#include "quillmoor/dat/archive.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: quillmoor-open-archives ARCHIVE...\n", stderr);
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    auto db = quillmoor::dat::DatDatabase::open(argv[i]);
    if (!db.ok()) {
      std::fputs(quillmoor::render_report(db.error().to_chain().context(std::string("open ") + argv[i])).c_str(),
                 stderr);
      return 1;
    }
    std::printf("%s: %zu entries\n", argv[i], db->file_count());
  }
  return 0;
}
