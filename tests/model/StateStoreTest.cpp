#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "linux/PosixFileSystem.h"
#include "model/StateStore.h"

namespace {

using namespace tandemo;
namespace fs = std::filesystem;
using Source = LoadResult::Source;

// Files in memory, with switches that make single operations fail.
class MemoryFileSystem final : public FileSystem {
 public:
  std::map<fs::path, std::string> files;
  std::set<fs::path> unreadable;  // present, but reading fails
  bool failMove = false;
  bool failWrite = false;
  int writes = 0;
  int moves = 0;

  Expected<std::string, ReadFailure> readFile(const fs::path& path) override {
    if (unreadable.count(path)) return unexpected(ReadFailure{false, "permission denied"});
    const auto it = files.find(path);
    if (it == files.end()) return unexpected(ReadFailure{true, "no such file"});
    return it->second;
  }
  Expected<void, std::string> writeAtomically(const fs::path& path, std::string_view bytes) override {
    if (failWrite) return unexpected(std::string("disk full"));
    ++writes;
    files[path] = std::string(bytes);
    unreadable.erase(path);
    return {};
  }
  Expected<void, std::string> moveAside(const fs::path& from, const fs::path& to) override {
    if (failMove || !exists(from) || exists(to)) return unexpected(std::string("cannot move"));
    ++moves;
    files[to] = files[from];
    files.erase(from);
    if (unreadable.erase(from)) unreadable.insert(to);
    return {};
  }
  bool exists(const fs::path& path) override { return files.count(path) > 0; }
  Expected<void, std::string> createDirectories(const fs::path&) override { return {}; }
};

const fs::path settings = "/home/u/.config/Tandemo/state.json";

// 5 March 2024, 14:07:09 on the local clock.
std::chrono::system_clock::time_point march5() {
  std::tm local{};
  local.tm_year = 124;
  local.tm_mon = 2;
  local.tm_mday = 5;
  local.tm_hour = 14;
  local.tm_min = 7;
  local.tm_sec = 9;
  local.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

const fs::path asideName = "/home/u/.config/Tandemo/state.unreadable-20240305-140709.json";

const AppState& customState() {
  static const AppState state = [] {
    AppState s = AppState::wowDefault();
    s.hardware.dpi1 = 3200;
    s.profiles.pop_back();
    return s;
  }();
  return state;
}

TEST(StateStore, MissingFileGivesTheDefaultAndWritesNothing) {
  MemoryFileSystem files;
  StateStore store(files, settings, march5);
  const LoadResult loaded = store.load();
  EXPECT_EQ(loaded.source, Source::missing);
  EXPECT_EQ(loaded.state.profiles.size(), 2u);
  EXPECT_EQ(loaded.state.hardware, AppState::wowDefault().hardware);
  EXPECT_EQ(files.writes, 0);
  EXPECT_TRUE(files.files.empty());

  const auto saved = store.save(loaded.state);
  ASSERT_TRUE(saved) << saved.error();
  EXPECT_EQ(saved->movedAside, std::nullopt);
  EXPECT_EQ(files.files.at(settings), encodeState(loaded.state));
}

TEST(StateStore, SavedStateLoadsBack) {
  MemoryFileSystem files;
  StateStore store(files, settings, march5);
  ASSERT_TRUE(store.save(customState()));
  const LoadResult loaded = StateStore(files, settings, march5).load();
  EXPECT_EQ(loaded.source, Source::file);
  EXPECT_EQ(loaded.state, customState());
}

TEST(StateStore, UndecodableFileIsMovedAsideOnTheFirstSaveOnly) {
  MemoryFileSystem files;
  files.files[settings] = "{\"autoSwitch\": tru";
  StateStore store(files, settings, march5);
  const LoadResult loaded = store.load();
  EXPECT_EQ(loaded.source, Source::unreadable);
  EXPECT_FALSE(loaded.problem.empty());
  EXPECT_EQ(files.moves, 0);  // loading never touches the file

  const auto first = store.save(customState());
  ASSERT_TRUE(first) << first.error();
  EXPECT_EQ(first->movedAside, asideName);
  EXPECT_EQ(files.files.at(asideName), "{\"autoSwitch\": tru");
  EXPECT_EQ(files.files.at(settings), encodeState(customState()));

  const auto second = store.save(AppState::wowDefault());
  ASSERT_TRUE(second) << second.error();
  EXPECT_EQ(second->movedAside, std::nullopt);
  EXPECT_EQ(files.moves, 1);
}

TEST(StateStore, UnreadableFileIsMovedAsideBesideEarlierOnes) {
  MemoryFileSystem files;
  files.files[settings] = "{}";
  files.unreadable.insert(settings);
  files.files[asideName] = "older";
  files.files["/home/u/.config/Tandemo/state.unreadable-20240305-140709-2.json"] = "older still";
  StateStore store(files, settings, march5);
  EXPECT_EQ(store.load().source, Source::unreadable);

  const auto saved = store.save(customState());
  ASSERT_TRUE(saved) << saved.error();
  EXPECT_EQ(saved->movedAside, "/home/u/.config/Tandemo/state.unreadable-20240305-140709-3.json");
  EXPECT_EQ(files.files.at(asideName), "older");
}

TEST(StateStore, FailedMoveFailsTheSaveAndKeepsTheFile) {
  MemoryFileSystem files;
  files.files[settings] = "not json";
  StateStore store(files, settings, march5);
  EXPECT_EQ(store.load().source, Source::unreadable);

  files.failMove = true;
  const auto failed = store.save(customState());
  ASSERT_FALSE(failed);
  EXPECT_FALSE(failed.error().empty());
  EXPECT_EQ(files.files.at(settings), "not json");
  EXPECT_EQ(files.writes, 0);

  files.failMove = false;  // the next save tries again
  const auto saved = store.save(customState());
  ASSERT_TRUE(saved) << saved.error();
  EXPECT_EQ(saved->movedAside, asideName);
  EXPECT_EQ(files.files.at(asideName), "not json");
}

TEST(StateStore, FailedWriteReportsTheReasonAndKeepsTheOldFile) {
  MemoryFileSystem files;
  StateStore store(files, settings, march5);
  ASSERT_TRUE(store.save(customState()));
  files.failWrite = true;
  const auto failed = store.save(AppState::wowDefault());
  ASSERT_FALSE(failed);
  EXPECT_NE(failed.error().find("disk full"), std::string::npos);
  EXPECT_EQ(files.files.at(settings), encodeState(customState()));
}

// The same store over the real file system, in a folder of its own.
class PosixStateStore : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tandemo-store-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    folder_ = root_ / "Tandemo";
    file_ = folder_ / "state.json";
  }
  void TearDown() override { fs::remove_all(root_); }

