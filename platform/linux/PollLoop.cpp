#include "linux/PollLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "core/WorkerWaits.h"

namespace tandemo::linux_platform {

PollLoop::PollLoop(ClockSource clock) : clock_(std::move(clock)), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (wakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

PollLoop::~PollLoop() { ::close(wakeFd_); }

void PollLoop::wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void PollLoop::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(task));
  }
  wake();
}

MainLoop::TimerId PollLoop::startTimer(Duration delay, Task task, bool repeating) {
  return timers_.start(now(), delay, std::move(task), repeating);
}

void PollLoop::cancelTimer(TimerId id) { timers_.cancel(id); }

MainLoop::WatchId PollLoop::watchReadable(int fd, Task onReadable) {
  const WatchId id = nextId_++;
  watches_.emplace(id, std::make_pair(fd, std::move(onReadable)));
  return id;
}

void PollLoop::unwatch(WatchId id) { watches_.erase(id); }

bool PollLoop::sleepOnWorker(Duration duration, std::stop_token stop) { return sleepUnlessStopped(duration, stop); }

bool PollLoop::runOnMainAndWait(Task task, std::stop_token stop) {
  return postAndWait(*this, std::move(task), stop);
}

void PollLoop::runPosted() {
  std::deque<Task> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(posted_);
  }
  for (Task& task : batch) task();
}

void PollLoop::runDueTimers() {
  // After a stall, a repeating timer fires once and keeps its period from now on.
  while (auto task = timers_.takeDue(now(), /*skipMissed=*/true)) (*task)();
}

void PollLoop::run() {
  quit_ = false;
  while (!quit_) {
    runPosted();
    runDueTimers();
    if (quit_) break;
    {
      std::lock_guard lock(mutex_);
      if (!posted_.empty()) continue;
    }
    int timeoutMs = -1;
    if (const auto earliest = timers_.earliestDue()) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*earliest - now());
      timeoutMs = static_cast<int>(std::clamp<std::int64_t>(wait.count(), 0, 60'000));
    }
    std::vector<pollfd> fds{{wakeFd_, POLLIN, 0}};
    std::vector<WatchId> ids{0};
    for (const auto& [id, watch] : watches_) {
      fds.push_back({watch.first, POLLIN, 0});
      ids.push_back(id);
    }
    const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "poll");
    }
    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof count);
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      // The handler may have been removed by an earlier handler in this round.
      if (auto it = watches_.find(ids[i]); it != watches_.end()) {
        Task handler = it->second.second;
        handler();
      }
    }
  }
}

void PollLoop::quit() {
  quit_ = true;
  wake();
}

}  // namespace tandemo::linux_platform
