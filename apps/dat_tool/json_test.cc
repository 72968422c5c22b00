#include "apps/dat_tool/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "quillmoor/common/seeded_hash_map.h"

namespace quillmoor::dat_tool {
namespace {

TEST(JsonQuoteTest, EscapesWhatJsonRequires) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"plain", "\"plain\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"back\\slash", "\"back\\\\slash\""},
      {"tab\tnl\ncr\r", "\"tab\\tnl\\ncr\\r\""},
      {std::string("\x01\x1f", 2), "\"\\u0001\\u001f\""},
      {std::string("nul\0x", 5), "\"nul\\u0000x\""},
      {"caf\xc3\xa9", "\"caf\xc3\xa9\""},       // valid UTF-8 passes unchanged
      {"bad\xff", "\"bad\xef\xbf\xbd\""},          // a stray byte becomes U+FFFD
      {"/ and \x7f", "\"/ and \x7f\""},            // neither needs escaping
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(json_quote(c.in), c.out);
  }
}

TEST(JsonNumberTest, FloatsAreShortestRoundTrip) {
  struct Case {
    float value;
    const char* text;
  };
  const Case cases[] = {
      {0.1f, "0.1"},
      {1.0f, "1"},
      {-0.0f, "-0"},
      {1e-7f, "1e-07"},
      {0.7071068f, "0.7071068"},
      {16777216.0f, "16777216"},
      {3.4028235e38f, "3.4028235e+38"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Json j = Json::number(c.value);
    EXPECT_EQ(j.kind(), Json::Kind::kNumber);
    EXPECT_EQ(j.dump(), c.text);
    // Reads back to the same bits.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(std::strtof(j.dump().c_str(), nullptr)),
              std::bit_cast<std::uint32_t>(c.value));
  }
  EXPECT_EQ(Json::number(0.1).dump(), "0.1");  // a double is not widened from a float
  EXPECT_EQ(Json::number(std::uint64_t{18446744073709551615u}).dump(), "18446744073709551615");
  EXPECT_EQ(Json::number(std::int32_t{-5}).dump(), "-5");
}

TEST(JsonNumberTest, NonFiniteValuesBecomeStrings) {
  EXPECT_EQ(Json::number(std::numeric_limits<float>::quiet_NaN()).dump(), "\"NaN\"");
  EXPECT_EQ(Json::number(std::numeric_limits<float>::infinity()).dump(), "\"inf\"");
  EXPECT_EQ(Json::number(-std::numeric_limits<double>::infinity()).dump(), "\"-inf\"");
}

TEST(JsonWriterTest, CompactAndPrettyForms) {
  Json doc = Json::object()
                 .set("id", Json::hex(0x1A, 8))
                 .set("list", Json::array().push(Json::number(std::uint32_t{1})).push(Json()))
                 .set("nested", Json::array().push(Json::object().set("ok", Json::boolean(true))))
                 .set("empty", Json::object())
                 .set("bytes", Json::hex_bytes(reinterpret_cast<const std::uint8_t*>("\x00\xab"), 2));
  EXPECT_EQ(doc.dump(),
            "{\"id\":\"0x0000001A\",\"list\":[1,null],\"nested\":[{\"ok\":true}],\"empty\":{},\"bytes\":\"00ab\"}");
  EXPECT_EQ(doc.pretty(),
            "{\n"
            "  \"id\": \"0x0000001A\",\n"
            "  \"list\": [1,null],\n"  // scalars stay on one line
            "  \"nested\": [\n"
            "    {\n"
            "      \"ok\": true\n"
            "    }\n"
            "  ],\n"
            "  \"empty\": {},\n"
            "  \"bytes\": \"00ab\"\n"
            "}");
}

TEST(JsonWriterTest, MapsComeOutSortedByNumericKey) {
  // Two maps with the same content but different seeds iterate differently;
  // the rendering must not.
  SeededHashMap<std::uint16_t, int> a, b;
  for (const std::uint16_t k : {10, 2, 1, 300, 65535}) a.put(k, k * 2);
  for (const std::uint16_t k : {65535, 300, 1, 2, 10}) b.put(k, k * 2);
  const auto render = [](int v) { return Json::number(std::int64_t{v}); };
  const std::string text = object_sorted_by_key(a, render).dump();
  EXPECT_EQ(text, "{\"1\":2,\"2\":4,\"10\":20,\"300\":600,\"65535\":131070}");
  EXPECT_EQ(object_sorted_by_key(b, render).dump(), text);
}

}  // namespace
}  // namespace quillmoor::dat_tool
