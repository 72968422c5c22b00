#include "quillmoor/common/seeded_hash_map.h"

#include <atomic>
#include <chrono>
#include <random>

namespace quillmoor {

namespace {

std::uint64_t process_seed() {
  std::random_device device;
  std::uint64_t seed = (static_cast<std::uint64_t>(device()) << 32) ^ device();
  // Some random_device implementations are deterministic; the clock makes
  // two processes differ regardless.
  seed ^= static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
  return mix64(seed);
}

}  // namespace

std::uint64_t next_hash_seed() {
  static const std::uint64_t base = process_seed();
  static std::atomic<std::uint64_t> counter{0};
  return mix64(base + counter.fetch_add(1, std::memory_order_relaxed) * 0xD1B54A32D192ED03ull);
}

}  // namespace quillmoor
