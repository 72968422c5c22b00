// An operating-system or end-of-data I/O error with its printable text.
#pragma once

#include <string>

namespace quillmoor {

class IoError {
 public:
  enum class Kind {
    kUnexpectedEof,  // fewer bytes than asked for
    kInvalidInput,   // a seek past the largest position
    kOs,             // an errno from the operating system
  };

  static IoError unexpected_eof() { return IoError(Kind::kUnexpectedEof, 0); }
  static IoError invalid_seek() { return IoError(Kind::kInvalidInput, 0); }
  static IoError from_errno(int err) { return IoError(Kind::kOs, err); }

  Kind kind() const { return kind_; }
  int os_error() const { return errno_; }

  // "failed to fill whole buffer", "invalid seek to a negative or
  // overflowing position", or the system's text with its number, for
  // example "No such file or directory (os error 2)".
  std::string message() const;

  friend bool operator==(const IoError&, const IoError&) = default;

 private:
  IoError(Kind kind, int err) : kind_(kind), errno_(err) {}
  Kind kind_;
  int errno_;
};

}  // namespace quillmoor
