#include "linux/FileWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>

namespace tandemo::linux_platform {
namespace {

// What may change what the file's name holds; our own temporary files have other names.
constexpr std::uint32_t kFileEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_ATTRIB;
// An ancestor only matters when the next folder down appears in it.
constexpr std::uint32_t kAncestorEvents = IN_CREATE | IN_MOVED_TO;
constexpr std::uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF;

std::string describe(int error, const std::filesystem::path& folder) {
  if (error == ENOSPC) return "the system's limit of inotify watches is reached (fs.inotify.max_user_watches)";
  if (error == EMFILE) return "the system's limit of inotify instances is reached (fs.inotify.max_user_instances)";
  return "cannot watch " + folder.string() + ": " + std::strerror(error);
}

}  // namespace

FileWatch::FileWatch(MainLoop& loop, std::filesystem::path file, Changed changed, Failed failed)
    : loop_(loop), changed_(std::move(changed)), failed_(std::move(failed)) {
  std::error_code error;
  file_ = std::filesystem::absolute(file, error).lexically_normal();
  if (error || !file_.has_filename()) {
    fail("cannot watch " + file.string() + ": not a file's path");
    return;
  }
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) {
    fail(describe(errno, file_.parent_path()));
    return;
  }
  watch_ = loop_.watchReadable(fd_, [this] { readEvents(); });
  arm();
}

FileWatch::~FileWatch() {
  alive_.reset();
  if (settle_) loop_.cancelTimer(*settle_);
  if (watch_) loop_.unwatch(*watch_);
  if (fd_ >= 0) ::close(fd_);
}

// Watches the file's folder, or the nearest ancestor that exists, replacing the watch before.
void FileWatch::arm() {
  const std::filesystem::path parent = file_.parent_path();
  for (std::filesystem::path folder = parent;; folder = folder.parent_path()) {
    const std::uint32_t mask = (folder == parent ? kFileEvents : kAncestorEvents) | kSelfEvents | IN_ONLYDIR;
    const int wd = ::inotify_add_watch(fd_, folder.c_str(), mask);
    if (wd >= 0) {
      if (wd_ >= 0 && wd_ != wd) ::inotify_rm_watch(fd_, wd_);
      wd_ = wd;
      folder_ = folder;
      return;
    }
    const int error = errno;
    const bool absent = error == ENOENT || error == ENOTDIR;
    if (!absent || folder == folder.parent_path()) return fail(describe(error, folder));
  }
}

void FileWatch::readEvents() {
  alignas(inotify_event) char buffer[4096];
  bool relevant = false;
  bool rearm = false;
  const bool atParent = folder_ == file_.parent_path();
  const std::string name = file_.filename().string();
  for (;;) {
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) break;
    if (got < 0) return fail("cannot read file events: " + std::string(std::strerror(errno)));
    if (got == 0) break;
    for (std::size_t at = 0; at + sizeof(inotify_event) <= static_cast<std::size_t>(got);) {
      inotify_event event;
      std::memcpy(&event, buffer + at, sizeof event);
      const char* eventName = buffer + at + sizeof event;
      at += sizeof event + event.len;
      if (event.mask & IN_Q_OVERFLOW) {
        // Events were lost: anything may have happened, to the file or to its folder.
        relevant = rearm = true;
      } else if (event.wd != wd_) {
        continue;  // a watch replaced before
      } else if (event.mask & (kSelfEvents | IN_IGNORED)) {
        relevant = rearm = true;
      } else if (!atParent) {
        rearm = true;  // a folder on the way down may have appeared
      } else if (event.len > 0 && std::string_view(eventName, ::strnlen(eventName, event.len)) == name) {
        relevant = true;
      }
    }
  }
  if (rearm) {
    const std::filesystem::path before = folder_;
    arm();
    // The file may have come with its folder.
    if (folder_ != before && folder_ == file_.parent_path()) relevant = true;
  }
  if (!relevant || error_ || settle_) return;
  settle_ = loop_.startTimer(seconds(settleSeconds), [this] {
    settle_.reset();
    changed_();
  });
}

void FileWatch::fail(std::string reason) {
  error_ = reason;
  if (settle_) loop_.cancelTimer(*settle_);
  settle_.reset();
  if (watch_) loop_.unwatch(*watch_);
  watch_.reset();
  if (fd_ >= 0) ::close(fd_);
  fd_ = wd_ = -1;
  if (!failed_) return;
  loop_.post([alive = std::weak_ptr<bool>(alive_), failed = failed_, reason = std::move(reason)] {
    if (!alive.expired()) failed(reason);
  });
}

}  // namespace tandemo::linux_platform
