// The binary reader: a cursor over one file's bytes with a 64-bit
// position, little-endian reads, and the error value every format reader
// returns.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "quillmoor/common/error_chain.h"
#include "quillmoor/common/io_error.h"
#include "quillmoor/common/result.h"

namespace quillmoor::dat {

// The binary reader's error: an I/O error (end of data, bad seek) or a
// custom message at a position, plus the field context lines that the
// enclosing declarative records added, innermost first.
class BinError {
 public:
  enum class Kind { kIo, kCustom, kAssert };

  static BinError io(IoError error) { return BinError(Kind::kIo, error, {}, 0); }
  static BinError eof() { return io(IoError::unexpected_eof()); }
  // A record-specific failure, printed "{message} at 0x{position:x}".
  static BinError custom(std::string message, std::uint64_t position) {
    return BinError(Kind::kCustom, IoError::unexpected_eof(), std::move(message), position);
  }
  // A violated precondition of a reader, printed like a custom error.
  static BinError assertion(std::string message, std::uint64_t position) {
    return BinError(Kind::kAssert, IoError::unexpected_eof(), std::move(message), position);
  }

  // Adds "While parsing field '{field}' in {record}" outside the lines
  // already present.
  BinError with_field(std::string_view field, std::string_view record) && {
    context_.push_back("While parsing field '" + std::string(field) + "' in " + std::string(record));
    return std::move(*this);
  }

  Kind kind() const { return kind_; }
  bool is_eof() const { return kind_ == Kind::kIo && io_.kind() == IoError::Kind::kUnexpectedEof; }
  const IoError& io_error() const { return io_; }  // meaningful for kIo
  const std::string& custom_message() const { return message_; }
  std::uint64_t position() const { return position_; }
  const std::vector<std::string>& context() const { return context_; }

  // The failure itself, without context lines: "failed to fill whole
  // buffer", or "Unsupported PString length size at 0x3".
  std::string base_message() const;
  // The failure followed by its context lines, one per line.
  std::string message() const;
  // What a report lists below this error: the wrapped I/O error, when
  // context lines stand between it and the headline.
  std::vector<std::string> causes() const;
  // This error as the headline of a report chain.
  ErrorChain to_chain() const;

 private:
  BinError(Kind kind, IoError io, std::string message, std::uint64_t position)
      : kind_(kind), io_(io), message_(std::move(message)), position_(position) {}

  Kind kind_;
  IoError io_;
  std::string message_;
  std::uint64_t position_;
  std::vector<std::string> context_;
};

template <class T>
using BinResult = Result<T, BinError>;

class BinReader {
 public:
  explicit BinReader(std::span<const std::uint8_t> data, std::uint64_t position = 0)
      : data_(data), pos_(position) {}

  std::uint64_t position() const { return pos_; }
  // Moves the cursor anywhere; reads beyond the end fail with end of data.
  void set_position(std::uint64_t position) { pos_ = position; }
  std::span<const std::uint8_t> data() const { return data_; }
  // Bytes left from the position on (0 when the position is past the end).
  std::uint64_t remaining() const { return pos_ >= data_.size() ? 0 : data_.size() - pos_; }

  // The next n bytes, or end of data.
  BinResult<std::span<const std::uint8_t>> read_bytes(std::uint64_t n) {
    if (n > remaining()) return Err{BinError::eof()};
    auto out = data_.subspan(static_cast<std::size_t>(pos_), static_cast<std::size_t>(n));
    pos_ += n;
    return out;
  }

  // Advances the position without reading or checking the bytes; fails
  // only if the position would pass the largest 64-bit value.
  BinResult<Ok> skip(std::uint64_t n) {
    if (n > std::numeric_limits<std::uint64_t>::max() - pos_) {
      return Err{BinError::io(IoError::invalid_seek())};
    }
    pos_ += n;
    return Ok{};
  }

  BinResult<std::uint8_t> read_u8() { return read_le<std::uint8_t>(); }
  BinResult<std::uint16_t> read_u16() { return read_le<std::uint16_t>(); }
  BinResult<std::uint32_t> read_u32() { return read_le<std::uint32_t>(); }
  BinResult<std::uint64_t> read_u64() { return read_le<std::uint64_t>(); }
  BinResult<std::int16_t> read_i16() { return read_le<std::int16_t>(); }
  BinResult<std::int32_t> read_i32() { return read_le<std::int32_t>(); }
  BinResult<float> read_f32() { return read_le<float>(); }
  BinResult<double> read_f64() { return read_le<double>(); }

  // How many elements of at least `min_size` bytes each the remaining
  // bytes could still hold: the most a reader may reserve for a count read
  // from the file.
  std::size_t max_elements(std::size_t min_size) const {
    return static_cast<std::size_t>(remaining() / std::max<std::size_t>(min_size, 1));
  }

 private:
  template <class T>
  BinResult<T> read_le() {
    if (sizeof(T) > remaining()) return Err{BinError::eof()};
    T value;
    std::memcpy(&value, data_.data() + pos_, sizeof(T));  // little-endian host
    pos_ += sizeof(T);
    return value;
  }

  std::span<const std::uint8_t> data_;
  std::uint64_t pos_;
};

// A declarative record: reads named fields in order; a failing field gets
// its context line and puts the position back to the record's first byte.
//
//   Record rec(r, "Frame");
//   QM_ASSIGN_OR_RETURN(out.origin, rec.field("origin", [&] { return read_vector3(r); }));
class Record {
 public:
  Record(BinReader& reader, const char* name)
      : reader_(reader), name_(name), start_(reader.position()) {}

  template <class F>
  auto field(const char* field_name, F&& read) -> decltype(read()) {
    auto result = read();
    if (!result.ok()) {
      reader_.set_position(start_);
      return Err{std::move(result).error().with_field(field_name, name_)};
    }
    return result;
  }

  BinResult<std::uint8_t> u8(const char* f) { return field(f, [&] { return reader_.read_u8(); }); }
  BinResult<std::uint16_t> u16(const char* f) { return field(f, [&] { return reader_.read_u16(); }); }
  BinResult<std::uint32_t> u32(const char* f) { return field(f, [&] { return reader_.read_u32(); }); }
  BinResult<std::int32_t> i32(const char* f) { return field(f, [&] { return reader_.read_i32(); }); }
  BinResult<float> f32(const char* f) { return field(f, [&] { return reader_.read_f32(); }); }

  BinReader& reader() { return reader_; }

 private:
  BinReader& reader_;
  const char* name_;
  std::uint64_t start_;
};

}  // namespace quillmoor::dat
