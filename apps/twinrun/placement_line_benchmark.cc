// placement_line on the placements of the sample world's ring, and one
// whole run of the ring bake (fetch, parse, bake, lines) with fresh caches.
#include "apps/twinrun/placement_line.h"

#include <benchmark/benchmark.h>

#include "apps/twinrun/ring_bake.h"
#include "apps/twinrun/twinrun.h"
#include "quillmoor/authoring/bench_world.h"

namespace quillmoor::twinrun {
namespace {

const dat::Region& region() {
  static const dat::Region r = [] {
    auto bytes = authoring::bench_world().portal.get_file(dat::kRegionFileId);
    dat::BinReader reader(bytes.value());
    return std::move(dat::Region::unpack(reader)).value();
  }();
  return r;
}

void BM_BakeRingToLines(benchmark::State& state) {
  const auto& world = authoring::bench_world();
  const auto ring = ring_landblocks();
  std::int64_t lines = 0;
  for (auto _ : state) {
    const RunResult run = bake_ring_to_lines(region(), world.portal, world.cell, ring);
    for (const auto& entry : run) lines += static_cast<std::int64_t>(entry.lines.size());
    benchmark::DoNotOptimize(run.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * ring.size()));  // landblocks
  state.counters["lines"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BakeRingToLines)->Unit(benchmark::kMillisecond);

void BM_PlacementLine(benchmark::State& state) {
  // The ring's placements, recovered by baking it once.
  static const std::vector<bake::SceneryPlacement> placements = [] {
    const auto& world = authoring::bench_world();
    std::vector<bake::SceneryPlacement> out;
    MeshCache meshes;
    SceneCache scenes;
    for (const std::uint16_t lb : ring_landblocks()) {
      auto bytes = world.cell.get_file(dat::terrain_file_id(lb));
      if (!bytes.ok()) continue;
      auto terrain = dat::CellLandblock::unpack(*bytes);
      if (!terrain.ok()) continue;
      const auto placed = bake::bake_landblock_impl(
          region(), *terrain, std::uint32_t{lb} << 16,
          [&](std::uint32_t id) -> std::optional<std::vector<dat::ObjectDesc>> {
            auto scene = scenes.lookup(world.portal, id);
            if (!scene) return std::nullopt;
            return std::move(scene->objects);
          },
          [&](std::uint32_t id) { return meshes.lookup(world.portal, id); }, {}, false);
      out.insert(out.end(), placed.begin(), placed.end());
    }
    return out;
  }();
  for (auto _ : state) {
    for (const auto& p : placements) {
      const std::string line = placement_line(p);
      benchmark::DoNotOptimize(line.data());
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * placements.size()));
}
BENCHMARK(BM_PlacementLine);

}  // namespace
}  // namespace quillmoor::twinrun
