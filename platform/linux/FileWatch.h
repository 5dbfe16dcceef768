#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/MainLoop.h"

namespace tandemo::linux_platform {

// Follows one file through an inotify watch on its folder, on the main loop: `changed` runs once
// per burst of events about that name (written, replaced, created, deleted, renamed, its mode
// changed, or events lost to a queue overflow), `settleSeconds` after the burst's first event.
// While the folder, or a folder above it, does not exist, the nearest existing ancestor is
// watched instead until the path is made again; nothing is created. A folder above the file's
// own that is renamed or deleted goes unnoticed until the file's folder itself changes.
// Main loop thread only.
class FileWatch {
 public:
  using Changed = std::function<void()>;
  using Failed = std::function<void(const std::string& reason)>;

  static constexpr double settleSeconds = 0.1;

  // `failed` is told, on the loop and never from the constructor, each time watching stops
  // working (no inotify, no permission, the system's watch limit); `changed` is then not called
  // again.
  FileWatch(MainLoop& loop, std::filesystem::path file, Changed changed, Failed failed = {});
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  // Why watching does not work; nothing while it does.
  const std::optional<std::string>& error() const { return error_; }
  // The folder watched now: the file's own, or its nearest existing ancestor.
  const std::filesystem::path& watchedFolder() const { return folder_; }
  // The inotify descriptor (a test on a virtual loop reports it readable by hand); -1 if none.
  int descriptor() const { return fd_; }

 private:
  void arm();
  void readEvents();
  void burst();
  void fail(std::string reason);

  MainLoop& loop_;
  std::filesystem::path file_;
  Changed changed_;
  Failed failed_;
  std::optional<std::string> error_;
  std::filesystem::path folder_;
  int fd_ = -1;
  int wd_ = -1;
  std::optional<MainLoop::WatchId> watch_;
  std::optional<MainLoop::TimerId> settle_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tandemo::linux_platform
