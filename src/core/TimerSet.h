#pragma once

#include <map>
#include <optional>

#include "core/MainLoop.h"

namespace tandemo {

// The timers of a main loop: which is due next, and firing it (a repeating timer is
// rescheduled, a one-shot removed). Equal due times fire in the order they were started.
class TimerSet {
 public:
  using TimePoint = MainLoop::TimePoint;
  using Duration = MainLoop::Duration;

  MainLoop::TimerId start(TimePoint now, Duration delay, MainLoop::Task task, bool repeating);
  void cancel(MainLoop::TimerId id) { timers_.erase(id); }
  std::optional<TimePoint> earliestDue() const;
  // The task of the earliest timer due at or before `limit`, or nothing. With `skipMissed`,
  // `limit` is the present: a repeating timer that fell behind fires once and keeps its period
  // from now instead of firing once per missed period.
  std::optional<MainLoop::Task> takeDue(TimePoint limit, bool skipMissed = false);
  std::size_t size() const { return timers_.size(); }

 private:
  struct Timer {
    TimePoint due;
    Duration interval;
    bool repeating;
    MainLoop::Task task;
  };
  std::map<MainLoop::TimerId, Timer>::iterator earliest();

  std::map<MainLoop::TimerId, Timer> timers_;  // ids rise with start order
  MainLoop::TimerId nextId_ = 1;
};

}  // namespace tandemo
