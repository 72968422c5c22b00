// twinrun: bakes the ring of 169 landblocks twice with freshly seeded caches
// and checks that both runs are byte-identical. Takes no arguments; the
// archives and the output directory come from the environment.
#include <cstdio>
#include <cstdlib>

#include "apps/twinrun/twinrun.h"

int main() {
  const auto env = [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
  return quillmoor::twinrun::run_twinrun(env, quillmoor::twinrun::built_in_settings(), stderr);
}
