#include "quillmoor/common/seeded_id_map.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

namespace quillmoor {
namespace {

struct Value {
  std::uint32_t key = 0;
  int tag = 0;
};

// What a sequence of puts must leave, by a plain ordered map.
std::map<std::uint32_t, int> expected_after(const std::vector<Value>& puts) {
  std::map<std::uint32_t, int> m;
  for (const Value& v : puts) m[v.key] = v.tag;
  return m;
}

void expect_holds(const SeededIdMap<Value>& map, const std::map<std::uint32_t, int>& expected) {
  ASSERT_EQ(map.size(), expected.size());
  for (const auto& [key, tag] : expected) {
    const Value* v = map.find(key);
    ASSERT_NE(v, nullptr) << key;
    EXPECT_EQ(v->tag, tag) << key;
  }
  std::map<std::uint32_t, int> walked;
  for (const auto& [key, v] : map) {
    EXPECT_TRUE(walked.emplace(key, v.tag).second) << "key visited twice: " << key;
  }
  EXPECT_EQ(walked, expected);
}

std::vector<Value> sequence(const char* name) {
  std::vector<Value> puts;
  const std::string n = name;
  if (n == "extreme keys") {
    puts = {{0, 1}, {0xFFFFFFFF, 2}, {1, 3}, {0x80000000, 4}};
  } else if (n == "later duplicates win") {
    puts = {{7, 1}, {8, 2}, {7, 3}, {9, 4}, {8, 5}, {7, 6}};
  } else if (n == "cell-archive-like ids, growing through many sizes") {
    int tag = 0;
    for (std::uint32_t lb = 0; lb < 4000; ++lb) {
      for (std::uint32_t k = 0; k < 12; ++k) puts.push_back({(lb << 16) | (0x0100 + k), tag++});
      puts.push_back({(lb << 16) | 0xFFFE, tag++});
      puts.push_back({(lb << 16) | 0xFFFF, tag++});
    }
  } else if (n == "dense run with repeats") {
    for (std::uint32_t i = 0; i < 50000; ++i) puts.push_back({i % 30011, static_cast<int>(i)});
  }
  return puts;
}

const char* const kSequences[] = {"extreme keys", "later duplicates win",
                                  "cell-archive-like ids, growing through many sizes", "dense run with repeats"};

TEST(SeededIdMapTest, PutFindAndIterate) {
  for (const char* name : kSequences) {
    SCOPED_TRACE(name);
    const auto puts = sequence(name);
    SeededIdMap<Value> map;
    for (const Value& v : puts) map.put(v.key, v);
    expect_holds(map, expected_after(puts));
    EXPECT_EQ(map.find(0x12345678), nullptr);
    EXPECT_FALSE(map.contains(0x12345678));
  }
  SeededIdMap<Value> empty;
  EXPECT_EQ(empty.find(0), nullptr);
  EXPECT_EQ(empty.begin(), empty.end());
}

// Bulk loading ends exactly as the same values put one by one.
TEST(SeededIdMapTest, AppendedValuesIndexAsPutsWould) {
  for (const char* name : kSequences) {
    SCOPED_TRACE(name);
    const auto puts = sequence(name);
    SeededIdMap<Value> map;
    for (const Value& v : puts) map.append(v);
    // Not findable before they are indexed.
    EXPECT_EQ(map.size(), 0u);
    if (!puts.empty()) {
      EXPECT_EQ(map.find(puts.front().key), nullptr);
    }
    EXPECT_EQ(map.begin(), map.end());
    map.index_appended([](const Value& v) { return v.key; });
    expect_holds(map, expected_after(puts));
    // A put afterwards behaves as always.
    map.put(puts.front().key, Value{puts.front().key, -1});
    EXPECT_EQ(map.find(puts.front().key)->tag, -1);
  }
  // Two rounds of appending: the second round's values replace the first's.
  SeededIdMap<Value> map;
  map.append({1, 10});
  map.append({2, 20});
  map.index_appended([](const Value& v) { return v.key; });
  map.append({2, 21});
  map.append({3, 30});
  map.index_appended([](const Value& v) { return v.key; });
  expect_holds(map, {{1, 10}, {2, 21}, {3, 30}});
}

// Each map draws its own hashing, so the same keys come out in a different
// order: what the determinism check relies on.
TEST(SeededIdMapTest, IterationOrderDiffersBetweenMaps) {
  auto order = [] {
    SeededIdMap<Value> map;
    for (std::uint32_t i = 0; i < 1000; ++i) map.put(0x01000000 + i, Value{i, 0});
    std::vector<std::uint32_t> keys;
    for (const auto& [key, v] : map) keys.push_back(key);
    return keys;
  };
  const auto first = order();
  const auto second = order();
  ASSERT_EQ(first.size(), 1000u);
  EXPECT_EQ(std::set<std::uint32_t>(first.begin(), first.end()), std::set<std::uint32_t>(second.begin(), second.end()));
  EXPECT_NE(first, second);
}

}  // namespace
}  // namespace quillmoor
