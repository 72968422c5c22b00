// quillmoor-bake: the general bake (see apps/bake_tool/bake_tool.h).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "apps/bake_tool/bake_tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto env = [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
  const int status = quillmoor::bake_tool::run_bake_tool(args, env, quillmoor::twinrun::built_in_settings(),
                                                         stdout, stderr);
  if (std::fflush(stdout) != 0 && status == 0) {
    std::fputs("quillmoor-bake: write to standard output failed\n", stderr);
    return 1;
  }
  return status;
}
