#include "apps/twinrun/twinrun.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "apps/twinrun/fixture_world.h"
#include "quillmoor/authoring/temp_dir.h"
#include "quillmoor/authoring/test_support.h"

namespace quillmoor::twinrun {
namespace {

using testing::kExampleLine;

class TwinrunTest : public ::testing::Test {
 protected:
  TwinrunTest() {
    testing::example_portal().write(portal_);
    testing::example_cell().write(cell_);
    env_["QUILLMOOR_PORTAL_DAT"] = portal_.string();
    env_["QUILLMOOR_CELL_DAT"] = cell_.string();
    env_["QUILLMOOR_DETERMINISM_OUT"] = (dir_ / "out").string();
  }

  // Runs the tool with env_; keeps what it wrote to standard error in err_.
  int run() {
    const EnvLookup env = [this](const char* name) -> std::optional<std::string> {
      auto it = env_.find(name);
      if (it == env_.end()) return std::nullopt;
      return it->second;
    };
    const auto captured = tool_testing::capture([&](std::FILE*, std::FILE* err) { return run_twinrun(env, settings_, err); });
    err_ = captured.err;
    return captured.status;
  }

  authoring::TempDir dir_{"twinrun"};
  std::filesystem::path portal_ = dir_ / "client_portal.dat";
  std::filesystem::path cell_ = dir_ / "client_cell_1.dat";
  std::map<std::string, std::string> env_;
  Settings settings_{{(dir_ / "nowhere/client_portal.dat").string(), (dir_ / "none/client_portal.dat").string()},
                     {(dir_ / "nowhere/client_cell_1.dat").string(), (dir_ / "none/client_cell_1.dat").string()},
                     (dir_ / "default-out").string()};
  std::string err_;
};

TEST_F(TwinrunTest, IdenticalRunsPass) {
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(err_,
            "twinrun: portal=" + portal_.string() + " cell=" + cell_.string() + "\n"
            "twinrun: baking 13\u00D713 = 169 LBs (run 1)\n"
            "twinrun: baking 13\u00D713 = 169 LBs (run 2)\n"
            "twinrun: total placements = 1 across 169 LBs\n"
            "twinrun: PASS \u2014 all 169 LBs byte-identical across 2 runs\n");
  for (const char* run : {"run1", "run2"}) {
    SCOPED_TRACE(run);
    const auto out = dir_ / "out" / run;
    EXPECT_EQ(tool_testing::read_file(out / "0xA9B4.scenery.jsonl"), std::string(kExampleLine) + "\n");
    EXPECT_TRUE(std::filesystem::exists(out / "0xA3AE.scenery.jsonl"));
    EXPECT_EQ(std::filesystem::file_size(out / "0xAFBA.scenery.jsonl"), 0u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), std::filesystem::directory_iterator()), 169);
  }
}

TEST_F(TwinrunTest, LocatesArchivesInCandidateOrder) {
  // A variable naming a missing path falls through to the fallbacks.
  std::filesystem::create_directories(dir_ / "none");
  std::filesystem::copy_file(portal_, dir_ / "none/client_portal.dat");
  env_["QUILLMOOR_PORTAL_DAT"] = (dir_ / "missing.dat").string();
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(err_.rfind("twinrun: portal=" + (dir_ / "none/client_portal.dat").string() + " cell=", 0), 0u);
}

