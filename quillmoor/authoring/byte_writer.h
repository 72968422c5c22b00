// ByteWriter: builds the bytes of any file of the archives in code, so that
// tests and the sample world keep their fixtures as readable writers rather
// than binary blobs. The inverse of the binary reader's primitives.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace quillmoor::authoring {

class ByteWriter {
 public:
  ByteWriter() = default;

  std::size_t size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& bytes() const& { return bytes_; }
  std::vector<std::uint8_t> bytes() && { return std::move(bytes_); }

  ByteWriter& u8(std::uint8_t v) { return put(v); }
  ByteWriter& u16(std::uint16_t v) { return put(v); }
  ByteWriter& u32(std::uint32_t v) { return put(v); }
  ByteWriter& u64(std::uint64_t v) { return put(v); }
  ByteWriter& i32(std::int32_t v) { return put(v); }
  ByteWriter& f32(float v) { return put(v); }
  ByteWriter& f64(double v) { return put(v); }

  ByteWriter& bytes(std::span<const std::uint8_t> data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
  }
  ByteWriter& bytes(std::initializer_list<std::uint8_t> data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
  }
  // Raw text bytes, no prefix.
  ByteWriter& raw(std::string_view text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
  }
  ByteWriter& zeros(std::size_t n) {
    bytes_.insert(bytes_.end(), n, 0);
    return *this;
  }

  // A length-prefixed string of raw bytes (already in the stored
  // encoding), prefix width 1, 2 or 4.
  ByteWriter& pstring(std::string_view stored, int width = 2);
  // Zero bytes up to the next multiple of 4 of the whole output.
  ByteWriter& align4();
  // The 1-, 2- or 4-byte compact form (values up to 0x3FFFFFFF), using the
  // shortest form unless `width` asks for a longer one.
  ByteWriter& compressed_u32(std::uint32_t v, int width = 0);

  // Overwrites a 32-bit value written earlier (sizes known only later).
  void patch_u32(std::size_t offset, std::uint32_t v) { std::memcpy(bytes_.data() + offset, &v, 4); }

 private:
  template <class T>
  ByteWriter& put(T v) {
    std::uint8_t buf[sizeof(T)];
    std::memcpy(buf, &v, sizeof(T));  // little-endian host
    bytes_.insert(bytes_.end(), buf, buf + sizeof(T));
    return *this;
  }

  std::vector<std::uint8_t> bytes_;
};

// UTF-8 text to windows-1252 bytes for the characters that encoding has;
// others become '?'. For authoring texts the readers will decode back.
std::vector<std::uint8_t> encode_windows1252(std::string_view utf8);

}  // namespace quillmoor::authoring
