#include "quillmoor/common/error_chain.h"

#include <cstdio>

namespace quillmoor {

namespace {

// Appends `message` after `first_prefix`, indenting every further line of it
// by `continuation`.
void append_indented(std::string& out, const std::string& first_prefix,
                     const std::string& message, const std::string& continuation) {
  out += first_prefix;
  for (char c : message) {
    out += c;
    if (c == '\n') out += continuation;
  }
  out += '\n';
}

}  // namespace

std::string render_report(const ErrorChain& error) {
  std::string out = "Error: " + error.headline() + "\n";
  const auto& causes = error.causes();
  if (causes.empty()) return out;
  out += "\nCaused by:\n";
  if (causes.size() == 1) {
    append_indented(out, "    ", causes.front(), "    ");
    return out;
  }
  for (std::size_t i = 0; i < causes.size(); ++i) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%5zu: ", i);
    append_indented(out, prefix, causes[i], "       ");
  }
  return out;
}

}  // namespace quillmoor
