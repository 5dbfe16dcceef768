#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Online.h"
#include "Tandemoctl.h"
#include "linux/MouseLock.h"

namespace tandemo::linux_platform {
namespace {

using namespace std::chrono_literals;

class MouseLockTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(folder); }
  void TearDown() override { std::filesystem::remove_all(folder); }
  MouseLockOptions options(std::string command, std::chrono::milliseconds wait = 0ms) const {
    MouseLockOptions result;
    result.file = folder / "run" / "mouse.lock";
    result.command = std::move(command);
    result.wait = wait;
    return result;
  }
  std::string content() const {
    std::ifstream in(folder / "run" / "mouse.lock");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::string busyText(const Expected<MouseLock, MouseLockError>& lock) {
    return lock ? "acquired" : describe(lock.error());
  }

  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
      ("tandemo-lock-" + std::to_string(::getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  const std::string pid = std::to_string(::getpid());
};

TEST_F(MouseLockTest, ASecondAcquirerWaitsThenNamesTheHolder) {
  std::optional<MouseLock> first;
  {
    auto lock = MouseLock::acquire(options("tandemoctl"));
    ASSERT_TRUE(lock);
    first.emplace(std::move(lock).value());
  }
  EXPECT_EQ(content(), pid + " tandemoctl\n");
  struct stat info {};
  ASSERT_EQ(::stat((folder / "run").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  // Waiting 120 ms in 50 ms steps: three pauses, the last one short, then the holder is named.
  std::vector<std::chrono::milliseconds> pauses;
  MouseLockOptions second = options("tandemo", 120ms);
  second.pause = [&](std::chrono::milliseconds step) { pauses.push_back(step); };
  EXPECT_EQ(busyText(MouseLock::acquire(second)), "the mouse is in use by tandemoctl (pid " + pid + ")");
  EXPECT_THAT(pauses, ::testing::ElementsAre(50ms, 50ms, 20ms));

  // Released during the wait: the next attempt gets it.
  pauses.clear();
  second.pause = [&](std::chrono::milliseconds step) {
    pauses.push_back(step);
    first.reset();
  };
  EXPECT_EQ(busyText(MouseLock::acquire(second)), "acquired");
  EXPECT_EQ(pauses.size(), 1u);
  EXPECT_EQ(content(), "");  // the name went with the lock
}

// A command run alone holds the lock for the real mouse; the virtual mouse is private to its command.
TEST_F(MouseLockTest, CommandsAloneTakeTheLockForTheRealMouseOnly) {
  MouseLockOptions holder = options("tandemoctl");
  holder.file = folder / "tandemo" / "mouse.lock";  // the default file under XDG_RUNTIME_DIR
  auto held = MouseLock::acquire(holder);
  ASSERT_TRUE(held);
  OnlineOptions online;
  online.command = OnlineOptions::Command::firmware;
  online.stateFile = (folder / "state.json").string();
  online.lockWait = 0ms;
  ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (folder / "no-bus").string()).c_str(), 1);
  std::ostringstream out, err;
  EXPECT_EQ(runOnline(online, out, err), 1);
  EXPECT_EQ(err.str(), "tandemoctl: the mouse is in use by tandemoctl (pid " + pid + ")\n");
  std::ostringstream simulatedOut, simulatedErr;
  EXPECT_EQ(runTandemoctl({"firmware", "--simulate", "--state", online.stateFile}, simulatedOut, simulatedErr), 0);
  EXPECT_EQ(simulatedOut.str(), "1.07\n");
}

// Another holder's text is read, never trusted: no pid yet, nonsense, or control characters.
TEST_F(MouseLockTest, HolderTextIsReadDefensively) {
  auto holder = MouseLock::acquire(options("tandemoctl"));
  ASSERT_TRUE(holder);
  const std::pair<std::string, std::string> cases[] = {
      {"", "another program"},
      {"12x4 tandemoctl\n", "another program"},
      {" tandemoctl\n", "another program"},
      {"42 \n", "a program (pid 42)"},
      {"42 evil\x1b[2Jname\n", "evil?[2Jname (pid 42)"},
  };
  for (const auto& [text, named] : cases) {
    std::ofstream(folder / "run" / "mouse.lock", std::ios::trunc) << text;
    EXPECT_EQ(busyText(MouseLock::acquire(options("x"))), "the mouse is in use by " + named) << text;
  }
}

// The lock's folder must be ours alone: a link or a folder others may write to is refused.
TEST_F(MouseLockTest, AnUntrustedFolderIsRefused) {
  std::filesystem::create_directories(folder / "elsewhere");
  std::filesystem::create_directory_symlink(folder / "elsewhere", folder / "run");
  const auto linked = MouseLock::acquire(options("tandemoctl"));
  ASSERT_FALSE(linked);
  EXPECT_EQ(describe(linked.error()), "cannot use the mouse lock: " + (folder / "run").string() + " is not a folder");
  std::filesystem::remove(folder / "run");
  std::filesystem::create_directory(folder / "run");
  std::filesystem::permissions(folder / "run", std::filesystem::perms::all);
  const auto open = MouseLock::acquire(options("tandemoctl"));
  ASSERT_FALSE(open);
  EXPECT_TRUE(std::holds_alternative<MouseLockUnusable>(open.error()));
}

TEST(MouseLockFile, LivesInTheRuntimeFolderElseInAPrivateTmpFolder) {
  ::setenv("XDG_RUNTIME_DIR", "/tmp", 1);
  EXPECT_EQ(MouseLock::defaultFile(), "/tmp/tandemo/mouse.lock");
  for (const char* unusable : {"", "relative", "/nonexistent-runtime"}) {
    ::setenv("XDG_RUNTIME_DIR", unusable, 1);
    EXPECT_EQ(MouseLock::defaultFile(), "/tmp/tandemo-" + std::to_string(::getuid()) + "/mouse.lock") << unusable;
  }
}

}  // namespace
}  // namespace tandemo::linux_platform