  std::set<std::string> namesInFolder() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) names.insert(entry.path().filename().string());
    return names;
  }

  linux_platform::PosixFileSystem files_;
  fs::path root_, folder_, file_;
};

TEST_F(PosixStateStore, SaveCreatesTheFolderAndReplacesTheFileWithOwnerOnlyAccess) {
  StateStore store(files_, file_, march5);
  ASSERT_TRUE(store.save(AppState::wowDefault()));
  fs::remove_all(folder_);  // the user deletes the folder while the application runs
  ASSERT_TRUE(store.save(AppState::wowDefault()));

  ::chmod(file_.c_str(), 0644);
  ASSERT_TRUE(store.save(customState()));
  struct stat info {};
  ASSERT_EQ(::stat(file_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(namesInFolder(), std::set<std::string>{"state.json"});  // no temporary files left
  EXPECT_EQ(*files_.readFile(file_), encodeState(customState()));
  EXPECT_EQ(StateStore(files_, file_, march5).load().state, customState());
}

TEST_F(PosixStateStore, UndecodableFileIsMovedAsideNextToTheNewOne) {
  fs::create_directories(folder_);
  ASSERT_TRUE(files_.writeAtomically(file_, "{\"version\": 99}"));
  StateStore store(files_, file_, march5);
  EXPECT_EQ(store.load().source, Source::unreadable);
  const auto saved = store.save(customState());
  ASSERT_TRUE(saved) << saved.error();
  EXPECT_EQ(saved->movedAside, folder_ / "state.unreadable-20240305-140709.json");
  EXPECT_EQ(namesInFolder(), (std::set<std::string>{"state.json", "state.unreadable-20240305-140709.json"}));
  EXPECT_EQ(*files_.readFile(folder_ / "state.unreadable-20240305-140709.json"), "{\"version\": 99}");
}

TEST_F(PosixStateStore, FileSystemPrimitives) {
  fs::create_directories(folder_);
  const auto missing = files_.readFile(file_);
  ASSERT_FALSE(missing);
  EXPECT_TRUE(missing.error().missing);
  const auto folderRead = files_.readFile(folder_);  // exists, but is no file
  ASSERT_FALSE(folderRead);
  EXPECT_FALSE(folderRead.error().missing);

  // A failed write leaves no temporary file behind.
  fs::create_directories(folder_ / "blocked");
  EXPECT_FALSE(files_.writeAtomically(folder_ / "blocked", "x"));
  EXPECT_EQ(namesInFolder(), std::set<std::string>{"blocked"});

  // Moving aside never replaces what is already there.
  ASSERT_TRUE(files_.writeAtomically(folder_ / "a", "A"));
  ASSERT_TRUE(files_.writeAtomically(folder_ / "b", "B"));
  EXPECT_FALSE(files_.moveAside(folder_ / "a", folder_ / "b"));
  EXPECT_EQ(*files_.readFile(folder_ / "a"), "A");
  EXPECT_EQ(*files_.readFile(folder_ / "b"), "B");
}

}  // namespace
