#include "core/WorkerWaits.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace tandemo {

bool sleepUnlessStopped(MainLoop::Duration duration, std::stop_token stop) {
  std::mutex m;
  std::condition_variable_any cv;
  std::unique_lock lock(m);
  return !cv.wait_for(lock, stop, duration, [] { return false; }) && !stop.stop_requested();
}

bool postAndWait(MainLoop& loop, MainLoop::Task task, std::stop_token stop) {
  struct Hop {
    std::mutex m;
    std::condition_variable_any cv;
    bool done = false;
    bool abandoned = false;
  };
  auto hop = std::make_shared<Hop>();
  loop.post([hop, task = std::move(task)] {
    {
      // A worker that stopped waiting may be tearing down what the task refers to.
      std::lock_guard lock(hop->m);
      if (hop->abandoned) return;
    }
    task();
    std::lock_guard lock(hop->m);
    hop->done = true;
    hop->cv.notify_all();
  });
  std::unique_lock lock(hop->m);
  if (hop->cv.wait(lock, stop, [&] { return hop->done; })) return true;
  hop->abandoned = true;
  return false;
}

}  // namespace tandemo
