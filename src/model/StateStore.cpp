#include "model/StateStore.h"

#include <cstdlib>
#include <ctime>

namespace tandemo {
namespace {

std::string timestamp(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

StateStore::StateStore(FileSystem& files, std::filesystem::path file, Clock clock)
    : files_(files), file_(std::move(file)), clock_(std::move(clock)) {}

std::filesystem::path StateStore::defaultLocation() {
  std::filesystem::path base;
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG base directory rules say.
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".config";
  } else {
    base = ".config";
  }
  return base / "Tandemo" / "state.json";
}

LoadResult StateStore::load() {
  unreadableOnDisk_ = false;
  auto text = files_.readFile(file_);
  if (!text) {
    if (text.error().missing) return {AppState::wowDefault(), LoadResult::Source::missing, {}};
    unreadableOnDisk_ = true;
    return {AppState::wowDefault(), LoadResult::Source::unreadable, text.error().reason};
  }
  auto decoded = decodeState(*text);
  if (!decoded) {
    unreadableOnDisk_ = true;
    return {AppState::wowDefault(), LoadResult::Source::unreadable, decoded.error().describe()};
  }
  return {std::move(decoded).value(), LoadResult::Source::file, {}};
}

Expected<std::filesystem::path, std::string> StateStore::moveUnreadableAside() {
  const std::filesystem::path folder = file_.parent_path();
  const std::string stem = "state.unreadable-" + timestamp(clock_());
  std::filesystem::path target = folder / (stem + ".json");
  for (int n = 2; files_.exists(target); ++n) {
    target = folder / (stem + "-" + std::to_string(n) + ".json");
  }
  if (auto moved = files_.moveAside(file_, target); !moved) {
    return unexpected("could not move the unreadable settings file aside: " + moved.error());
  }
  return target;
}

Expected<SaveResult, std::string> StateStore::save(const AppState& state) {
  const std::string text = encodeState(state);
  if (auto made = files_.createDirectories(file_.parent_path()); !made) return unexpected(made.error());
  SaveResult result;
  if (unreadableOnDisk_ && files_.exists(file_)) {
    auto moved = moveUnreadableAside();
    if (!moved) return unexpected(moved.error());
    result.movedAside = moved.value();
  }
  unreadableOnDisk_ = false;
  if (auto written = files_.writeAtomically(file_, text); !written) {
    if (result.movedAside) {
      return unexpected(written.error() + " (the unreadable settings file was moved to " +
                        result.movedAside->string() + ")");
    }
    return unexpected(written.error());
  }
  return result;
}

}  // namespace tandemo
