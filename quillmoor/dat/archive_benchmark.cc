// The archive's own costs: read_file_data over long block chains (bytes per
// second), the directory read of DatDatabase::open (entries per second) and
// get_file on the sample world.
#include "quillmoor/dat/archive.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <tuple>

#include "quillmoor/authoring/archive_writer.h"
#include "quillmoor/authoring/bench_world.h"
#include "quillmoor/authoring/temp_dir.h"

namespace quillmoor::dat {
namespace {

using authoring::ArchiveFile;
using authoring::ArchiveOptions;
using authoring::BlockOrder;

authoring::TempDir& temp() {
  static authoring::TempDir dir("archive_benchmark");
  return dir;
}

// One archive per shape, written once: a single file of `size` bytes in
// blocks of `block_size`, its chain running forward or backward.
const DatDatabase& chain_archive(std::uint32_t size, std::uint32_t block_size, BlockOrder order) {
  static std::map<std::tuple<std::uint32_t, std::uint32_t, int>, DatDatabase> archives;
  const auto key = std::make_tuple(size, block_size, static_cast<int>(order));
  if (auto it = archives.find(key); it != archives.end()) return it->second;
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + (i >> 9));
  ArchiveOptions options;
  options.block_size = block_size;
  options.block_order = order;
  const auto path = temp() / ("chain-" + std::to_string(size) + "-" + std::to_string(block_size) + "-" +
                              std::to_string(static_cast<int>(order)) + ".dat");
  if (!authoring::write_archive(path, std::vector<ArchiveFile>{{1, std::move(data), 0, false, 0, 0}}, options).ok()) {
    std::abort();
  }
  return archives.emplace(key, std::move(DatDatabase::open(path)).value()).first->second;
}

void BM_ReadFileDataChain(benchmark::State& state) {
  const auto size = static_cast<std::uint32_t>(state.range(0));
  const auto block_size = static_cast<std::uint32_t>(state.range(1));
  const auto order = state.range(2) == 0 ? BlockOrder::kForward : BlockOrder::kReversed;
  const DatDatabase& db = chain_archive(size, block_size, order);
  const DatFileEntry entry = *db.find(1);
  for (auto _ : state) {
    auto bytes = db.read_file_data(entry.offset, entry.size);
    benchmark::DoNotOptimize(bytes.value().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
  state.counters["blocks"] = static_cast<double>((size + block_size - 5) / (block_size - 4));
}
// 1 KiB to 4 MiB in the cell archive's 256-byte blocks, forward and
// backward; and 1 MiB in 1 KiB blocks.
BENCHMARK(BM_ReadFileDataChain)
    ->ArgNames({"size", "block", "reversed"})
    ->ArgsProduct({{1 << 10, 64 << 10, 1 << 20, 4 << 20}, {256}, {0, 1}})
    ->Args({1 << 20, 1024, 0});

// An archive of `n` small files in full nodes, like a cell archive.
const std::filesystem::path& directory_archive(std::size_t n) {
  static std::map<std::size_t, std::filesystem::path> paths;
  if (auto it = paths.find(n); it != paths.end()) return it->second;
  auto path = temp() / ("directory-" + std::to_string(n) + ".dat");
  std::vector<ArchiveFile> files(n);
  for (std::size_t i = 0; i < n; ++i) {
    files[i].id = static_cast<std::uint32_t>(((i / 18) << 16) | (0x0100 + i % 18));
    files[i].data = std::vector<std::uint8_t>(8, static_cast<std::uint8_t>(i));
  }
  ArchiveOptions options;
  options.block_size = 256;
  if (!authoring::write_archive(path, files, options).ok()) std::abort();
  return paths.emplace(n, std::move(path)).first->second;
}

void BM_OpenDirectory(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const auto& path = directory_archive(n);
  for (auto _ : state) {
    auto db = DatDatabase::open(path);
    benchmark::DoNotOptimize(db.value().file_count());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_OpenDirectory)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_OpenSampleCellArchive(benchmark::State& state) {
  const std::string path = authoring::bench_world_path("QUILLMOOR_CELL_DAT", "client_cell_1.dat");
  std::size_t entries = 0;
  for (auto _ : state) {
    auto db = DatDatabase::open(path);
    entries = db.value().file_count();
    benchmark::DoNotOptimize(entries);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * entries));
}
BENCHMARK(BM_OpenSampleCellArchive)->Unit(benchmark::kMicrosecond);

void BM_GetFileSampleWorld(benchmark::State& state) {
  const auto& world = authoring::bench_world();
  static const auto entries = authoring::BenchWorld::entries(world.cell, [](std::uint32_t) { return true; });
  std::int64_t bytes = 0;
  for (auto _ : state) {
    for (const DatFileEntry& e : entries) {
      auto got = world.cell.get_file(e.id);
      if (got.ok()) bytes += static_cast<std::int64_t>(got->size());
      benchmark::DoNotOptimize(&got);
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * entries.size()));
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_GetFileSampleWorld);

}  // namespace
}  // namespace quillmoor::dat
