#include "quillmoor/common/io_error.h"

#include <cstring>

namespace quillmoor {

std::string IoError::message() const {
  switch (kind_) {
    case Kind::kUnexpectedEof:
      return "failed to fill whole buffer";
    case Kind::kInvalidInput:
      return "invalid seek to a negative or overflowing position";
    case Kind::kOs:
      break;
  }
  char buf[256];
  // The GNU strerror_r may return a static string instead of filling buf.
  const char* text = strerror_r(errno_, buf, sizeof buf);
  return std::string(text) + " (os error " + std::to_string(errno_) + ")";
}

}  // namespace quillmoor
