#include "core/SerialQueue.h"

namespace tandemo {

SerialQueue::SerialQueue(MainLoop& loop, std::string label)
    : loop_(loop), label_(std::move(label)), worker_([this](std::stop_token stop) { run(stop); }) {}

SerialQueue::~SerialQueue() {
  worker_.request_stop();
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
  // Jobs that never ran are dropped; the worker no longer counts as busy.
  std::lock_guard lock(mutex_);
  if (busy_) loop_.workerJobFinished();
  busy_ = false;
  jobs_.clear();
}

void SerialQueue::async(Job job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    // One count per busy worker: a job waiting behind a sleeping one must not look active.
    if (!busy_) loop_.workerJobQueued();
    busy_ = true;
  }
  wake_.notify_one();
}

bool SerialQueue::sleep(MainLoop::Duration duration) {
  return loop_.sleepOnWorker(duration, worker_.get_stop_token());
}

bool SerialQueue::runOnMain(MainLoop::Task task) {
  return loop_.runOnMainAndWait(std::move(task), worker_.get_stop_token());
}

void SerialQueue::run(std::stop_token stop) {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      // A stop drops queued jobs even though some are waiting.
      if (!wake_.wait(lock, stop, [&] { return !jobs_.empty(); }) || stop.stop_requested()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job(*this);
    job = nullptr;  // its captures go before the loop may consider the worker idle
    std::lock_guard lock(mutex_);
    if (jobs_.empty() && busy_) {
      busy_ = false;
      loop_.workerJobFinished();
    }
  }
}

}  // namespace tandemo
