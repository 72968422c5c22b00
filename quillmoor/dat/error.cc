#include "quillmoor/dat/error.h"

#include "quillmoor/common/hex.h"

#include <cstdio>

#include "quillmoor/common/text_encoding.h"

namespace quillmoor::dat {

namespace {

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

const IoError& DatError::io_error() const {
  if (kind_ == Kind::PathError) return std::get<PathFailure>(payload_).source;
  return std::get<IoError>(payload_);
}
const BinError& DatError::bin_error() const { return std::get<BinError>(payload_); }
std::uint32_t DatError::number() const { return std::get<std::uint32_t>(payload_); }
const std::string& DatError::text() const { return std::get<std::string>(payload_); }
const std::filesystem::path& DatError::path() const { return std::get<PathFailure>(payload_).path; }

std::string DatError::message() const {
  switch (kind_) {
    case Kind::Io:
      return "IO error: " + io_error().message();
    case Kind::BinRead:
      return "Binary read error: " + bin_error().message();
    case Kind::NotFound:
      return "File ID " + hex8(number()) + " not found in provider";
    case Kind::DuplicateId:
      return "Duplicate File ID " + hex8(number()) + " detected";
    case Kind::DuplicateNamespacedId: {
      const auto& n = std::get<Namespaced>(payload_);
      return "Duplicate namespaced file " + n.name_space + ":" + hex8(n.file_id) + " detected";
    }
    case Kind::InvalidMagic:
      return "Invalid magic for format: " + text();
    case Kind::UnsupportedVersion:
      return "Unsupported version: " + std::to_string(number());
    case Kind::InvalidNamespace:
      return "Invalid namespace: " + text();
    case Kind::Corruption:
      return "Corruption detected: " + text();
    case Kind::DecompressionFailed:
      return "Failed to recover compressed file " + hex8(number());
    case Kind::PathError:
      return "Failed to open file at " + lossy_utf8(path().native()) + ": " + io_error().message();
    case Kind::Other:
      return "Other error: " + text();
  }
  return {};
}

std::string DatError::debug_string() const {
  switch (kind_) {
    case Kind::Io:
      return "Io(" + quoted(io_error().message()) + ")";
    case Kind::BinRead:
      return "BinRead(" + quoted(bin_error().message()) + ")";
    case Kind::NotFound:
      return "NotFound(" + std::to_string(number()) + ")";
    case Kind::DuplicateId:
      return "DuplicateId(" + std::to_string(number()) + ")";
    case Kind::DuplicateNamespacedId: {
      const auto& n = std::get<Namespaced>(payload_);
      return "DuplicateNamespacedId { namespace: " + quoted(n.name_space) +
             ", file_id: " + std::to_string(n.file_id) + " }";
    }
    case Kind::InvalidMagic:
      return "InvalidMagic(" + quoted(text()) + ")";
    case Kind::UnsupportedVersion:
      return "UnsupportedVersion(" + std::to_string(number()) + ")";
    case Kind::InvalidNamespace:
      return "InvalidNamespace(" + quoted(text()) + ")";
    case Kind::Corruption:
      return "Corruption(" + quoted(text()) + ")";
    case Kind::DecompressionFailed:
      return "DecompressionFailed(" + std::to_string(number()) + ")";
    case Kind::PathError:
      return "PathError { path: " + quoted(lossy_utf8(path().native())) +
             ", source: " + quoted(io_error().message()) + " }";
    case Kind::Other:
      return "Other(" + quoted(text()) + ")";
  }
  return {};
}

ErrorChain DatError::to_chain() const {
  std::vector<std::string> causes;
  switch (kind_) {
    case Kind::Io:
    case Kind::PathError:
      causes.push_back(io_error().message());
      break;
    case Kind::BinRead: {
      const BinError& inner = bin_error();
      causes.push_back(inner.message());
      for (auto& c : inner.causes()) causes.push_back(std::move(c));
      break;
    }
    default:
      break;
  }
  return ErrorChain(message(), std::move(causes));
}

}  // namespace quillmoor::dat
