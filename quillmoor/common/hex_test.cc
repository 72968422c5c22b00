#include "quillmoor/common/hex.h"

#include <gtest/gtest.h>

namespace quillmoor {
namespace {

TEST(HexTest, Writes) {
  EXPECT_EQ(hex8(0x13000000), "13000000");
  EXPECT_EQ(hex8(0xFFFE), "0000FFFE");
  EXPECT_EQ(hex_id(0xabc), "0x00000ABC");
}

TEST(ParseHexTest, Forms) {
  EXPECT_EQ(parse_hex("0x13000000"), 0x13000000u);
  EXPECT_EQ(parse_hex("0XabCD"), 0xABCDu);
  EXPECT_EQ(parse_hex("FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(parse_hex("ff", 0xFF), 0xFFu);
  for (const char* bad : {"", "0x", "-1", "1g", "100000000", " 1"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(parse_hex(bad), std::nullopt);
  }
  EXPECT_EQ(parse_hex("100", 0xFF), std::nullopt);
}

}  // namespace
}  // namespace quillmoor
