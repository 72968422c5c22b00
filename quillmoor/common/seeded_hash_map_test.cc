#include "quillmoor/common/seeded_hash_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace quillmoor {
namespace {

template <class Map>
std::vector<std::uint32_t> order(const Map& map) {
  std::vector<std::uint32_t> keys;
  for (const auto& [key, value] : map) keys.push_back(key);
  return keys;
}

SeededHashMap<std::uint32_t, int> filled() {
  SeededHashMap<std::uint32_t, int> map;
  for (std::uint32_t k = 0; k < 1000; ++k) map.put(k * 7919u, static_cast<int>(k));
  return map;
}

// The determinism check is only as good as this: two maps holding the same
// keys, built the same way in one process, iterate in different orders.
TEST(SeededHashMapTest, InstancesIterateDifferently) {
  const auto a = filled();
  const auto b = filled();
  ASSERT_EQ(a.size(), b.size());
  EXPECT_NE(order(a), order(b));
  const SeededHashMap<std::uint32_t, int> copy(a);  // a copy gets a seed of its own
  EXPECT_NE(order(a), order(copy));
  EXPECT_EQ(copy.at(7919u), 1);
}

TEST(SeededHashMapTest, LaterPutReplaces) {
  SeededHashMap<std::uint32_t, int> map;
  map.put(5, 7);
  map.put(5, 9);
  EXPECT_EQ(map.size(), 1u);
  EXPECT_EQ(map.at(5), 9);
}

TEST(SeededHashMapTest, SeedsDifferPerCall) {
  EXPECT_NE(next_hash_seed(), next_hash_seed());
  EXPECT_NE(SeededHash<std::uint32_t>{}(1), SeededHash<std::uint32_t>{}(1));
}

}  // namespace
}  // namespace quillmoor
