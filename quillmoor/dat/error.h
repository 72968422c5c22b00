// DatError: the error type of archive access and of the landblock readers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>

#include "quillmoor/common/error_chain.h"
#include "quillmoor/common/io_error.h"
#include "quillmoor/dat/bin_reader.h"

namespace quillmoor::dat {

class DatError {
 public:
  // In the order of the type's variants.
  enum class Kind {
    Io,
    BinRead,
    NotFound,
    DuplicateId,
    DuplicateNamespacedId,
    InvalidMagic,
    UnsupportedVersion,
    InvalidNamespace,
    Corruption,
    DecompressionFailed,
    PathError,
    Other,
  };

  // The two automatic conversions.
  DatError(IoError error) : kind_(Kind::Io), payload_(error) {}       // NOLINT(google-explicit-constructor)
  DatError(BinError error) : kind_(Kind::BinRead), payload_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  static DatError not_found(std::uint32_t id) { return DatError(Kind::NotFound, id); }
  static DatError duplicate_id(std::uint32_t id) { return DatError(Kind::DuplicateId, id); }
  static DatError duplicate_namespaced_id(std::string name_space, std::uint32_t file_id) {
    return DatError(Kind::DuplicateNamespacedId, Namespaced{std::move(name_space), file_id});
  }
  static DatError invalid_magic(std::string s) { return DatError(Kind::InvalidMagic, std::move(s)); }
  static DatError unsupported_version(std::uint32_t v) { return DatError(Kind::UnsupportedVersion, v); }
  static DatError invalid_namespace(std::string s) { return DatError(Kind::InvalidNamespace, std::move(s)); }
  static DatError corruption(std::string s) { return DatError(Kind::Corruption, std::move(s)); }
  static DatError decompression_failed(std::uint32_t id) { return DatError(Kind::DecompressionFailed, id); }
  static DatError path_error(std::filesystem::path path, IoError source) {
    return DatError(Kind::PathError, PathFailure{std::move(path), source});
  }
  static DatError other(std::string s) { return DatError(Kind::Other, std::move(s)); }

  Kind kind() const { return kind_; }

  // Payload accessors; each is valid only for the variants that carry it.
  const IoError& io_error() const;      // Io, PathError
  const BinError& bin_error() const;    // BinRead
  std::uint32_t number() const;         // NotFound, DuplicateId, UnsupportedVersion, DecompressionFailed
  const std::string& text() const;      // InvalidMagic, InvalidNamespace, Corruption, Other
  const std::filesystem::path& path() const;  // PathError

  // The variant's fixed message, for example "File ID 13000000 not found in provider".
  std::string message() const;
  // The debugging rendering: the variant's name with its payload,
  // tuple style ("NotFound(318767104)") or record style for the two with
  // named fields.
  std::string debug_string() const;
  // Message, then the wrapped errors (Io, BinRead, PathError) as causes.
  ErrorChain to_chain() const;

 private:
  struct Namespaced {
    std::string name_space;
    std::uint32_t file_id;
  };
  struct PathFailure {
    std::filesystem::path path;
    IoError source;
  };
  using Payload = std::variant<IoError, BinError, std::uint32_t, std::string, Namespaced, PathFailure>;

  DatError(Kind kind, Payload payload) : kind_(kind), payload_(std::move(payload)) {}

  Kind kind_;
  Payload payload_;
};

template <class T>
using DatResult = Result<T, DatError>;

}  // namespace quillmoor::dat
