#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <variant>

#include "core/Expected.h"

namespace tandemo::linux_platform {

// The process holding the mouse lock, as it wrote itself into the lock file.
struct MouseHolder {
  long pid = 0;          // 0: unknown (not written yet, or unreadable)
  std::string command;   // "tandemoctl", "tandemo"
  // "tandemoctl (pid 1234)", or "another program" when unknown.
  std::string describe() const;
};

// Another process held the lock for the whole wait.
struct MouseLockBusy {
  MouseHolder holder;
};
// The lock file or its folder could not be made, trusted or locked.
struct MouseLockUnusable {
  std::string reason;
};
using MouseLockError = std::variant<MouseLockBusy, MouseLockUnusable>;
// "the mouse is in use by tandemoctl (pid 1234)" or "cannot use the mouse lock: REASON".
std::string describe(const MouseLockError& error);

struct MouseLockOptions {
  std::filesystem::path file;  // empty: MouseLock::defaultFile()
  std::string command;         // written for later acquirers to read; empty: this program's name
  std::chrono::milliseconds wait{5000};
  std::chrono::milliseconds interval{50};  // between attempts while waiting
  // Called between attempts; empty: the calling thread sleeps.
  std::function<void(std::chrono::milliseconds)> pause;
};

// One user's exclusive claim on the mouse, so that two programs never interleave their packets:
// flock on a file in a private folder, released when the lock is destroyed (or the process
// ends). The holder writes "PID COMMAND" into the file; the descriptor is not inherited.
class MouseLock {
 public:
  // $XDG_RUNTIME_DIR/tandemo/mouse.lock, else /tmp/tandemo-UID/mouse.lock.
  static std::filesystem::path defaultFile();

  // Waits up to `wait` while another process holds the default lock.
  static Expected<MouseLock, MouseLockError> acquire(std::chrono::milliseconds wait);
  static Expected<MouseLock, MouseLockError> acquire(const MouseLockOptions& options);

  MouseLock(MouseLock&& other) noexcept;
  MouseLock& operator=(MouseLock&& other) noexcept;
  MouseLock(const MouseLock&) = delete;
  MouseLock& operator=(const MouseLock&) = delete;
  ~MouseLock();

  const std::filesystem::path& file() const { return file_; }

 private:
  MouseLock(int fd, std::filesystem::path file) : fd_(fd), file_(std::move(file)) {}
  void release();

  int fd_ = -1;
  std::filesystem::path file_;
};

}  // namespace tandemo::linux_platform
