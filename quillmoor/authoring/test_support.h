// Test support: runs a command with its output streams captured, and
// reads back what a command wrote to a file.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace quillmoor::tool_testing {

struct Captured {
  int status = -1;
  std::string out;
  std::string err;
};

// Calls `command(out, err)` with two memory streams and returns what it wrote.
inline Captured capture(const std::function<int(std::FILE*, std::FILE*)>& command) {
  char* out_data = nullptr;
  char* err_data = nullptr;
  std::size_t out_size = 0, err_size = 0;
  std::FILE* out = open_memstream(&out_data, &out_size);
  std::FILE* err = open_memstream(&err_data, &err_size);
  Captured c;
  c.status = command(out, err);
  std::fclose(out);
  std::fclose(err);
  c.out.assign(out_data, out_size);
  c.err.assign(err_data, err_size);
  std::free(out_data);
  std::free(err_data);
  return c;
}

// The whole content of a file ("" when it cannot be read).
inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace quillmoor::tool_testing
