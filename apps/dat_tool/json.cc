#include "apps/dat_tool/json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "quillmoor/common/text_encoding.h"

namespace quillmoor::dat_tool {

namespace {

template <class F>
std::string shortest(F value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

}  // namespace

std::string shortest_float(float value) { return shortest(value); }
std::string shortest_double(double value) { return shortest(value); }

std::string json_quote(std::string_view raw) {
  const std::string text = lossy_utf8(raw);
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

Json Json::boolean(bool value) {
  Json j;
  j.kind_ = Kind::kBool;
  j.text_ = value ? "true" : "false";
  return j;
}

Json Json::number(std::uint64_t value) {
  Json j;
  j.kind_ = Kind::kNumber;
  j.text_ = std::to_string(value);
  return j;
}

Json Json::number(std::int64_t value) {
  Json j;
  j.kind_ = Kind::kNumber;
  j.text_ = std::to_string(value);
  return j;
}

Json Json::number(float value) {
  if (!std::isfinite(value)) return string(shortest_float(value));
  Json j;
  j.kind_ = Kind::kNumber;
  j.text_ = shortest_float(value);
  return j;
}

Json Json::number(double value) {
  if (!std::isfinite(value)) return string(shortest_double(value));
  Json j;
  j.kind_ = Kind::kNumber;
  j.text_ = shortest_double(value);
  return j;
}

Json Json::string(std::string_view text) {
  Json j;
  j.kind_ = Kind::kString;
  j.text_ = std::string(text);
  return j;
}

Json Json::hex(std::uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
  return string(buf);
}

Json Json::hex_bytes(const std::uint8_t* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0xF];
  }
  return string(text);
}

Json Json::array() {
  Json j;
  j.kind_ = Kind::kArray;
  return j;
}

Json Json::object() {
  Json j;
  j.kind_ = Kind::kObject;
  return j;
}

Json& Json::push(Json item) & {
  items_.push_back(std::move(item));
  return *this;
}

Json& Json::set(std::string key, Json value) & {
  members_.emplace_back(std::move(key), std::move(value));
  return *this;
}

const Json* Json::find(std::string_view key) const {
  for (const auto& [k, v] : members_) {
    if (k == key) return &v;
  }
  return nullptr;
}

void Json::write_compact(std::string& out) const {
  switch (kind_) {
    case Kind::kNull: out += "null"; break;
    case Kind::kBool:
    case Kind::kNumber: out += text_; break;
    case Kind::kString: out += json_quote(text_); break;
    case Kind::kArray:
      out += '[';
      for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i) out += ',';
        items_[i].write_compact(out);
      }
      out += ']';
      break;
    case Kind::kObject:
      out += '{';
      for (std::size_t i = 0; i < members_.size(); ++i) {
        if (i) out += ',';
        out += json_quote(members_[i].first);
        out += ':';
        members_[i].second.write_compact(out);
      }
      out += '}';
      break;
  }
}

void Json::write_pretty(std::string& out, int indent) const {
  const std::string inner(static_cast<std::size_t>(indent + 2), ' ');
  const std::string outer(static_cast<std::size_t>(indent), ' ');
  if (kind_ == Kind::kArray) {
    bool flat = true;
    for (const Json& item : items_) flat = flat && item.is_scalar();
    if (flat || items_.empty()) {
      write_compact(out);
      return;
    }
    out += "[\n";
    for (std::size_t i = 0; i < items_.size(); ++i) {
      out += inner;
      items_[i].write_pretty(out, indent + 2);
      out += i + 1 < items_.size() ? ",\n" : "\n";
    }
    out += outer + "]";
    return;
  }
  if (kind_ == Kind::kObject) {
    if (members_.empty()) {
      out += "{}";
      return;
    }
    out += "{\n";
    for (std::size_t i = 0; i < members_.size(); ++i) {
      out += inner + json_quote(members_[i].first) + ": ";
      members_[i].second.write_pretty(out, indent + 2);
      out += i + 1 < members_.size() ? ",\n" : "\n";
    }
    out += outer + "}";
    return;
  }
  write_compact(out);
}

std::string Json::dump() const {
  std::string out;
  write_compact(out);
  return out;
}

std::string Json::pretty() const {
  std::string out;
  write_pretty(out, 0);
  return out;
}

}  // namespace quillmoor::dat_tool
