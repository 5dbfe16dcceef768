#include "core/TimerSet.h"

#include <algorithm>

namespace tandemo {

MainLoop::TimerId TimerSet::start(TimePoint now, Duration delay, MainLoop::Task task, bool repeating) {
  delay = std::max(delay, Duration::zero());
  const MainLoop::TimerId id = nextId_++;
  timers_.emplace(id, Timer{now + delay, delay, repeating, std::move(task)});
  return id;
}

std::map<MainLoop::TimerId, TimerSet::Timer>::iterator TimerSet::earliest() {
  // min_element keeps the first of equal due times, which is the one started first.
  return std::min_element(timers_.begin(), timers_.end(),
                          [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
}

std::optional<TimerSet::TimePoint> TimerSet::earliestDue() const {
  std::optional<TimePoint> due;
  for (const auto& [id, timer] : timers_) {
    if (!due || timer.due < *due) due = timer.due;
  }
  return due;
}

std::optional<MainLoop::Task> TimerSet::takeDue(TimePoint limit, bool skipMissed) {
  const auto next = earliest();
  if (next == timers_.end() || next->second.due > limit) return std::nullopt;
  MainLoop::Task task = next->second.task;
  if (next->second.repeating && next->second.interval > Duration::zero()) {
    next->second.due += next->second.interval;
    if (skipMissed && next->second.due <= limit) next->second.due = limit + next->second.interval;
  } else {
    timers_.erase(next);
  }
  return task;
}

}  // namespace tandemo
