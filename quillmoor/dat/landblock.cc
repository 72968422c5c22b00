#include "quillmoor/dat/landblock.h"

namespace quillmoor::dat {

namespace {

// Reads `count` elements with `read_one`, growing the list as they arrive:
// nothing is sized in advance from a count taken from the file.
template <class T, class F>
BinResult<std::vector<T>> read_grown(std::uint64_t count, F&& read_one) {
  std::vector<T> out;
  for (std::uint64_t i = 0; i < count; ++i) {
    QM_ASSIGN_OR_RETURN(T value, read_one());
    out.push_back(std::move(value));
  }
  return out;
}

}  // namespace

DatResult<CellLandblock> CellLandblock::unpack(std::span<const std::uint8_t> bytes) {
  BinReader reader(bytes);
  Record rec(reader, "CellLandblock");
  CellLandblock out;
  QM_ASSIGN_OR_RETURN(out.id, rec.u32("id"));
  QM_ASSIGN_OR_RETURN(out.has_objects, rec.u32("has_objects"));
  QM_ASSIGN_OR_RETURN(out.terrain, rec.field("terrain", [&] {
    return read_grown<std::uint16_t>(kLandblockVertices, [&] { return reader.read_u16(); });
  }));
  QM_ASSIGN_OR_RETURN(out.height, rec.field("height", [&]() -> BinResult<std::vector<std::uint8_t>> {
    QM_ASSIGN_OR_RETURN(auto codes, reader.read_bytes(kLandblockVertices));
    return std::vector<std::uint8_t>(codes.begin(), codes.end());
  }));
  return out;
}

BinResult<Stab> Stab::read(BinReader& reader) {
  Record rec(reader, "Stab");
  Stab out;
  QM_ASSIGN_OR_RETURN(out.id, rec.u32("id"));
  QM_ASSIGN_OR_RETURN(out.frame, rec.field("frame", [&] { return read_frame(reader); }));
  return out;
}

BinResult<PortalInternal> PortalInternal::read(BinReader& reader) {
  const std::uint64_t start = reader.position();
  Record rec(reader, "PortalInternal");
  PortalInternal out;
  QM_ASSIGN_OR_RETURN(out.flags, rec.u16("flags"));
  QM_ASSIGN_OR_RETURN(out.other_cell_id, rec.u16("other_cell_id"));
  QM_ASSIGN_OR_RETURN(out.other_portal_id, rec.u16("other_portal_id"));
  QM_ASSIGN_OR_RETURN(const std::uint16_t num_stabs, rec.u16("num_stabs"));
  QM_ASSIGN_OR_RETURN(out.stab_list, rec.field("stab_list", [&] {
    return read_grown<std::uint16_t>(num_stabs, [&] { return reader.read_u16(); });
  }));
  // The record stays a multiple of 4 bytes long. The pad is not a field:
  // a failure here (only possible at the largest position) names none.
  if (num_stabs % 2 != 0) {
    auto skipped = reader.skip(2);
    if (!skipped.ok()) {
      reader.set_position(start);
      return Err{std::move(skipped).error()};
    }
  }
  return out;
}

BinResult<BuildInfo> BuildInfo::read(BinReader& reader) {
  Record rec(reader, "BuildInfo");
  BuildInfo out;
  QM_ASSIGN_OR_RETURN(out.model_id, rec.u32("model_id"));
  QM_ASSIGN_OR_RETURN(out.frame, rec.field("frame", [&] { return read_frame(reader); }));
  QM_ASSIGN_OR_RETURN(out.num_leaves, rec.u32("num_leaves"));
  QM_ASSIGN_OR_RETURN(const std::uint32_t num_portals, rec.u32("num_portals"));
  QM_ASSIGN_OR_RETURN(out.portals, rec.field("portals", [&] {
    return read_grown<PortalInternal>(num_portals, [&] { return PortalInternal::read(reader); });
  }));
  return out;
}

BinResult<RestrictionTable> RestrictionTable::read(BinReader& reader) {
  Record rec(reader, "RestrictionTable");
  RestrictionTable out;
  QM_ASSIGN_OR_RETURN(const std::uint16_t count, rec.u16("count"));
  QM_TRY(rec.u16("_bucket_size"));
  QM_TRY(rec.field("tables", [&]() -> BinResult<Ok> {
    for (std::uint32_t i = 0; i < count; ++i) {
      QM_ASSIGN_OR_RETURN(const std::uint32_t key, reader.read_u32());
      QM_ASSIGN_OR_RETURN(const std::uint32_t value, reader.read_u32());
      out.tables.put(key, value);
    }
    return Ok{};
  }));
  return out;
}

DatResult<LandblockInfo> LandblockInfo::unpack(std::span<const std::uint8_t> bytes) {
  BinReader reader(bytes);
  Record rec(reader, "LandblockInfo");
  LandblockInfo out;
  QM_ASSIGN_OR_RETURN(out.id, rec.u32("id"));
  QM_ASSIGN_OR_RETURN(out.num_cells, rec.u32("num_cells"));
  QM_ASSIGN_OR_RETURN(const std::uint32_t num_objects, rec.u32("num_objects"));
  QM_ASSIGN_OR_RETURN(out.objects, rec.field("objects", [&] {
    return read_grown<Stab>(num_objects, [&] { return Stab::read(reader); });
  }));
  QM_ASSIGN_OR_RETURN(const std::uint16_t num_buildings, rec.u16("num_buildings"));
  QM_ASSIGN_OR_RETURN(out.pack_mask, rec.u16("pack_mask"));
  QM_ASSIGN_OR_RETURN(out.buildings, rec.field("buildings", [&] {
    return read_grown<BuildInfo>(num_buildings, [&] { return BuildInfo::read(reader); });
  }));
  if (out.pack_mask & 1) {
    QM_ASSIGN_OR_RETURN(out.restriction_tables,
                        rec.field("restriction_tables", [&] { return RestrictionTable::read(reader); }));
  }
  return out;
}

}  // namespace quillmoor::dat
