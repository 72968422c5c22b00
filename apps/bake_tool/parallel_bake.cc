#include "apps/bake_tool/parallel_bake.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "apps/twinrun/caches.h"
#include "apps/twinrun/placement_line.h"
#include "apps/twinrun/ring_bake.h"

namespace quillmoor::bake_tool {

namespace {

struct Worker {
  twinrun::SceneCache scenes;
  twinrun::MeshCache meshes;

  BakedLandblock bake(const dat::Region& region, const dat::DatDatabase& portal, const dat::DatDatabase& cell,
                      std::uint16_t landblock, const BakeSettings& settings) {
    const twinrun::LandblockBake baked = twinrun::bake_one_landblock(
        region, portal, cell, scenes, meshes, landblock, settings.bilinear_with_slope);
    BakedLandblock out;
    out.landblock = landblock;
    out.lines.reserve(baked.placements.size());
    for (const auto& p : baked.placements) out.lines.push_back(twinrun::placement_line(p));
    if (settings.tiles) out.tile = make_tile(region, baked);
    if (settings.finish) settings.finish(out);
    return out;
  }
};

}  // namespace

void bake_in_order(const dat::Region& region, const dat::DatDatabase& portal, const dat::DatDatabase& cell,
                   std::span<const std::uint16_t> landblocks, const BakeSettings& settings, const Sink& sink) {
  const std::size_t n = landblocks.size();
  if (settings.threads <= 1 || n <= 1) {
    Worker worker;
    for (const std::uint16_t lb : landblocks) {
      if (!sink(worker.bake(region, portal, cell, lb, settings))) return;
    }
    return;
  }

  const std::size_t threads = std::min<std::size_t>(settings.threads, n);
  // Results waiting for the sink live in a ring of slots; landblock i uses
  // slot i % window and may only be claimed once i - window was handed over.
  const std::size_t window = threads * 8;
  std::vector<std::optional<BakedLandblock>> slots(window);
  std::mutex mutex;
  std::condition_variable ready;  // a slot was filled
  std::condition_variable room;   // the sink took a slot, or the bake stops
  std::size_t next = 0;           // the next landblock to claim
  std::size_t handed = 0;         // landblocks given to the sink
  bool stop = false;

  const auto work = [&] {
    Worker worker;
    for (;;) {
      std::size_t i;
      {
        std::unique_lock lock(mutex);
        room.wait(lock, [&] { return stop || next >= n || next < handed + window; });
        if (stop || next >= n) return;
        i = next++;
      }
      BakedLandblock baked = worker.bake(region, portal, cell, landblocks[i], settings);
      {
        std::lock_guard lock(mutex);
        slots[i % window] = std::move(baked);
      }
      ready.notify_all();
    }
  };

  std::vector<std::thread> pool;
  pool.reserve(threads);
  for (std::size_t t = 0; t < threads; ++t) pool.emplace_back(work);

  while (handed < n) {
    BakedLandblock baked;
    {
      std::unique_lock lock(mutex);
      ready.wait(lock, [&] { return slots[handed % window].has_value(); });
      baked = std::move(*slots[handed % window]);
      slots[handed % window].reset();
      ++handed;
    }
    room.notify_all();
    if (!sink(std::move(baked))) {
      {
        std::lock_guard lock(mutex);
        stop = true;
      }
      room.notify_all();
      break;
    }
  }
  for (auto& t : pool) t.join();
}

}  // namespace quillmoor::bake_tool
