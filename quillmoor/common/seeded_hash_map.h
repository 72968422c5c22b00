// A hash map whose hashing is seeded at random per instance.
//
// Every keyed section of a format record, the archive's file index and the
// tool's caches use it, so that iteration order really differs between two
// maps holding the same keys. Nothing in the system may depend on that
// order; the determinism check relies on the difference being real.
#pragma once

#include <cstdint>
#include <functional>
#include <type_traits>
#include <unordered_map>

namespace quillmoor {

// A fresh seed for every call: a process-wide random start mixed with a
// counter, so that no two maps of the process share a seed.
std::uint64_t next_hash_seed();

// 64-bit finaliser (splitmix64): every input bit moves every output bit.
constexpr std::uint64_t mix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

template <class K>
struct SeededHash {
  std::uint64_t seed = next_hash_seed();

  std::size_t operator()(const K& key) const {
    if constexpr (std::is_integral_v<K> || std::is_enum_v<K>) {
      return static_cast<std::size_t>(mix64(static_cast<std::uint64_t>(key) ^ seed));
    } else {
      return static_cast<std::size_t>(mix64(std::hash<K>{}(key) ^ seed));
    }
  }
};

template <class K, class V>
class SeededHashMap : public std::unordered_map<K, V, SeededHash<K>> {
  using Base = std::unordered_map<K, V, SeededHash<K>>;

 public:
  SeededHashMap() : Base(0, SeededHash<K>{}) {}
  // A copy gets a seed of its own, so that it iterates differently.
  SeededHashMap(const SeededHashMap& other) : Base(0, SeededHash<K>{}) {
    this->reserve(other.size());
    this->insert(other.begin(), other.end());
  }
  SeededHashMap& operator=(const SeededHashMap& other) {
    if (this != &other) {
      SeededHashMap copy(other);
      this->swap(copy);
    }
    return *this;
  }
  SeededHashMap(SeededHashMap&&) noexcept = default;
  SeededHashMap& operator=(SeededHashMap&&) noexcept = default;

  // Inserts or replaces: a later record with the same key wins.
  void put(const K& key, V value) { this->insert_or_assign(key, std::move(value)); }
};

}  // namespace quillmoor
