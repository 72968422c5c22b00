#include "quillmoor/dat/primitives.h"

#include "quillmoor/common/text_encoding.h"

namespace quillmoor::dat {

BinResult<std::string> read_pstring(BinReader& reader, int width) {
  std::uint64_t length = 0;
  switch (width) {
    case 1: {
      QM_ASSIGN_OR_RETURN(length, reader.read_u8());
      break;
    }
    case 2: {
      QM_ASSIGN_OR_RETURN(length, reader.read_u16());
      break;
    }
    case 4: {
      QM_ASSIGN_OR_RETURN(length, reader.read_u32());
      break;
    }
    default:
      return Err{BinError::assertion("Unsupported PString length size", reader.position())};
  }
  if (length == 0) return std::string();
  QM_ASSIGN_OR_RETURN(auto body, reader.read_bytes(length));
  return decode_with_bom_sniffing(body);
}

BinResult<Ok> align_to_4(BinReader& reader) {
  const std::uint64_t pos = reader.position();
  if (pos % 4 == 0) return Ok{};
  return reader.skip(4 - pos % 4);
}

BinResult<std::uint32_t> read_compressed_u32(BinReader& reader) {
  QM_ASSIGN_OR_RETURN(const std::uint8_t b0, reader.read_u8());
  if ((b0 & 0x80) == 0) return std::uint32_t{b0};
  QM_ASSIGN_OR_RETURN(const std::uint8_t b1, reader.read_u8());
  if ((b0 & 0x40) == 0) return (std::uint32_t{b0 & 0x3Fu} << 8) | b1;
  QM_ASSIGN_OR_RETURN(const std::uint16_t low, reader.read_u16());
  return (std::uint32_t{b0 & 0x3Fu} << 24) | (std::uint32_t{b1} << 16) | low;
}

BinResult<std::vector<std::uint32_t>> read_smart_vec(BinReader& reader) {
  QM_ASSIGN_OR_RETURN(const std::uint32_t count, read_compressed_u32(reader));
  return read_counted<std::uint32_t>(reader, count, 4, [&] { return reader.read_u32(); });
}

}  // namespace quillmoor::dat
