#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <iterator>

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
  const LoadResult reloaded = StateStore(files, settings, march5).load();
  EXPECT_EQ(reloaded.source, Source::file);
  EXPECT_EQ(reloaded.state, customState());
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

TEST(PosixFileSystem, AtomicOwnerOnlyReplaceRecreatedFolderAndMovesThatNeverReplace) {
  struct TempFolder {
    std::string path = (fs::temp_directory_path() / "tandemo-store-XXXXXX").string();
    ~TempFolder() { fs::remove_all(path); }
  } temp;
  ASSERT_NE(::mkdtemp(temp.path.data()), nullptr);
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
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);  // no temporary files left
  EXPECT_EQ(StateStore(files, file, march5).load().state, customState());

  EXPECT_TRUE(files.readFile(root / "none").error().missing);
  EXPECT_FALSE(files.readFile(folder).error().missing);  // exists, but is no file
  EXPECT_FALSE(files.writeAtomically(folder, "x"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);  // a failed write leaves no temporary file
  ASSERT_TRUE(files.writeAtomically(root / "a", "A"));
  EXPECT_FALSE(files.moveAside(root / "a", file));
  EXPECT_EQ(*files.readFile(file), encodeState(customState()));
}

}  // namespace
