#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <latch>
#include <thread>

#include "linux/PosixFileSystem.h"
#include "model/StateStore.h"
#include "sim/FakeServices.h"

namespace {

using namespace tandemo;
namespace fs = std::filesystem;
using Source = LoadResult::Source;

const fs::path settings = "/home/u/.config/Tandemo/state.json";
const fs::path aside = "/home/u/.config/Tandemo/state.unreadable-20240305-140709.json";

// 5 March 2024, 14:07:09 on the local clock.
std::chrono::system_clock::time_point march5() {
  std::tm t{};
  t.tm_year = 124; t.tm_mon = 2; t.tm_mday = 5; t.tm_hour = 14; t.tm_min = 7; t.tm_sec = 9; t.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

AppState customState() {
  AppState s;  // no profiles, so no random ids
  s.hardware.dpi1 = 3200;
  return s;
}

TEST(StateStore, MissingFileGivesTheDefaultAndOnlySaveWritesIt) {
  sim::MemoryFileSystem files;
  StateStore store(files, settings, march5);
  const LoadResult loaded = store.load();
  EXPECT_EQ(loaded.source, Source::missing);
  EXPECT_EQ(loaded.state.hardware, AppState::wowDefault().hardware);
  EXPECT_TRUE(files.files().empty());
  EXPECT_EQ(store.save(customState()).value().movedAside, std::nullopt);
  EXPECT_EQ(files.content(settings), encodeState(customState()));
}

TEST(StateStore, UndecodableFileIsMovedAsideOnTheFirstSaveAndFailuresKeepTheFile) {
  sim::MemoryFileSystem files;
  files.put(settings, "not json");
  StateStore store(files, settings, march5);
  const LoadResult loaded = store.load();
  EXPECT_EQ(loaded.source, Source::unreadable);
  EXPECT_FALSE(loaded.problem.empty());
  files.failMoves("Permission denied");
  EXPECT_NE(store.save(customState()).error().find("Permission denied"), std::string::npos);
  EXPECT_EQ(files.writeCount(), 0);
  files.failMoves(std::nullopt);  // the next save tries again
  EXPECT_EQ(store.save(customState()).value().movedAside, aside);
  EXPECT_EQ(files.content(aside), "not json");
  EXPECT_EQ(store.save(AppState{}).value().movedAside, std::nullopt);  // the first save only
  files.failWrites("disk full");
  EXPECT_NE(store.save(customState()).error().find("disk full"), std::string::npos);
  EXPECT_EQ(files.content(settings), encodeState(AppState{}));
  EXPECT_EQ(files.files().size(), 2u);
  EXPECT_EQ(files.locksHeld(), 0);
  EXPECT_EQ(files.lockCount(), 4);  // every save, failed or not, ran under the lock
}

// Another process saved between our load and our save: its good file is replaced, not moved aside.
TEST(StateStore, OnlyTheFileFoundUnreadableIsMovedAside) {
  sim::MemoryFileSystem files;
  files.put(settings, "not json");
  StateStore store(files, settings, march5);
  EXPECT_EQ(store.load().source, Source::unreadable);
  files.put(settings, encodeState(AppState{}));
  EXPECT_EQ(store.save(customState()).value().movedAside, std::nullopt);
  EXPECT_EQ(files.files().size(), 1u);
  EXPECT_EQ(files.content(settings), encodeState(customState()));
}

TEST(StateStore, UnreadableFileIsMovedAsideBesideEarlierOnes) {
  sim::MemoryFileSystem files;
  files.put(settings, "{}");
  files.put(aside, "older");
  files.put(aside.parent_path() / "state.unreadable-20240305-140709-2.json", "older still");
  files.failReads("Permission denied");
  StateStore store(files, settings, march5);
  EXPECT_EQ(store.load().source, Source::unreadable);
  const auto saved = store.save(customState());
  EXPECT_EQ(saved.value().movedAside, aside.parent_path() / "state.unreadable-20240305-140709-3.json");
  EXPECT_EQ(files.content(aside), "older");
}

struct TempFolder {
  std::string path = (fs::temp_directory_path() / "tandemo-store-XXXXXX").string();
  TempFolder() {
    if (::mkdtemp(path.data()) == nullptr) std::abort();
  }
  ~TempFolder() { fs::remove_all(path); }
};

TEST(PosixFileSystem, AtomicOwnerOnlyReplaceRecreatedFolderAndMovesThatNeverReplace) {
  TempFolder temp;
  linux_platform::PosixFileSystem files;
  const fs::path root = temp.path, folder = root / "Tandemo", file = folder / "state.json";
  StateStore store(files, file, march5);
  ASSERT_TRUE(store.save(AppState::wowDefault()));
  fs::remove_all(folder);  // the user deletes the folder while the application runs
  ASSERT_TRUE(store.save(AppState::wowDefault()));
  ::chmod(file.c_str(), 0644);
  ASSERT_TRUE(store.save(customState()));
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // Only the file and its lock: no temporary files left.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2);
  EXPECT_TRUE(fs::exists(store.lockFile()));
  EXPECT_EQ(StateStore(files, file, march5).load().state, customState());

  EXPECT_TRUE(files.readFile(root / "none", 100).error().missing);
  EXPECT_FALSE(files.writeAtomically(folder, "x"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2);  // a failed write leaves no temporary file
  ASSERT_TRUE(files.writeAtomically(root / "a", "A"));
  EXPECT_FALSE(files.moveAside(root / "a", file));
  EXPECT_EQ(files.readFile(file, StateStore::maxFileBytes)->text, encodeState(customState()));
}

// Nothing but a regular file is read, and opening one never blocks (a FIFO would block a plain
// open for good, /dev/zero would be read until memory runs out).
TEST(PosixFileSystem, OnlyRegularFilesOfBoundedSizeAreRead) {
  TempFolder temp;
  const fs::path root = temp.path;
  ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", root / "zero");
  fs::create_directory(root / "folder");
  fs::create_symlink(root / "fifo", root / "to-fifo");
  std::ofstream(root / "huge").put('x');
  fs::resize_file(root / "huge", StateStore::maxFileBytes + 1);
  const std::pair<const char*, const char*> cases[] = {
      {"fifo", "it is a FIFO (named pipe), not a regular file"},
      {"zero", "it is a symbolic link to a character device, not a regular file"},
      {"folder", "it is a folder, not a regular file"},
      {"to-fifo", "it is a symbolic link to a FIFO (named pipe), not a regular file"},
      {"huge", "it is larger than the 16777216 bytes a settings file may have"},
  };
  linux_platform::PosixFileSystem files;
  for (const auto& [name, reason] : cases) {
    StateStore store(files, root / name, march5);
    const LoadResult loaded = store.load();
    EXPECT_EQ(loaded.source, Source::unreadable) << name;
    EXPECT_EQ(loaded.problem, "cannot read " + (root / name).string() + ": " + reason);
  }
  // A file of exactly the limit is read, as a state file at most.
  fs::resize_file(root / "huge", StateStore::maxFileBytes);
  EXPECT_EQ(files.readFile(root / "huge", StateStore::maxFileBytes)->text.size(), StateStore::maxFileBytes);
}

// Twenty savers start from one unreadable file, each with its own store, all loading before any
// saves: the file is moved aside exactly once, and no good file is.
TEST(PosixFileSystem, ConcurrentSaversMoveOnlyTheUnreadableFileAside) {
  TempFolder temp;
  const fs::path folder = fs::path(temp.path) / "Tandemo", file = folder / "state.json";
  fs::create_directory(folder);
  std::ofstream(file) << "garbage\n";
  constexpr int savers = 20;
  linux_platform::PosixFileSystem files;
  std::latch loaded(savers);
  std::vector<std::string> failures(savers);
  std::vector<std::thread> threads;
  for (int i = 0; i < savers; ++i) {
    threads.emplace_back([&, i] {
      StateStore store(files, file, march5);
      const bool unreadable = store.load().source == Source::unreadable;
      loaded.arrive_and_wait();
      AppState state = customState();
      state.hardware.dpi2 = i;
      const auto saved = store.save(state);
      std::string& failure = failures[static_cast<std::size_t>(i)];
      if (!unreadable) failure = "the load did not find the file unreadable";
      if (!saved) failure = saved.error();
    });
  }
  for (std::thread& t : threads) t.join();
  for (const std::string& failure : failures) EXPECT_EQ(failure, "");
  std::vector<fs::path> movedFiles;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with("state.unreadable-")) movedFiles.push_back(entry.path());
  }
  ASSERT_EQ(movedFiles.size(), 1u);
  EXPECT_EQ(files.readFile(movedFiles[0], 100)->text, "garbage\n");
  EXPECT_EQ(StateStore(files, file, march5).load().source, Source::file);
}

}  // namespace
