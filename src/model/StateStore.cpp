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

std::filesystem::path StateStore::lockFile() const {
  std::filesystem::path lock = file_;
  lock += ".lock";
  return lock;
}

LoadResult StateStore::load() {
  unreadable_.reset();
  auto read = files_.readFile(file_, maxFileBytes);
  if (!read) {
    const ReadFailure& failure = read.error();
    if (failure.missing) {
      seen_ = Seen{};
      return {AppState::wowDefault(), LoadResult::Source::missing, {}};
    }
    seen_ = Seen{std::nullopt, failure.reason, failure.identity};
    unreadable_ = Unreadable{failure.identity};
    return {AppState::wowDefault(), LoadResult::Source::unreadable, failure.reason};
  }
  seen_ = Seen{read->text, {}, std::nullopt};
  auto decoded = decodeState(read->text);
  if (!decoded) {
    unreadable_ = Unreadable{read->identity};
    return {AppState::wowDefault(), LoadResult::Source::unreadable, decoded.error().describe()};
  }
  return {std::move(decoded).value(), LoadResult::Source::file, {}};
}

FileChange StateStore::readChange() {
  const std::optional<Seen> before = seen_;
  LoadResult now = load();
  return {seen_ != before, std::move(now)};
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
  // Held until the new file is in place, so no other saver sees the path in between.
  const auto lock = files_.lockExclusive(lockFile());
  if (!lock) return unexpected("could not lock the settings file: " + lock.error());
  SaveResult result;
  if (unreadable_) {
    // Another process may have saved since our read: its file is not the unreadable one.
    const bool stillThere = files_.identify(file_) == unreadable_->identity && files_.exists(file_);
    if (stillThere) {
      auto moved = moveUnreadableAside();
      if (!moved) return unexpected(moved.error());
      result.movedAside = moved.value();
      seen_ = Seen{};  // our own move: the path is empty now
    }
    unreadable_.reset();
  }
  if (auto written = files_.writeAtomically(file_, text); !written) {
    if (result.movedAside) {
      return unexpected(written.error() + " (the unreadable settings file was moved to " +
                        result.movedAside->string() + ")");
    }
    return unexpected(written.error());
  }
  seen_ = Seen{text, {}, std::nullopt};
  return result;
}

}  // namespace tandemo