TEST_F(TwinrunTest, ReportsStartUpFailures) {
  struct Case {
    const char* name;
    std::optional<std::string> portal;  // nullopt: unset
    std::optional<std::string> cell;
    std::string report;
  };
  const std::string portal = portal_.string();
  const Case cases[] = {
      {"no portal anywhere", std::nullopt, std::nullopt,
       "Error: client_portal.dat not found in any candidate location\n"},
      {"empty portal variable", "", cell_.string(),
       "Error: client_portal.dat not found in any candidate location\n"},
      {"no cell anywhere", portal, (dir_ / "gone").string(),
       "Error: client_cell_1.dat not found in any candidate location\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    env_.erase("QUILLMOOR_PORTAL_DAT");
    env_.erase("QUILLMOOR_CELL_DAT");
    if (c.portal) env_["QUILLMOOR_PORTAL_DAT"] = *c.portal;
    if (c.cell) env_["QUILLMOOR_CELL_DAT"] = *c.cell;
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(err_, c.report);
  }
}

TEST_F(TwinrunTest, DirectoryAsPortalIsChosenThenFailsToOpen) {
  env_["QUILLMOOR_PORTAL_DAT"] = dir_.path().string();
  EXPECT_EQ(run(), 1);
  const std::string text = err_;
  const std::string banner = "twinrun: portal=" + dir_.path().string() + " cell=" + cell_.string() + "\n";
  EXPECT_EQ(text.rfind(banner + "Error: open portal\n\nCaused by:\n", 0), 0u) << text;
}

TEST_F(TwinrunTest, RegionFailures) {
  testing::ArchiveFixture portal = testing::example_portal();
  portal.files.erase(dat::kRegionFileId);
  portal.write(portal_);
  EXPECT_EQ(run(), 1);
  EXPECT_NE(err_.find("\nError: fetch Region 0x13000000\n\nCaused by:\n"
                             "    File ID 13000000 not found in provider\n"),
            std::string::npos)
      << err_;

  portal = testing::example_portal();
  portal.files[dat::kRegionFileId].resize(100);  // inside the land height table
  portal.write(portal_);
  EXPECT_EQ(run(), 1);
  const std::string text = err_;
  EXPECT_NE(text.find("\nError: parse Region\n\nCaused by:\n    failed to fill whole buffer\n"), std::string::npos)
      << text;
  EXPECT_EQ(text.find("baking"), std::string::npos);  // nothing is baked
}

TEST_F(TwinrunTest, OutputFailuresComeAfterBothRuns) {
  std::ofstream(dir_ / "plain-file") << "x";
  env_["QUILLMOOR_DETERMINISM_OUT"] = (dir_ / "plain-file").string();
  EXPECT_EQ(run(), 1);
  const std::string text = err_;
  EXPECT_NE(text.find("(run 2)\nError: "), std::string::npos) << text;
  EXPECT_EQ(text.find("Caused by"), std::string::npos);  // the I/O error is the headline
  EXPECT_EQ(text.find("total placements"), std::string::npos);
}

TEST_F(TwinrunTest, WriteFailureNamesTheFile) {
  const auto blocker = dir_ / "out" / "run1" / "0xA3AF.scenery.jsonl";
  std::filesystem::create_directories(blocker);
  EXPECT_EQ(run(), 1);
  const std::string text = err_;
  EXPECT_NE(text.find("Error: write " + blocker.string() + "\n\nCaused by:\n    Is a directory (os error 21)\n"),
            std::string::npos)
      << text;
  // Files written before the failure stay.
  EXPECT_TRUE(std::filesystem::exists(dir_ / "out" / "run1" / "0xA3AE.scenery.jsonl"));
}

TEST_F(TwinrunTest, EmptyOutputVariableMeansTheCurrentDirectory) {
  env_["QUILLMOOR_DETERMINISM_OUT"] = "";
  const auto here = std::filesystem::current_path();
  std::filesystem::create_directories(dir_ / "cwd");
  std::filesystem::current_path(dir_ / "cwd");
  const int status = run();
  std::filesystem::current_path(here);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(tool_testing::read_file(dir_ / "cwd" / "run2" / "0xA9B4.scenery.jsonl"), std::string(kExampleLine) + "\n");
}

TEST(WriteLinesTest, EachLineEndsWithALineFeed) {
  authoring::TempDir dir("write-lines");
  ASSERT_TRUE(write_lines(dir.path(), 0x00AB, std::vector<std::string>{"a", "", "b"}).ok());
  EXPECT_EQ(tool_testing::read_file(dir / "0x00AB.scenery.jsonl"), "a\n\nb\n");
  ASSERT_TRUE(write_lines(dir.path(), 0x00AB, std::vector<std::string>{}).ok());
  EXPECT_EQ(tool_testing::read_file(dir / "0x00AB.scenery.jsonl"), "");  // replaced, not appended
}

TEST(RingTest, ThirteenByThirteenFromA3AE) {
  const auto ring = ring_landblocks();
  ASSERT_EQ(ring.size(), 169u);
  EXPECT_EQ(ring[0], 0xA3AE);
  EXPECT_EQ(ring[1], 0xA3AF);
  EXPECT_EQ(ring[12], 0xA3BA);
  EXPECT_EQ(ring[13], 0xA4AE);
  EXPECT_EQ(ring[168], 0xAFBA);
}

TEST(ReportComparisonTest, PrintsDriftDetailsAndFails) {
  const RunResult run1 = {{0x0001, {"a", "b"}}, {0x0002, {"c"}}, {0x0003, {"d"}}, {0x0004, {}}};
  const RunResult run2 = {{0x0001, {"a", "B"}}, {0x0002, {"c", "extra"}}, {0x0003, {"d"}}, {0x0004, {}}};
  std::optional<Result<int, ErrorChain>> verdict;
  const auto err = tool_testing::capture([&](std::FILE*, std::FILE* e) {
    verdict.emplace(report_comparison(e, run1, run2));
    return 0;
  }).err;
  ASSERT_FALSE(verdict->ok());
  EXPECT_EQ(err,
            "twinrun: total placements = 4 across 4 LBs\n"
            "  LB 0x0001: 2 vs 2 lines\n"
            "    line 1: b\n"
            "           : B\n"
            "  LB 0x0002: 1 vs 2 lines\n");
  EXPECT_EQ(render_report(verdict->error()), "Error: twinrun: FAIL \u2014 2 LBs drifted between runs\n");
}

TEST(ReportComparisonTest, SequenceDriftStops) {
  const RunResult run1 = {{0x0001, {}}, {0x0002, {}}};
  const RunResult run2 = {{0x0001, {}}, {0x0003, {}}};
  std::optional<Result<int, ErrorChain>> verdict;
  const auto err = tool_testing::capture([&](std::FILE*, std::FILE* e) {
    verdict.emplace(report_comparison(e, run1, run2));
    return 0;
  }).err;
  ASSERT_TRUE(verdict->ok());
  EXPECT_EQ(**verdict, kSequenceDriftStatus);
  EXPECT_NE(err.find("lb sequence drift"), std::string::npos);
  EXPECT_EQ(err.find("total placements"), std::string::npos);
}

}  // namespace
}  // namespace quillmoor::twinrun
