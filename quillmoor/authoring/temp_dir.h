// A fresh directory under the system's temporary directory, removed with
// everything in it when the object is released. For tests and tools that
// write archives they read back.
#pragma once

#include <filesystem>
#include <string_view>

namespace quillmoor::authoring {

class TempDir {
 public:
  // `prefix` starts the directory's name; the rest is unique.
  explicit TempDir(std::string_view prefix = "quillmoor");
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace quillmoor::authoring
