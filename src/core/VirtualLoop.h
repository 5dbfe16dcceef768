#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "core/MainLoop.h"
#include "core/TimerSet.h"

namespace tandemo {

// A main loop on virtual time for tests. Nothing happens until the test drives it:
// runUntilIdle() runs posted tasks and waits for the worker threads to settle; advance() moves
// time forward, firing timers and ending worker pauses in time order, settling after each, so
// that every delay is observed exactly and instantly.
class VirtualLoop final : public MainLoop {
 public:
  VirtualLoop();

  void post(Task task) override;
  TimerId startTimer(Duration delay, Task task, bool repeating = false) override;
  void cancelTimer(TimerId id) override;
  WatchId watchReadable(int fd, Task onReadable) override;
  void unwatch(WatchId id) override;
  TimePoint now() const override;

  bool sleepOnWorker(Duration duration, std::stop_token stop) override;
  bool runOnMainAndWait(Task task, std::stop_token stop) override;
  void workerJobQueued() override;
  void workerJobFinished() override;

  // Runs posted tasks until none is left and every worker waits for time or work.
  void runUntilIdle();
  void advance(Duration duration) { advanceTo(now() + duration); }
  void advanceTo(TimePoint target);
  // Calls the handler of every watch on `fd` (tests feed readable descriptors by hand).
  void notifyReadable(int fd);
  // Time elapsed since the loop was made.
  Duration elapsed() const { return now() - start_; }
  std::size_t pendingTimers() const;

 private:
  struct Sleeper {
    TimePoint deadline;
    bool woken = false;
  };

  bool fireNextTimer(TimePoint limit);
  bool wakeSleepers();

  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  const TimePoint start_;
  TimePoint now_;
  std::deque<Task> posted_;
  TimerSet timers_;
  std::map<WatchId, std::pair<int, Task>> watches_;
  std::deque<Sleeper*> sleepers_;
  int activeWorkers_ = 0;
  std::uint64_t nextId_ = 1;
};

}  // namespace tandemo
