// Replays inputs through a fuzz target without libFuzzer, so that the
// ordinary test suite (and the sanitizer build) runs every target on its
// seed corpus. Arguments are files or directories (read recursively, in
// sorted order); the empty input always runs first. Exit status 0 when
// every input went through, 1 when an argument cannot be read. A fault in
// the target crashes the process, as it would under the fuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replay_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::size_t inputs = 1;
  for (int a = 1; a < argc; ++a) {
    const std::filesystem::path arg(argv[a]);
    std::error_code ec;
    if (!std::filesystem::is_directory(arg, ec)) {
      if (!replay_file(arg)) return 1;
      ++inputs;
      continue;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(arg, ec)) {
      if (e.is_regular_file()) files.push_back(e.path());
    }
    if (ec) {
      std::fprintf(stderr, "replay: cannot list %s: %s\n", arg.c_str(), ec.message().c_str());
      return 1;
    }
    if (files.empty()) {
      std::fprintf(stderr, "replay: %s holds no inputs\n", arg.c_str());
      return 1;
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
      if (!replay_file(f)) return 1;
      ++inputs;
    }
  }
  std::fprintf(stderr, "replay: %zu inputs ran\n", inputs);
  return 0;
}
