// twinrun as a process: the environment set per case, standard error and
// the exit status as a user sees them.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "apps/twinrun/fixture_world.h"
#include "apps/twinrun/twinrun.h"
#include "quillmoor/authoring/temp_dir.h"

namespace quillmoor {
namespace {

struct Outcome {
  int status = -1;
  std::string err;
};

// Runs `exe` with exactly the environment `env` and returns its exit status
// and standard error.
Outcome run_process(const std::string& exe, const std::map<std::string, std::string>& env) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return {};
  std::vector<std::string> entries;
  for (const auto& [k, v] : env) entries.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& e : entries) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string exe_copy = exe;
  char* argv[] = {exe_copy.data(), nullptr};

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipe_fds[1], 2);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    ::execve(exe.c_str(), argv, envp.data());
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  Outcome out;
  char buf[4096];
  for (ssize_t n; (n = ::read(pipe_fds[0], buf, sizeof buf)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    out.err.append(buf, static_cast<std::size_t>(n));
  }
  ::close(pipe_fds[0]);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  out.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return out;
}

bool fallbacks_exist() {
  const auto settings = twinrun::built_in_settings();
  return twinrun::locate(settings.portal_fallbacks).has_value();
}

class TwinrunProcessTest : public ::testing::Test {
 protected:
  TwinrunProcessTest() {
    twinrun::testing::example_portal().write(portal_);
    twinrun::testing::example_cell().write(cell_);
  }
  Outcome run(std::map<std::string, std::string> env) { return run_process(QUILLMOOR_TWINRUN_EXE, env); }

  authoring::TempDir dir_{"twinrun-process"};
  std::string portal_ = (dir_ / "client_portal.dat").string();
  std::string cell_ = (dir_ / "client_cell_1.dat").string();
  std::string out_ = (dir_ / "out").string();
};

TEST_F(TwinrunProcessTest, NotFoundReports) {
  if (fallbacks_exist()) GTEST_SKIP() << "the built-in sample world exists; nothing is missing";
  const std::string no_portal = "Error: client_portal.dat not found in any candidate location\n";
  struct Case {
    const char* name;
    std::map<std::string, std::string> env;
    std::string err;
  };
  const Case cases[] = {
      {"no variables", {}, no_portal},
      {"portal variable names a missing path", {{"QUILLMOOR_PORTAL_DAT", portal_ + ".gone"}}, no_portal},
      {"empty portal variable", {{"QUILLMOOR_PORTAL_DAT", ""}, {"QUILLMOOR_CELL_DAT", cell_}}, no_portal},
      {"cell missing", {{"QUILLMOOR_PORTAL_DAT", portal_}},
       "Error: client_cell_1.dat not found in any candidate location\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = run(c.env);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, c.err);
  }
}

TEST_F(TwinrunProcessTest, DirectoryAsPortalPrintsTheBannerThenTheOpenReport) {
  const std::string dir = dir_.path().string();
  const Outcome o = run({{"QUILLMOOR_PORTAL_DAT", dir}, {"QUILLMOOR_CELL_DAT", cell_}, {"QUILLMOOR_DETERMINISM_OUT", out_}});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err,
            "twinrun: portal=" + dir + " cell=" + cell_ + "\n"
            "Error: open portal\n"
            "\n"
            "Caused by:\n"
            "    0: Binary read error: Is a directory (os error 21)\n"
            "       While parsing field 'magic' in DatHeader\n"
            "    1: Is a directory (os error 21)\n"
            "       While parsing field 'magic' in DatHeader\n"
            "    2: Is a directory (os error 21)\n");
}

TEST_F(TwinrunProcessTest, BothArchivesFoundPasses) {
  const Outcome o = run({{"QUILLMOOR_PORTAL_DAT", portal_}, {"QUILLMOOR_CELL_DAT", cell_}, {"QUILLMOOR_DETERMINISM_OUT", out_}});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err,
            "twinrun: portal=" + portal_ + " cell=" + cell_ + "\n"
            "twinrun: baking 13\u00D713 = 169 LBs (run 1)\n"
            "twinrun: baking 13\u00D713 = 169 LBs (run 2)\n"
            "twinrun: total placements = 1 across 169 LBs\n"
            "twinrun: PASS \u2014 all 169 LBs byte-identical across 2 runs\n");
  EXPECT_EQ(std::filesystem::file_size(dir_ / "out/run1/0xA3AE.scenery.jsonl"), 0u);
}

TEST_F(TwinrunProcessTest, UnopenablePortalReportsThePathError) {
  // A socket exists for the status query but cannot be opened as a file.
  const std::string socket_path = (dir_ / "portal.sock").string();
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(socket_path.size(), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, socket_path.c_str(), socket_path.size() + 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const Outcome o = run({{"QUILLMOOR_PORTAL_DAT", socket_path}, {"QUILLMOOR_CELL_DAT", cell_}});
  ::close(fd);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err,
            "twinrun: portal=" + socket_path + " cell=" + cell_ + "\n"
            "Error: open portal\n"
            "\n"
            "Caused by:\n"
            "    0: Failed to open file at " + socket_path + ": No such device or address (os error 6)\n"
            "    1: No such device or address (os error 6)\n");
}

}  // namespace
}  // namespace quillmoor
