#include "quillmoor/authoring/temp_dir.h"

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

namespace quillmoor::authoring {

TempDir::TempDir(std::string_view prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / std::string(prefix)).string() + "-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data()) != nullptr) path_ = buf.data();
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace quillmoor::authoring
