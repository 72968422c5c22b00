// decompress_lrs on the stored bytes of every compressed file of the sample
// world; the rate is in output bytes.
#include "quillmoor/dat/decompress.h"

#include <benchmark/benchmark.h>

#include "quillmoor/authoring/bench_world.h"

namespace quillmoor::dat {
namespace {

std::vector<std::vector<std::uint8_t>> stored_compressed_files() {
  const auto& world = authoring::bench_world();
  std::vector<std::vector<std::uint8_t>> out;
  for (const DatDatabase* db : {&world.portal, &world.cell}) {
    for (const DatFileEntry& e : authoring::BenchWorld::entries(*db, [](std::uint32_t) { return true; })) {
      if ((e.bit_flags & kEntryCompressed) == 0) continue;
      if (auto bytes = db->read_file_data(e.offset, e.size); bytes.ok()) out.push_back(std::move(bytes).value());
    }
  }
  return out;
}

void BM_DecompressLrs(benchmark::State& state) {
  static const auto files = stored_compressed_files();
  std::int64_t bytes = 0;
  for (auto _ : state) {
    for (const auto& file : files) {
      const auto out = decompress_lrs(file);
      bytes += static_cast<std::int64_t>(out.size());
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(bytes);
  state.counters["files"] = static_cast<double>(files.size());
}
BENCHMARK(BM_DecompressLrs);

}  // namespace
}  // namespace quillmoor::dat
