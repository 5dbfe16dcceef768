#include "linux/MouseLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <utility>

#include "core/Overloaded.h"

namespace tandemo::linux_platform {
namespace {

std::string systemText(int error) { return std::generic_category().message(error); }

// A folder of ours that no one else may write to; one made by another user, or a link, is refused.
Expected<void, std::string> privateFolder(const std::filesystem::path& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return unexpected("cannot create " + folder.string() + " (" + systemText(errno) + ")");
  }
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) return unexpected("cannot see " + folder.string() + " (" + systemText(errno) + ")");
  if (!S_ISDIR(info.st_mode)) return unexpected(folder.string() + " is not a folder");
  if (info.st_uid != ::getuid()) return unexpected(folder.string() + " belongs to another user");
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return unexpected(folder.string() + " may be written by other users");
  return {};
}

// "1234 tandemoctl\n"; a holder that has not written yet (or wrote nonsense) is unknown.
MouseHolder readHolder(int fd) {
  char buffer[128] = {};
  const ssize_t read = ::pread(fd, buffer, sizeof buffer - 1, 0);
  if (read <= 0) return {};
  const std::string text(buffer, static_cast<std::size_t>(read));
  const std::size_t space = text.find(' ');
  if (space == 0 || space == std::string::npos || space > 10) return {};
  MouseHolder holder;
  for (std::size_t i = 0; i < space; ++i) {
    if (text[i] < '0' || text[i] > '9') return {};
    holder.pid = holder.pid * 10 + (text[i] - '0');
  }
  for (std::size_t i = space + 1; i < text.size() && text[i] != '\n' && holder.command.size() < 64; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    holder.command += c >= 0x20 && c != 0x7f ? static_cast<char>(c) : '?';
  }
  if (holder.command.empty()) holder.command = "a program";
  return holder;
}

bool writeHolder(int fd, const std::string& command) {
  const std::string text = std::to_string(::getpid()) + " " + command + "\n";
  return ::ftruncate(fd, 0) == 0 && ::pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

}  // namespace

std::string MouseHolder::describe() const {
  if (pid == 0) return "another program";
  return command + " (pid " + std::to_string(pid) + ")";
}

std::string describe(const MouseLockError& error) {
  return std::visit(Overloaded{
                        [](const MouseLockBusy& busy) { return "the mouse is in use by " + busy.holder.describe(); },
                        [](const MouseLockUnusable& unusable) { return "cannot use the mouse lock: " + unusable.reason; },
                    },
                    error);
}

std::filesystem::path MouseLock::defaultFile() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code error;
  if (runtime && runtime[0] == '/' && std::filesystem::is_directory(runtime, error)) {
    return std::filesystem::path(runtime) / "tandemo" / "mouse.lock";
  }
  return std::filesystem::path("/tmp") / ("tandemo-" + std::to_string(::getuid())) / "mouse.lock";
}

Expected<MouseLock, MouseLockError> MouseLock::acquire(std::chrono::milliseconds wait) {
  MouseLockOptions options;
  options.wait = wait;
  return acquire(options);
}

Expected<MouseLock, MouseLockError> MouseLock::acquire(const MouseLockOptions& options) {
  const std::filesystem::path file = options.file.empty() ? defaultFile() : options.file;
  if (auto folder = privateFolder(file.parent_path()); !folder) return unexpected(MouseLockError(MouseLockUnusable{folder.error()}));
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    return unexpected(MouseLockError(MouseLockUnusable{"cannot open " + file.string() + " (" + systemText(errno) + ")"}));
  }
  // Closes the descriptor on every way out but success; never touches the holder's text.
  struct Closer {
    int fd;
    bool keep = false;
    ~Closer() {
      if (!keep) ::close(fd);
    }
  } closer{fd};
  std::chrono::milliseconds waited{0};
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      return unexpected(MouseLockError(MouseLockUnusable{"cannot lock " + file.string() + " (" + systemText(errno) + ")"}));
    }
    if (waited >= options.wait) return unexpected(MouseLockError(MouseLockBusy{readHolder(fd)}));
    const auto interval = std::max(options.interval, std::chrono::milliseconds(1));
    const auto step = std::clamp(options.wait - waited, std::chrono::milliseconds(1), interval);
    if (options.pause) {
      options.pause(step);
    } else {
      std::this_thread::sleep_for(step);
    }
    waited += step;
  }
  // Holding the lock matters; failing to name ourselves only makes a later message vaguer.
  (void)writeHolder(fd, options.command.empty() ? std::string(program_invocation_short_name) : options.command);
  closer.keep = true;
  return MouseLock(fd, file);
}

MouseLock::MouseLock(MouseLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), file_(std::move(other.file_)) {}

MouseLock& MouseLock::operator=(MouseLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
    file_ = std::move(other.file_);
  }
  return *this;
}

MouseLock::~MouseLock() { release(); }

// The name goes before the lock does, so no one reads a former holder's.
void MouseLock::release() {
  if (fd_ < 0) return;
  (void)::ftruncate(fd_, 0);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace tandemo::linux_platform
