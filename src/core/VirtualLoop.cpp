#include "core/VirtualLoop.h"

#include <algorithm>
#include <vector>

namespace tandemo {

VirtualLoop::VirtualLoop() : start_(TimePoint{} + std::chrono::hours(1)), now_(start_) {}

void VirtualLoop::post(Task task) {
  std::lock_guard lock(mutex_);
  posted_.push_back(std::move(task));
  changed_.notify_all();
}

MainLoop::TimerId VirtualLoop::startTimer(Duration delay, Task task, bool repeating) {
  std::lock_guard lock(mutex_);
  return timers_.start(now_, delay, std::move(task), repeating);
}

void VirtualLoop::cancelTimer(TimerId id) {
  std::lock_guard lock(mutex_);
  timers_.cancel(id);
}

MainLoop::WatchId VirtualLoop::watchReadable(int fd, Task onReadable) {
  std::lock_guard lock(mutex_);
  const WatchId id = nextId_++;
  watches_.emplace(id, std::make_pair(fd, std::move(onReadable)));
  return id;
}

void VirtualLoop::unwatch(WatchId id) {
  std::lock_guard lock(mutex_);
  watches_.erase(id);
}

MainLoop::TimePoint VirtualLoop::now() const {
  std::lock_guard lock(mutex_);
  return now_;
}

std::size_t VirtualLoop::pendingTimers() const {
  std::lock_guard lock(mutex_);
  return timers_.size();
}

bool VirtualLoop::sleepOnWorker(Duration duration, std::stop_token stop) {
  std::unique_lock lock(mutex_);
  Sleeper sleeper{now_ + std::max(duration, Duration::zero())};
  sleepers_.push_back(&sleeper);
  --activeWorkers_;
  changed_.notify_all();
  const bool woken = changed_.wait(lock, stop, [&] { return sleeper.woken; });
  if (!woken) {
    // Stopped early: nobody woke us, so count ourselves active again.
    std::erase(sleepers_, &sleeper);
    ++activeWorkers_;
  }
  return woken;
}

bool VirtualLoop::runOnMainAndWait(Task task, std::stop_token stop) {
  struct Hop {
    bool done = false;
    bool abandoned = false;
  };
  auto hop = std::make_shared<Hop>();
  std::unique_lock lock(mutex_);
  posted_.push_back([this, task = std::move(task), hop] {
    {
      // A worker that stopped waiting may be tearing down what the task refers to.
      std::lock_guard inner(mutex_);
      if (hop->abandoned) return;
    }
    task();
    std::lock_guard inner(mutex_);
    if (hop->abandoned) return;  // the worker already counted itself active again
    hop->done = true;
    ++activeWorkers_;  // on behalf of the waiting worker, before it runs again
    changed_.notify_all();
  });
  --activeWorkers_;
  changed_.notify_all();
  if (changed_.wait(lock, stop, [&] { return hop->done; })) return true;
  hop->abandoned = true;
  ++activeWorkers_;
  return false;
}

void VirtualLoop::workerJobQueued() {
  std::lock_guard lock(mutex_);
  ++activeWorkers_;
  changed_.notify_all();
}

void VirtualLoop::workerJobFinished() {
  std::lock_guard lock(mutex_);
  --activeWorkers_;
  changed_.notify_all();
}

void VirtualLoop::runUntilIdle() {
  for (;;) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return activeWorkers_ <= 0 || !posted_.empty(); });
    if (posted_.empty()) return;
    Task task = std::move(posted_.front());
    posted_.pop_front();
    lock.unlock();
    task();
  }
}

// Wakes the workers whose pause has ended at the current time; true if any.
bool VirtualLoop::wakeSleepers() {
  std::lock_guard lock(mutex_);
  bool any = false;
  for (auto it = sleepers_.begin(); it != sleepers_.end();) {
    if ((*it)->deadline <= now_) {
      (*it)->woken = true;
      ++activeWorkers_;  // on behalf of the sleeper, so runUntilIdle waits for it
      it = sleepers_.erase(it);
      any = true;
    } else {
      ++it;
    }
  }
  if (any) changed_.notify_all();
  return any;
}

// Fires the earliest timer due at or before `limit`, moving time to its due time.
bool VirtualLoop::fireNextTimer(TimePoint limit) {
  std::unique_lock lock(mutex_);
  const auto due = timers_.earliestDue();
  if (!due || *due > limit) return false;
  // A pause that ends earlier than this timer must end first.
  for (Sleeper* sleeper : sleepers_) {
    if (sleeper->deadline < *due) return false;
  }
  now_ = std::max(now_, *due);
  Task task = std::move(timers_.takeDue(limit).value());
  lock.unlock();
  task();
  return true;
}

void VirtualLoop::advanceTo(TimePoint target) {
  runUntilIdle();
  for (;;) {
    if (wakeSleepers()) {
      runUntilIdle();
      continue;
    }
    if (fireNextTimer(target)) {
      runUntilIdle();
      continue;
    }
    // Nothing due now: move to the earliest pause end within the target, if any.
    std::unique_lock lock(mutex_);
    TimePoint next = target;
    for (Sleeper* sleeper : sleepers_) next = std::min(next, sleeper->deadline);
    if (const auto due = timers_.earliestDue()) next = std::min(next, *due);
    if (next <= now_) {
      if (now_ >= target) break;
      next = target;
    }
    now_ = next;
  }
  runUntilIdle();
}

void VirtualLoop::notifyReadable(int fd) {
  std::vector<Task> handlers;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [id, watch] : watches_) {
      if (watch.first == fd) handlers.push_back(watch.second);
    }
  }
  for (Task& handler : handlers) handler();
  runUntilIdle();
}

}  // namespace tandemo
