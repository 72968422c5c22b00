#include "quillmoor/dat/bin_reader.h"

#include <cstdio>

namespace quillmoor::dat {

std::string BinError::base_message() const {
  if (kind_ == Kind::kIo) return io_.message();
  char pos[32];
  std::snprintf(pos, sizeof pos, " at 0x%llx", static_cast<unsigned long long>(position_));
  return message_ + pos;
}

std::string BinError::message() const {
  std::string out = base_message();
  for (const auto& line : context_) {
    out += '\n';
    out += line;
  }
  return out;
}

std::vector<std::string> BinError::causes() const {
  // A bare I/O error is its own message; under context lines it is listed
  // once more on its own.
  if (kind_ == Kind::kIo && !context_.empty()) return {io_.message()};
  return {};
}

ErrorChain BinError::to_chain() const { return ErrorChain(message(), causes()); }

}  // namespace quillmoor::dat
