#include "quillmoor/common/error_chain.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quillmoor/common/io_error.h"

namespace quillmoor {
namespace {

TEST(ErrorChainTest, ContextBecomesTheHeadline) {
  ErrorChain e = ErrorChain("inner", {"cause a", "cause b"}).context("middle").context("outer");
  EXPECT_EQ(e.headline(), "outer");
  EXPECT_EQ(e.causes(), (std::vector<std::string>{"middle", "inner", "cause a", "cause b"}));
}

TEST(ErrorChainTest, RenderReport) {
  const std::string enoent = IoError::from_errno(2).message();
  const struct {
    const char* name;
    ErrorChain error;
    std::string report;
  } cases[] = {
      {"no portal anywhere", ErrorChain("client_portal.dat not found in any candidate location"),
       "Error: client_portal.dat not found in any candidate location\n"},
      {"region missing",
       ErrorChain("File ID 13000000 not found in provider").context("fetch Region 0x13000000"),
       "Error: fetch Region 0x13000000\n"
       "\n"
       "Caused by:\n"
       "    File ID 13000000 not found in provider\n"},
      {"portal cannot be opened",
       ErrorChain("Failed to open file at /data/client_portal.dat: " + enoent, {enoent}).context("open portal"),
       "Error: open portal\n"
       "\n"
       "Caused by:\n"
       "    0: Failed to open file at /data/client_portal.dat: No such file or directory (os error 2)\n"
       "    1: No such file or directory (os error 2)\n"},
      {"one multi-line cause", ErrorChain("top", {"first line\nsecond line\nthird"}),
       "Error: top\n"
       "\n"
       "Caused by:\n"
       "    first line\n"
       "    second line\n"
       "    third\n"},
      {"several multi-line causes", ErrorChain("top", {"a\nb", "c", "d\ne"}),
       "Error: top\n"
       "\n"
       "Caused by:\n"
       "    0: a\n"
       "       b\n"
       "    1: c\n"
       "    2: d\n"
       "       e\n"},
      {"a multi-line headline", ErrorChain("two\nlines"), "Error: two\nlines\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(render_report(c.error), c.report);
  }
}

TEST(ErrorChainTest, IndexIsRightAlignedInFive) {
  std::vector<std::string> causes(12, "x");
  const std::string report = render_report(ErrorChain("top", causes));
  EXPECT_NE(report.find("\n    9: x\n   10: x\n   11: x\n"), std::string::npos) << report;
}

TEST(IoErrorTest, Messages) {
  EXPECT_EQ(IoError::unexpected_eof().message(), "failed to fill whole buffer");
  EXPECT_EQ(IoError::invalid_seek().message(), "invalid seek to a negative or overflowing position");
  EXPECT_EQ(IoError::from_errno(21).message(), "Is a directory (os error 21)");
  EXPECT_EQ(IoError::from_errno(2).kind(), IoError::Kind::kOs);
  EXPECT_EQ(IoError::from_errno(2).os_error(), 2);
}

}  // namespace
}  // namespace quillmoor
