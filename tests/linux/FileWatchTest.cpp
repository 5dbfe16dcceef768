#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "controller/Controller.h"
#include "core/VirtualLoop.h"
#include "linux/FileWatch.h"
#include "linux/PollLoop.h"
#include "linux/PosixFileSystem.h"
#include "model/StateCodec.h"
#include "sim/SimulatedDesktop.h"

namespace tandemo::linux_platform {
namespace {

namespace fs = std::filesystem;

struct TempFolder {
  std::string path = (fs::temp_directory_path() / "tandemo-watch-XXXXXX").string();
  TempFolder() {
    if (::mkdtemp(path.data()) == nullptr) std::abort();
  }
  ~TempFolder() { fs::remove_all(path); }
};

void write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::trunc) << text; }

// As an editor saves: a new file beside it, renamed over it.
void replace(const fs::path& path, const std::string& text) {
  write(fs::path(path) += "~", text);
  fs::rename(fs::path(path) += "~", path);
}

// The watch on a virtual loop: the kernel queues inotify events during the file operation
// itself, so reporting the descriptor readable afterwards stands in for poll(2).
class FileWatchTest : public ::testing::Test {
 protected:
  void start(const fs::path& file) {
    watch = std::make_unique<FileWatch>(loop, file, [this] { ++calls; });
    ASSERT_FALSE(watch->error()) << *watch->error();
  }
  // Calls made for what happened since the last settle.
  int settle() {
    const int before = calls;
    loop.notifyReadable(watch->descriptor());
    loop.advance(seconds(FileWatch::settleSeconds));
    return calls - before;
  }

  TempFolder temp;
  const fs::path root = temp.path;
  VirtualLoop loop;
  int calls = 0;
  std::unique_ptr<FileWatch> watch;
};

TEST_F(FileWatchTest, OneCallPerBurstAboutTheFileAndNoneForItsNeighbours) {
  const fs::path file = root / "state.json";
  write(file, "{}");
  start(file);
  struct Case {
    const char* what;
    std::function<void()> act;
    int calls;
  };
  const Case cases[] = {
      {"nothing", [] {}, 0},
      {"neighbours", [&] { replace(root / "other.json", "x"); write(root / "state.json.lock", ""); }, 0},
      {"written in place", [&] { write(file, "{ }"); }, 1},
      {"an editor's save", [&] { replace(file, "{}"); }, 1},
      {"mode changed", [&] { fs::permissions(file, fs::perms::owner_read); }, 1},
      {"deleted", [&] { fs::remove(file); }, 1},
      {"a symbolic link", [&] { fs::create_symlink(root / "other.json", file); }, 1},
      {"a folder instead", [&] { fs::remove(file); fs::create_directory(file); }, 1},
      {"moved away", [&] { fs::rename(file, root / "elsewhere"); }, 1},
      {"a FIFO", [&] { ::mkfifo(file.c_str(), 0600); }, 1},
  };
  for (const Case& c : cases) {
    c.act();
    EXPECT_EQ(settle(), c.calls) << c.what;
  }

  // The call comes a settling time after the burst's first event, also amid further events.
  const int before = calls;
  fs::remove(file);
  loop.notifyReadable(watch->descriptor());
  loop.advance(seconds(0.09));
  write(file, "{}");
  loop.notifyReadable(watch->descriptor());
  EXPECT_EQ(calls, before);
  loop.advance(seconds(0.01));
  EXPECT_EQ(calls, before + 1);
  EXPECT_EQ(settle(), 0);
}

// Nothing is created for the watch: it waits on the nearest existing folder and moves down as
// the folders appear, and back up when they go.
TEST_F(FileWatchTest, FollowsTheFileThroughFoldersThatDoNotExistYetOrGoAway) {
  const fs::path file = root / "config" / "Tandemo" / "state.json";
  start(file);
  EXPECT_EQ(watch->watchedFolder(), root);
  EXPECT_FALSE(fs::exists(root / "config"));
  fs::create_directory(root / "config");
  EXPECT_EQ(settle(), 0);
  EXPECT_EQ(watch->watchedFolder(), root / "config");
  fs::create_directory(root / "config" / "Tandemo");
  EXPECT_EQ(settle(), 1);  // the file may have come with its folder
  EXPECT_EQ(watch->watchedFolder(), file.parent_path());
  write(file, "{}");
  EXPECT_EQ(settle(), 1);

  fs::remove_all(root / "config");
  EXPECT_EQ(settle(), 1);
  EXPECT_EQ(watch->watchedFolder(), root);
  fs::create_directories(file.parent_path());  // two levels at once
  write(file, "{}");
  EXPECT_EQ(settle(), 1);
  EXPECT_EQ(watch->watchedFolder(), file.parent_path());
  fs::rename(file.parent_path(), root / "config" / "Old");
  EXPECT_EQ(settle(), 1);
  EXPECT_EQ(watch->watchedFolder(), root / "config");
}

