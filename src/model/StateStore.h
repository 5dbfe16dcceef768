#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "model/AppState.h"
#include "model/FileSystem.h"
#include "model/StateCodec.h"

namespace tandemo {

// Where loading the settings file ended up.
struct LoadResult {
  AppState state;
  enum class Source { file, missing, unreadable } source = Source::missing;
  // Why the file could not be used (read error or decoding error), for source == unreadable.
  std::string problem;
};

struct SaveResult {
  // Where an unreadable settings file was moved before this save replaced it.
  std::optional<std::filesystem::path> movedAside;
};

// Reads and writes the one settings file. Loading never writes; the first save after a load
// that found an unreadable file first moves that file aside, so a typo or a newer build's file
// is never silently destroyed.
class StateStore {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  StateStore(FileSystem& files, std::filesystem::path file, Clock clock = std::chrono::system_clock::now);

  // $XDG_CONFIG_HOME/Tandemo/state.json, else ~/.config/Tandemo/state.json.
  static std::filesystem::path defaultLocation();

  const std::filesystem::path& file() const { return file_; }

  LoadResult load();
  [[nodiscard]] Expected<SaveResult, std::string> save(const AppState& state);

 private:
  Expected<std::filesystem::path, std::string> moveUnreadableAside();

  FileSystem& files_;
  std::filesystem::path file_;
  Clock clock_;
  bool unreadableOnDisk_ = false;
};

}  // namespace tandemo
