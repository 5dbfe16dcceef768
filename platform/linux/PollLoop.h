#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "core/MainLoop.h"
#include "core/TimerSet.h"

namespace tandemo::linux_platform {

// The real main loop of the command line: poll(2) over the watched descriptors and an eventfd
// that other threads use to wake it, with timers on the steady clock.
class PollLoop final : public MainLoop {
 public:
  using ClockSource = std::function<TimePoint()>;
  // `clock` stands in for the steady clock (tests); pauses of workers still take real time.
  explicit PollLoop(ClockSource clock = {});
  ~PollLoop() override;
  PollLoop(const PollLoop&) = delete;
  PollLoop& operator=(const PollLoop&) = delete;

  void post(Task task) override;
  TimerId startTimer(Duration delay, Task task, bool repeating = false) override;
  void cancelTimer(TimerId id) override;
  WatchId watchReadable(int fd, Task onReadable) override;
  void unwatch(WatchId id) override;
  TimePoint now() const override { return clock_ ? clock_() : Clock::now(); }

  bool sleepOnWorker(Duration duration, std::stop_token stop) override;
  bool runOnMainAndWait(Task task, std::stop_token stop) override;

  // Runs until quit() is called (from a task or another thread).
  void run();
  void quit();

 private:
  void wake();
  void runPosted();
  void runDueTimers();

  ClockSource clock_;
  int wakeFd_ = -1;
  std::atomic<bool> quit_{false};
  std::mutex mutex_;  // guards posted_ only; timers and watches are loop-thread state
  std::deque<Task> posted_;
  TimerSet timers_;  // loop-thread state, like the watches
  std::map<WatchId, std::pair<int, Task>> watches_;
  std::uint64_t nextId_ = 1;
};

}  // namespace tandemo::linux_platform
