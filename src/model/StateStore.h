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

// What the settings file holds now, and whether that differs from what the store last read or
// wrote there. A missing file is content like any other.
struct FileChange {
  bool changed = false;
  LoadResult now;
};

struct SaveResult {
  // Where an unreadable settings file was moved before this save replaced it.
  std::optional<std::filesystem::path> movedAside;
};

// Reads and writes the one settings file. Reading never writes; the first save after a read
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
  // Reads the file as load() does. `changed` is false when it holds exactly what this store last
  // read or wrote there (its own save, or an edit already seen), so a watch can tell those apart.
  FileChange readChange();
  [[nodiscard]] Expected<SaveResult, std::string> save(const AppState& state);

 private:
  // What the path showed when last read or written: its bytes, or why there were none (empty for
  // a missing file) with what it named then.
  struct Seen {
    std::optional<std::string> text;
    std::string failure;
    std::optional<FileIdentity> identity;
    bool operator==(const Seen&) const = default;
  };

  Expected<std::filesystem::path, std::string> moveUnreadableAside();

  FileSystem& files_;
  std::filesystem::path file_;
  Clock clock_;
  std::optional<Seen> seen_;
  // Set by a read that found the file unreadable: what the path named then, if it could be seen.
  struct Unreadable {
    std::optional<FileIdentity> identity;
  };
  std::optional<Unreadable> unreadable_;
};

}  // namespace tandemo
