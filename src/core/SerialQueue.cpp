#include "core/SerialQueue.h"

namespace tandemo {

SerialQueue::SerialQueue(MainLoop& loop, std::string label)
    : loop_(loop), label_(std::move(label)), worker_([this](std::stop_token stop) { run(stop); }) {}

SerialQueue::~SerialQueue() {
  worker_.request_stop();
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
  // Jobs that never ran still count as queued with the loop.
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < jobs_.size(); ++i) loop_.workerJobFinished();
  jobs_.clear();
}

void SerialQueue::async(Job job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    loop_.workerJobQueued();
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
      if (!wake_.wait(lock, stop, [&] { return !jobs_.empty(); })) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job(*this);
    loop_.workerJobFinished();
  }
}

}  // namespace tandemo