TEST(FileWatch, FailuresAreToldOnTheLoopAndTheRealPollLoopDeliversEvents) {
  PollLoop loop;
  std::optional<std::string> failure;
  FileWatch broken(loop, "", [] {}, [&](const std::string& reason) { failure = reason; });
  EXPECT_TRUE(broken.error());
  EXPECT_FALSE(failure);  // not from the constructor
  TempFolder temp;
  const fs::path file = fs::path(temp.path) / "state.json";
  FileWatch watch(loop, file, [&] { loop.quit(); });
  loop.post([&] { replace(file, "{}"); });
  bool timedOut = false;
  const auto guard = loop.startTimer(seconds(10), [&] { timedOut = true, loop.quit(); });
  loop.run();
  loop.cancelTimer(guard);
  EXPECT_FALSE(timedOut) << "the change was not delivered";
  EXPECT_EQ(failure, broken.error());
}

// The watch and the controller on real files: the app's own saves pass unnoticed, an editor's
// save is taken in, a folder or a dangling link put in the file's place is ignored and then moved
// aside by the next change, a link to a good file is read through.
TEST(SettingsFileWatch, ControllerFollowsEditsOfTheRealFile) {
  TempFolder temp;
  const fs::path folder = fs::path(temp.path) / "Tandemo", file = folder / "state.json";
  VirtualLoop loop;
  sim::SimulatedDesktop desktop(loop, false);
  PosixFileSystem files;
  StateStore store(files, file);
  Controller c(desktop.services(loop, store));
  FileWatch watch(loop, file, [&] { c.settingsFileChanged(); });
  const auto settle = [&] {
    loop.notifyReadable(watch.descriptor());
    loop.advance(seconds(1));
  };
  const auto change = [&](int dpi) {
    AppState next = c.state();
    next.hardware.dpi1 = dpi;
    c.setState(next);
    settle();
  };
  const auto reads = [&] { return files.readFile(file, StateStore::maxFileBytes).value().text; };
  const auto lines = [&] { return std::vector<std::string>(c.log().begin(), c.log().end()); };

  change(1000);  // makes the folder and the file
  change(1100);
  EXPECT_TRUE(lines().empty());
  AppState edited = c.state();
  edited.autoSwitch = false;
  replace(file, encodeState(edited));
  settle();
  EXPECT_EQ(c.state(), edited);
  EXPECT_EQ(reads(), encodeState(edited));  // not saved back
  EXPECT_EQ(lines().size(), 1u);

  fs::remove(file);
  fs::create_directory(file);
  std::ofstream(file / "note") << "mine";
  settle();
  EXPECT_EQ(lines().back(), "09:05:03  Ignored an unreadable edit of the settings file: cannot read " +
                                file.string() + ": it is a folder, not a regular file");
  change(1200);
  EXPECT_EQ(decodeState(reads()).value(), c.state());
  fs::path aside;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with("state.unreadable-")) aside = entry.path();
  }
  EXPECT_EQ(lines().back(), "09:05:03  Moved the unreadable settings file to " + aside.string());
  EXPECT_EQ(files.readFile(aside / "note", 10).value().text, "mine");

  fs::remove(file);
  fs::create_symlink(folder / "gone.json", file);
  settle();
  EXPECT_EQ(lines().back(), "09:05:03  Ignored an unreadable edit of the settings file: cannot read " +
                                file.string() + ": it is a symbolic link to " + (folder / "gone.json").string() +
                                ", which does not exist");
  change(1300);
  EXPECT_EQ(decodeState(reads()).value().hardware.dpi1, 1300);
  EXPECT_FALSE(fs::is_symlink(file));

  edited.hardware.dpi1 = 1400;
  write(fs::path(temp.path) / "kept.json", encodeState(edited));
  fs::remove(file);
  fs::create_symlink(fs::path(temp.path) / "kept.json", file);
  settle();
  EXPECT_EQ(c.state(), edited);
  change(1500);  // the save replaces the link, never the file it points to
  EXPECT_FALSE(fs::is_symlink(file));
  EXPECT_EQ(decodeState(files.readFile(fs::path(temp.path) / "kept.json", StateStore::maxFileBytes)->text)
                ->hardware.dpi1,
            1400);
  EXPECT_EQ(std::ranges::count_if(lines(), [](const std::string& l) { return l.find("Reloaded") != l.npos; }), 2);
}

}  // namespace
}  // namespace tandemo::linux_platform
