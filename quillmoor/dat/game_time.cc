#include "quillmoor/dat/game_time.h"

#include "quillmoor/dat/primitives.h"

namespace quillmoor::dat {

namespace {

// The fewest bytes an element can take in the data. Only bytes that must
// exist count: a trailing alignment step reads nothing.
constexpr std::size_t kMinText = 2;                   // the length prefix
constexpr std::size_t kMinTimeOfDay = 4 + 4 + kMinText;
constexpr std::size_t kMinSeason = 4 + kMinText;

BinResult<TimeOfDay> read_time_of_day(BinReader& reader) {
  TimeOfDay out;
  QM_ASSIGN_OR_RETURN(out.value, reader.read_u32());
  QM_ASSIGN_OR_RETURN(const std::uint32_t flag, reader.read_u32());
  out.flag = flag != 0;
  QM_ASSIGN_OR_RETURN(out.name, read_region_text(reader));
  return out;
}

}  // namespace

BinResult<std::string> read_region_text(BinReader& reader) {
  QM_ASSIGN_OR_RETURN(std::string text, read_pstring(reader, 2));
  QM_TRY(align_to_4(reader));
  return text;
}

BinResult<Season> Season::unpack(BinReader& reader) {
  Season out;
  QM_ASSIGN_OR_RETURN(out.value, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.name, read_region_text(reader));
  return out;
}

BinResult<GameTime> GameTime::unpack(BinReader& reader) {
  GameTime out;
  QM_ASSIGN_OR_RETURN(out.base_value, reader.read_f64());
  for (Raw32& p : out.params) {
    QM_ASSIGN_OR_RETURN(p, reader.read_u32());
  }
  QM_ASSIGN_OR_RETURN(out.label, read_region_text(reader));

  QM_ASSIGN_OR_RETURN(const std::uint32_t time_count, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.times_of_day,
                      read_counted<TimeOfDay>(reader, time_count, kMinTimeOfDay,
                                              [&] { return read_time_of_day(reader); }));

  QM_ASSIGN_OR_RETURN(const std::uint32_t name_count, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.names, read_counted<std::string>(reader, name_count, kMinText,
                                                           [&] { return read_region_text(reader); }));

  QM_ASSIGN_OR_RETURN(const std::uint32_t season_count, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.seasons, read_counted<Season>(reader, season_count, kMinSeason,
                                                        [&] { return Season::unpack(reader); }));
  return out;
}

}  // namespace quillmoor::dat
