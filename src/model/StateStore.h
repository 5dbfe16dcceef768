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
// is never silently destroyed. Saves from all processes are serialised by a lock file beside
// the settings file, and only the very file found unreadable is moved aside.
class StateStore {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // Larger files are unreadable: no settings file comes near it.
  static constexpr std::size_t maxFileBytes = 16 * 1024 * 1024;

  StateStore(FileSystem& files, std::filesystem::path file, Clock clock = std::chrono::system_clock::now);

  // $XDG_CONFIG_HOME/Tandemo/state.json, else ~/.config/Tandemo/state.json.
  static std::filesystem::path defaultLocation();

  const std::filesystem::path& file() const { return file_; }
  // "state.json.lock" beside the file.
  std::filesystem::path lockFile() const;

  LoadResult load();
  [[nodiscard]] Expected<SaveResult, std::string> save(const AppState& state);

 private:
  Expected<std::filesystem::path, std::string> moveUnreadableAside();

  FileSystem& files_;
  std::filesystem::path file_;
  Clock clock_;
  // Set by a load that found the file unreadable: what the path named then, if it could be seen.
  struct Unreadable {
    std::optional<FileIdentity> identity;
  };
  std::optional<Unreadable> unreadableAtLoad_;
};

}  // namespace tandemo
