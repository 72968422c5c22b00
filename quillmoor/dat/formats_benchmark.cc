// Every format reader on the sample world's files of its kind; the rate is
// in records (files parsed) per second. Files that are damaged on purpose
// are left out, so that every iteration parses the same complete records.
#include <benchmark/benchmark.h>

#include <functional>

#include "quillmoor/authoring/bench_world.h"
#include "quillmoor/dat/gfx_obj.h"
#include "quillmoor/dat/landblock.h"
#include "quillmoor/dat/region.h"
#include "quillmoor/dat/scene.h"
#include "quillmoor/dat/setup_model.h"

namespace quillmoor::dat {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Parse = std::function<bool(const Bytes&)>;

template <class T>
Parse with_reader() {
  return [](const Bytes& b) {
    BinReader reader(b);
    auto r = T::unpack(reader);
    benchmark::DoNotOptimize(&r);
    return r.ok();
  };
}
template <class T>
Parse with_bytes() {
  return [](const Bytes& b) {
    auto r = T::unpack(b);
    benchmark::DoNotOptimize(&r);
    return r.ok();
  };
}

// The decompressed bytes of every file of one kind that parses.
std::vector<Bytes> files_of(const DatDatabase& db, std::uint32_t mask, std::uint32_t match, const Parse& parse) {
  std::vector<Bytes> out;
  for (const DatFileEntry& e : authoring::BenchWorld::entries(db, [&](std::uint32_t id) { return (id & mask) == match; })) {
    auto bytes = db.get_file(e.id);
    if (bytes.ok() && parse(*bytes)) out.push_back(std::move(bytes).value());
  }
  return out;
}

void run(benchmark::State& state, const std::vector<Bytes>& files, const Parse& parse) {
  if (files.empty()) {
    state.SkipWithError("no files of this kind in the sample world");
    return;
  }
  std::int64_t records = 0;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    for (const Bytes& f : files) {
      benchmark::DoNotOptimize(parse(f));
      bytes += static_cast<std::int64_t>(f.size());
    }
    records += static_cast<std::int64_t>(files.size());
  }
  state.SetItemsProcessed(records);
  state.SetBytesProcessed(bytes);
}

#define QM_READER_BENCHMARK(NAME, DB, MASK, MATCH, PARSE)                          \
  void NAME(benchmark::State& state) {                                              \
    static const Parse parse = PARSE;                                               \
    static const auto files = files_of(authoring::bench_world().DB, MASK, MATCH, parse); \
    run(state, files, parse);                                                       \
  }                                                                                 \
  BENCHMARK(NAME)

QM_READER_BENCHMARK(BM_RegionUnpack, portal, 0xFFFFFFFFu, kRegionFileId, with_reader<Region>());
QM_READER_BENCHMARK(BM_SceneUnpack, portal, 0xFF000000u, 0x12000000u, with_reader<Scene>());
QM_READER_BENCHMARK(BM_GfxObjUnpack, portal, 0xFF000000u, 0x01000000u, with_reader<GfxObj>());
QM_READER_BENCHMARK(BM_SetupModelUnpack, portal, 0xFF000000u, 0x02000000u, with_reader<SetupModel>());
QM_READER_BENCHMARK(BM_CellLandblockUnpack, cell, 0xFFFFu, 0xFFFFu, with_bytes<CellLandblock>());
QM_READER_BENCHMARK(BM_LandblockInfoUnpack, cell, 0xFFFFu, 0xFFFEu, with_bytes<LandblockInfo>());

}  // namespace
}  // namespace quillmoor::dat
