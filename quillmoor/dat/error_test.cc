#include "quillmoor/dat/error.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quillmoor::dat {
namespace {

TEST(DatErrorTest, MessagesCausesAndDebugRendering) {
  const IoError enoent = IoError::from_errno(2);
  const struct {
    const char* name;
    DatError error;
    DatError::Kind kind;
    std::string message;
    std::vector<std::string> causes;
    std::string debug;
  } cases[] = {
      {"Io", DatError(IoError::unexpected_eof()), DatError::Kind::Io, "IO error: failed to fill whole buffer",
       {"failed to fill whole buffer"}, "Io(\"failed to fill whole buffer\")"},
      {"BinRead", DatError(BinError::eof().with_field("magic", "DatHeader")), DatError::Kind::BinRead,
       "Binary read error: failed to fill whole buffer\nWhile parsing field 'magic' in DatHeader",
       {"failed to fill whole buffer\nWhile parsing field 'magic' in DatHeader", "failed to fill whole buffer"},
       "BinRead(\"failed to fill whole buffer\nWhile parsing field 'magic' in DatHeader\")"},
      {"BinRead custom", DatError(BinError::custom("Bad count", 0x10)), DatError::Kind::BinRead,
       "Binary read error: Bad count at 0x10", {"Bad count at 0x10"}, "BinRead(\"Bad count at 0x10\")"},
      {"NotFound region", DatError::not_found(0x13000000), DatError::Kind::NotFound,
       "File ID 13000000 not found in provider", {}, "NotFound(318767104)"},
      {"NotFound small id", DatError::not_found(0xFFFE), DatError::Kind::NotFound,
       "File ID 0000FFFE not found in provider", {}, "NotFound(65534)"},
      {"DuplicateId", DatError::duplicate_id(0xABCDEF), DatError::Kind::DuplicateId,
       "Duplicate File ID 00ABCDEF detected", {}, "DuplicateId(11259375)"},
      {"DuplicateNamespacedId", DatError::duplicate_namespaced_id("a", 1), DatError::Kind::DuplicateNamespacedId,
       "Duplicate namespaced file a:00000001 detected", {},
       "DuplicateNamespacedId { namespace: \"a\", file_id: 1 }"},
      {"InvalidMagic", DatError::invalid_magic("gfx"), DatError::Kind::InvalidMagic,
       "Invalid magic for format: gfx", {}, "InvalidMagic(\"gfx\")"},
      {"UnsupportedVersion", DatError::unsupported_version(255), DatError::Kind::UnsupportedVersion,
       "Unsupported version: 255", {}, "UnsupportedVersion(255)"},
      {"InvalidNamespace", DatError::invalid_namespace("zz"), DatError::Kind::InvalidNamespace,
       "Invalid namespace: zz", {}, "InvalidNamespace(\"zz\")"},
      {"Corruption", DatError::corruption("bad \"node\""), DatError::Kind::Corruption,
       "Corruption detected: bad \"node\"", {}, "Corruption(\"bad \\\"node\\\"\")"},
      {"DecompressionFailed", DatError::decompression_failed(0x0600127D), DatError::Kind::DecompressionFailed,
       "Failed to recover compressed file 0600127D", {}, "DecompressionFailed(100668029)"},
      {"PathError", DatError::path_error("/no/such.dat", enoent), DatError::Kind::PathError,
       "Failed to open file at /no/such.dat: No such file or directory (os error 2)",
       {"No such file or directory (os error 2)"},
       "PathError { path: \"/no/such.dat\", source: \"No such file or directory (os error 2)\" }"},
      {"PathError invalid UTF-8", DatError::path_error(std::string("/x\xFF.dat"), enoent),
       DatError::Kind::PathError, "Failed to open file at /x\uFFFD.dat: No such file or directory (os error 2)",
       {"No such file or directory (os error 2)"},
       "PathError { path: \"/x\uFFFD.dat\", source: \"No such file or directory (os error 2)\" }"},
      {"Other", DatError::other("anything"), DatError::Kind::Other, "Other error: anything", {},
       "Other(\"anything\")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.error.kind(), c.kind);
    EXPECT_EQ(c.error.message(), c.message);
    const ErrorChain chain = c.error.to_chain();
    EXPECT_EQ(chain.headline(), c.message);
    EXPECT_EQ(chain.causes(), c.causes);
    EXPECT_EQ(c.error.debug_string(), c.debug);
  }
}

TEST(DatErrorTest, VariantOrder) {
  EXPECT_EQ(static_cast<int>(DatError::Kind::Io), 0);
  EXPECT_EQ(static_cast<int>(DatError::Kind::NotFound), 2);
  EXPECT_EQ(static_cast<int>(DatError::Kind::PathError), 10);
  EXPECT_EQ(static_cast<int>(DatError::Kind::Other), 11);
}

TEST(DatErrorTest, ReportOfAWrappedError) {
  // "open portal" over a BinRead: the reader error twice, then its I/O error.
  const DatError e(BinError::eof().with_field("subset", "DatHeader"));
  EXPECT_EQ(render_report(e.to_chain().context("open portal")),
            "Error: open portal\n"
            "\n"
            "Caused by:\n"
            "    0: Binary read error: failed to fill whole buffer\n"
            "       While parsing field 'subset' in DatHeader\n"
            "    1: failed to fill whole buffer\n"
            "       While parsing field 'subset' in DatHeader\n"
            "    2: failed to fill whole buffer\n");
}

}  // namespace
}  // namespace quillmoor::dat
