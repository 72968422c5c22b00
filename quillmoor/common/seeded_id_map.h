// A dense hash map from 32-bit ids to values, seeded at random per
// instance, for maps with a very large number of small entries (the file
// index of an archive holds over a million).
//
// The values lie one after the other in fixed-size chunks, so they are
// never moved once stored and growing never needs old and new storage at
// once; the table holds only (key, value number) pairs, eight bytes a slot,
// probed linearly. The slot of a key comes from a multiply-shift hash whose
// constants are drawn per instance, so the iteration order (table order)
// differs between two maps holding the same keys, as for SeededHashMap.
// Nothing may depend on that order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "quillmoor/common/seeded_hash_map.h"

namespace quillmoor {

template <class V>
class SeededIdMap {
 public:
  using key_type = std::uint32_t;
  using mapped_type = V;

  SeededIdMap() {
    // An odd multiplier and an offset, both random per instance.
    multiplier_ = next_hash_seed() | 1;
    offset_ = next_hash_seed();
  }
  SeededIdMap(SeededIdMap&&) noexcept = default;
  SeededIdMap& operator=(SeededIdMap&&) noexcept = default;
  SeededIdMap(const SeededIdMap&) = delete;
  SeededIdMap& operator=(const SeededIdMap&) = delete;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // Room for `n` entries without a rehash. Values are stored in chunks
  // as they come, so this sizes the table only.
  void reserve(std::size_t n) {
    std::size_t capacity = kMinCapacity;
    while (capacity / 4 * 3 < n) capacity *= 2;
    if (capacity > slots_.size()) rehash(capacity);
  }

  // Inserts or replaces: a later value with the same key wins.
  void put(key_type key, const V& value) {
    if (slots_.empty() || (size_ + 1) > slots_.size() / 4 * 3) rehash(slots_.empty() ? kMinCapacity : slots_.size() * 2);
    const bool caught_up = indexed_ == stored_;  // put is not mixed with pending appends
    insert_number(key, store(value));
    if (caught_up) indexed_ = stored_;
  }

  // Bulk loading, for maps filled in one go: `append` stores a value
  // without making it findable; `index_appended` then sizes the table once
  // for everything appended and enters the values in the order they came,
  // as that many puts would (a later value with the same key wins). Until
  // then the appended values are neither found nor iterated.
  void append(const V& value) { store(value); }
  template <class KeyOf>
  void index_appended(KeyOf key_of) {
    reserve(size_ + (stored_ - indexed_));
    // Slots are fetched a little ahead, so that the cache misses of
    // consecutive inserts overlap.
    constexpr std::size_t kAhead = 32;
    for (std::size_t n = indexed_; n < stored_ && n < indexed_ + kAhead; ++n) prefetch(key_of(value_at(n)));
    for (std::size_t n = indexed_; n < stored_; ++n) {
      if (n + kAhead < stored_) prefetch(key_of(value_at(n + kAhead)));
      insert_number(key_of(value_at(n)), n);
    }
    indexed_ = stored_;
  }

  // Starts fetching the table slot of `key` into the cache, so that a run
  // of puts or finds can overlap their memory accesses.
  void prefetch(key_type key) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[slot_of(key)], 1);
  }

  const V* find(key_type key) const {
    if (slots_.empty()) return nullptr;
    std::size_t i = slot_of(key);
    for (;;) {
      const std::uint64_t s = slots_[i];
      if (s == 0) return nullptr;
      if (static_cast<key_type>(s >> 32) == key) return &value_at(static_cast<std::size_t>((s & 0xFFFFFFFFu) - 1));
      i = (i + 1) & mask_;
    }
  }
  bool contains(key_type key) const { return find(key) != nullptr; }

  // Walks the table: (key, value) pairs in the map's own, seeded order.
  class const_iterator {
   public:
    using value_type = std::pair<key_type, const V&>;
    const_iterator(const SeededIdMap* map, std::size_t i) : map_(map), i_(i) { skip(); }
    value_type operator*() const {
      const std::uint64_t s = map_->slots_[i_];
      return {static_cast<key_type>(s >> 32), map_->value_at(static_cast<std::size_t>((s & 0xFFFFFFFFu) - 1))};
    }
    const_iterator& operator++() {
      ++i_;
      skip();
      return *this;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.i_ == b.i_; }
    friend bool operator!=(const const_iterator& a, const const_iterator& b) { return a.i_ != b.i_; }

   private:
    void skip() {
      while (i_ < map_->slots_.size() && map_->slots_[i_] == 0) ++i_;
    }
    const SeededIdMap* map_;
    std::size_t i_;
  };
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, slots_.size()); }

  // Bytes held by the table and the value chunks.
  std::size_t memory_bytes() const {
    return slots_.capacity() * sizeof(std::uint64_t) + chunks_.size() * kChunk * sizeof(V) +
           chunks_.capacity() * sizeof(void*);
  }

 private:
  static constexpr std::size_t kMinCapacity = 16;
  static constexpr std::size_t kChunk = 4096;

  std::size_t slot_of(key_type key) const {
    return static_cast<std::size_t>(((std::uint64_t{key} + offset_) * multiplier_) >> shift_);
  }
  V& value_at(std::size_t number) const {
    return std::launder(reinterpret_cast<V*>(chunks_[number / kChunk].get()))[number % kChunk];
  }

  std::size_t store(const V& value) {
    const std::size_t number = stored_;
    // Raw storage: every value is written before it is read, so the chunk
    // is not cleared first.
    if (number % kChunk == 0) chunks_.push_back(std::unique_ptr<unsigned char[]>(new unsigned char[kChunk * sizeof(V)]));
    std::memcpy(&value_at(number), &value, sizeof(V));
    ++stored_;
    return number;
  }

  // Enters value `number` under `key`; the table has room.
  void insert_number(key_type key, std::size_t number) {
    std::size_t i = slot_of(key);
    for (;;) {
      const std::uint64_t s = slots_[i];
      if (s == 0) break;
      if (static_cast<key_type>(s >> 32) == key) {
        // Replaced: the earlier value stays stored but is no longer reachable.
        slots_[i] = (std::uint64_t{key} << 32) | (number + 1);
        return;
      }
      i = (i + 1) & mask_;
    }
    slots_[i] = (std::uint64_t{key} << 32) | (number + 1);
    ++size_;
  }

  void rehash(std::size_t capacity) {
    std::vector<std::uint64_t> old(capacity, 0);
    old.swap(slots_);
    mask_ = capacity - 1;
    shift_ = 64;
    for (std::size_t c = capacity; c > 1; c /= 2) --shift_;
    for (const std::uint64_t s : old) {
      if (s == 0) continue;
      std::size_t i = slot_of(static_cast<key_type>(s >> 32));
      while (slots_[i] != 0) i = (i + 1) & mask_;
      slots_[i] = s;
    }
  }

  std::uint64_t multiplier_ = 1;
  std::uint64_t offset_ = 0;
  unsigned shift_ = 64;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;     // keys in the table
  std::size_t stored_ = 0;   // values in the chunks
  std::size_t indexed_ = 0;  // values entered into the table so far
  std::vector<std::uint64_t> slots_;  // (key << 32) | (value number + 1); 0 = empty
  std::vector<std::unique_ptr<unsigned char[]>> chunks_;  // kChunk values each
};

}  // namespace quillmoor
