// One landblock's bake on the sample world's ring: per landblock, and per
// candidate (every object descriptor of every vertex's scene). Scenes and
// meshes are parsed once up front, so that only the bake is measured.
#include "quillmoor/scenery_bake/bake.h"

#include <benchmark/benchmark.h>

#include <map>

#include "quillmoor/authoring/bench_world.h"
#include "quillmoor/dat/gfx_obj.h"
#include "quillmoor/dat/scene.h"
#include "quillmoor/dat/setup_model.h"
#include "quillmoor/scenery_bake/height.h"

namespace quillmoor::bake {
namespace {

struct Prepared {
  dat::Region region;
  std::vector<std::pair<std::uint16_t, dat::CellLandblock>> landblocks;
  std::map<std::uint32_t, std::vector<dat::ObjectDesc>> scenes;
  std::map<std::uint32_t, std::vector<Vector3>> meshes;
};

std::optional<std::vector<Vector3>> gfx_points(const dat::DatDatabase& portal, std::uint32_t id) {
  auto bytes = portal.get_file(id);
  if (!bytes.ok()) return std::nullopt;
  dat::BinReader reader(*bytes);
  auto gfx = dat::GfxObj::unpack(reader);
  if (!gfx.ok() || gfx->vertex_array.vertices.empty()) return std::nullopt;
  std::vector<Vector3> points;
  for (const auto& [vid, v] : gfx->vertex_array.vertices) points.push_back(v.origin);
  return points;
}

const Prepared& prepared() {
  static const Prepared p = [] {
    const auto& world = authoring::bench_world();
    Prepared out;
    auto region_bytes = world.portal.get_file(dat::kRegionFileId);
    dat::BinReader reader(region_bytes.value());
    out.region = std::move(dat::Region::unpack(reader)).value();
    // The ring that twinrun bakes.
    for (unsigned x = 0xA3; x <= 0xAF; ++x) {
      for (unsigned y = 0xAE; y <= 0xBA; ++y) {
        const auto lb = static_cast<std::uint16_t>((x << 8) | y);
        auto bytes = world.cell.get_file(dat::terrain_file_id(lb));
        if (!bytes.ok()) continue;
        auto terrain = dat::CellLandblock::unpack(*bytes);
        if (terrain.ok()) out.landblocks.emplace_back(lb, std::move(terrain).value());
      }
    }
    for (const auto& e : authoring::BenchWorld::entries(world.portal, [](std::uint32_t id) { return (id >> 24) == 0x12; })) {
      auto bytes = world.portal.get_file(e.id);
      if (!bytes.ok()) continue;
      dat::BinReader r(*bytes);
      if (auto scene = dat::Scene::unpack(r); scene.ok()) out.scenes[e.id] = scene->objects;
    }
    for (const auto& e : authoring::BenchWorld::entries(world.portal, [](std::uint32_t id) { return (id >> 24) == 0x01; })) {
      if (auto points = gfx_points(world.portal, e.id)) out.meshes[e.id] = std::move(*points);
    }
    for (const auto& e : authoring::BenchWorld::entries(world.portal, [](std::uint32_t id) { return (id >> 24) == 0x02; })) {
      auto bytes = world.portal.get_file(e.id);
      if (!bytes.ok()) continue;
      dat::BinReader r(*bytes);
      auto setup = dat::SetupModel::unpack(r);
      if (!setup.ok()) continue;
      std::vector<Vector3> joined;
      for (const std::uint32_t part : setup->parts) {
        if (auto points = gfx_points(world.portal, part)) joined.insert(joined.end(), points->begin(), points->end());
      }
      if (!joined.empty()) out.meshes[e.id] = std::move(joined);
    }
    return out;
  }();
  return p;
}

void BM_BakeLandblock(benchmark::State& state) {
  const Prepared& p = prepared();
  std::int64_t candidates = 0;
  std::int64_t placements = 0;
  const SceneLookup scenes = [&](std::uint32_t id) -> std::optional<std::vector<dat::ObjectDesc>> {
    const auto it = p.scenes.find(id);
    if (it == p.scenes.end()) return std::nullopt;
    candidates += static_cast<std::int64_t>(it->second.size());
    return it->second;
  };
  const MeshLookup meshes = [&](std::uint32_t id) -> const std::vector<Vector3>* {
    const auto it = p.meshes.find(id);
    return it == p.meshes.end() ? nullptr : &it->second;
  };
  const bool slope = state.range(0) != 0;
  std::int64_t landblocks = 0;
  for (auto _ : state) {
    for (const auto& [lb, terrain] : p.landblocks) {
      const auto placed = bake_landblock_impl(p.region, terrain, std::uint32_t{lb} << 16, scenes, meshes, {}, slope);
      placements += static_cast<std::int64_t>(placed.size());
      benchmark::DoNotOptimize(placed.data());
    }
    landblocks += static_cast<std::int64_t>(p.landblocks.size());
  }
  state.SetItemsProcessed(landblocks);
  state.counters["candidates"] = benchmark::Counter(static_cast<double>(candidates), benchmark::Counter::kIsRate);
  state.counters["placements"] = benchmark::Counter(static_cast<double>(placements), benchmark::Counter::kIsRate);
  state.counters["ns_per_candidate"] = benchmark::Counter(
      static_cast<double>(candidates), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// items_per_second is landblocks per second.
BENCHMARK(BM_BakeLandblock)->ArgName("bilinear_with_slope")->Arg(0)->Arg(1);

}  // namespace
}  // namespace quillmoor::bake
