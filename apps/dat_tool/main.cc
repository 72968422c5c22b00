// quillmoor-dat: the archive inspector (see apps/dat_tool/dat_tool.h).
#include <cstdio>
#include <string>
#include <vector>

#include "apps/dat_tool/dat_tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = quillmoor::dat_tool::run_dat_tool(args, stdout, stderr);
  if (std::fflush(stdout) != 0 && status == 0) {
    std::fputs("quillmoor-dat: write to standard output failed\n", stderr);
    return 1;
  }
  return status;
}
