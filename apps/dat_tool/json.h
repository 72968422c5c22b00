// A small JSON value and its writer, for the inspector's output.
//
// Objects keep their members in insertion order; callers that render a
// keyed map insert its entries sorted by key (object_sorted_by_key), so the
// output never depends on a map's iteration order.
//
// Numbers: integers in decimal; 32-bit and 64-bit floats in the shortest
// decimal form that reads back to the same value (std::to_chars), so a
// value is shown exactly, negative zero as -0. JSON has no NaN or
// infinity: those become the strings "NaN", "inf" and "-inf", spelled as
// in the placement lines. Text is written as UTF-8, malformed sequences
// replaced by U+FFFD, with ", \ and control characters escaped.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillmoor::dat_tool {

class Json {
 public:
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };

  Json() = default;  // null
  static Json boolean(bool value);
  static Json number(std::uint64_t value);
  static Json number(std::int64_t value);
  static Json number(std::uint32_t value) { return number(std::uint64_t{value}); }
  static Json number(std::int32_t value) { return number(std::int64_t{value}); }
  static Json number(std::uint16_t value) { return number(std::uint64_t{value}); }
  static Json number(std::uint8_t value) { return number(std::uint64_t{value}); }
  static Json number(float value);
  static Json number(double value);
  static Json string(std::string_view text);
  // "0x" and `digits` upper-case hexadecimal digits, as a string.
  static Json hex(std::uint32_t value, int digits = 8);
  // Bytes as a string of lower-case hexadecimal pairs.
  static Json hex_bytes(const std::uint8_t* data, std::size_t size);
  static Json array();
  static Json object();

  // Appends to an array.
  Json& push(Json item) &;
  Json&& push(Json item) && { return std::move(push(std::move(item))); }
  // Appends a member to an object (the caller keeps keys unique).
  Json& set(std::string key, Json value) &;
  Json&& set(std::string key, Json value) && { return std::move(set(std::move(key), std::move(value))); }

  Kind kind() const { return kind_; }
  const std::vector<Json>& items() const { return items_; }
  const std::vector<std::pair<std::string, Json>>& members() const { return members_; }
  // The member with `key`, or null.
  const Json* find(std::string_view key) const;
  // The scalar's text as written (a number's digits, a string's decoded text).
  const std::string& text() const { return text_; }

  // On one line, no spaces.
  std::string dump() const;
  // Indented by two spaces per level; an array whose items are all
  // scalars stays on one line.
  std::string pretty() const;

 private:
  void write_compact(std::string& out) const;
  void write_pretty(std::string& out, int indent) const;
  bool is_scalar() const { return kind_ != Kind::kArray && kind_ != Kind::kObject; }

  Kind kind_ = Kind::kNull;
  std::string text_;
  std::vector<Json> items_;
  std::vector<std::pair<std::string, Json>> members_;
};

// `text` as a JSON string literal, quotes included.
std::string json_quote(std::string_view text);

// The shortest round-trip decimal form of a float, or NaN/inf/-inf.
std::string shortest_float(float value);
std::string shortest_double(double value);

// An object with one member per map entry, keyed by the decimal key, in
// increasing key order; `render` turns a value into Json.
template <class Map, class Render>
Json object_sorted_by_key(const Map& map, Render render) {
  std::vector<const typename Map::value_type*> entries;
  entries.reserve(map.size());
  for (const auto& entry : map) entries.push_back(&entry);
  std::sort(entries.begin(), entries.end(), [](auto* a, auto* b) { return a->first < b->first; });
  Json out = Json::object();
  for (const auto* entry : entries) out.set(std::to_string(entry->first), render(entry->second));
  return out;
}

}  // namespace quillmoor::dat_tool
