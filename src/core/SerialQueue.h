#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "core/MainLoop.h"

namespace tandemo {

// A worker thread that runs jobs one at a time in submission order. Jobs pace themselves with
// sleep() and hand results back with the loop's post(). Destruction stops the worker: the
// running job's pauses end early, queued jobs are dropped, and the thread is joined.
class SerialQueue {
 public:
  using Job = std::function<void(SerialQueue&)>;

  SerialQueue(MainLoop& loop, std::string label);
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  const std::string& label() const { return label_; }
  void async(Job job);

  // For jobs: pause this worker; false when the queue is being destroyed.
  bool sleep(MainLoop::Duration duration);
  // For jobs: run `task` on the main loop and wait for it; false when the queue is being destroyed.
  bool runOnMain(MainLoop::Task task);
  bool stopping() const { return worker_.get_stop_token().stop_requested(); }
  MainLoop& loop() { return loop_; }

 private:
  void run(std::stop_token stop);

  MainLoop& loop_;
  std::string label_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::deque<Job> jobs_;
  bool busy_ = false;  // counted once with the loop from the first queued job until the queue empties
  std::jthread worker_;  // last: started after everything it uses exists
};

}  // namespace tandemo
