#pragma once

// The main loop everything "on the main thread" runs on: posted tasks, one-shot and repeating
// timers, watched file descriptors and a clock. Worker threads (the serial queues) pace
// themselves through the same loop, so a virtual-time loop controls their sleeps too.

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>

namespace tandemo {

class MainLoop {
 public:
  using Clock = std::chrono::steady_clock;
  using TimePoint = Clock::time_point;
  using Duration = Clock::duration;
  using Task = std::function<void()>;
  using TimerId = std::uint64_t;
  using WatchId = std::uint64_t;

  virtual ~MainLoop() = default;

  // Runs `task` on the loop's thread after the tasks posted before it. Safe from any thread.
  virtual void post(Task task) = 0;

  // Runs `task` once after `delay`, or every `delay` when `repeating`. Loop thread only.
  virtual TimerId startTimer(Duration delay, Task task, bool repeating = false) = 0;
  // Cancelling an unknown, fired or cancelled timer does nothing.
  virtual void cancelTimer(TimerId id) = 0;

  // Calls `onReadable` on the loop's thread whenever `fd` has input. Loop thread only.
  virtual WatchId watchReadable(int fd, Task onReadable) = 0;
  virtual void unwatch(WatchId id) = 0;

  virtual TimePoint now() const = 0;

  // ---- for worker threads ----

  // Pauses the calling worker for `duration` of this loop's time. Returns false when `stop`
  // was requested before the pause ended.
  virtual bool sleepOnWorker(Duration duration, std::stop_token stop) = 0;
  // Runs `task` on the loop's thread and waits for it. Returns false, without waiting further,
  // when `stop` is requested first.
  virtual bool runOnMainAndWait(Task task, std::stop_token stop) = 0;
  // A worker tells the loop that a job was queued for it, and that the job has finished, so a
  // virtual-time loop knows when every worker is waiting before it moves time on.
  virtual void workerJobQueued() {}
  virtual void workerJobFinished() {}
};

// Seconds as a loop duration: seconds(0.05).
inline MainLoop::Duration seconds(double value) {
  return std::chrono::duration_cast<MainLoop::Duration>(std::chrono::duration<double>(value));
}

}  // namespace tandemo
