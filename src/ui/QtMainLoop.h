#pragma once

#include <QObject>
#include <deque>
#include <map>
#include <mutex>

#include "core/MainLoop.h"

class QSocketNotifier;

namespace tandemo::ui {

// The main loop of the app: the Qt event loop of the thread that creates it. Posted tasks run in
// order from a queue of their own, timers are precise Qt timers (a repeating one skips the ticks
// it missed instead of firing them in a burst), watches are socket notifiers.
class QtMainLoop final : public QObject, public MainLoop {
  Q_OBJECT

 public:
  explicit QtMainLoop(QObject* parent = nullptr);
  ~QtMainLoop() override;

  void post(Task task) override;
  TimerId startTimer(Duration delay, Task task, bool repeating = false) override;
  void cancelTimer(TimerId id) override;
  WatchId watchReadable(int fd, Task onReadable) override;
  void unwatch(WatchId id) override;
  TimePoint now() const override { return Clock::now(); }

  bool sleepOnWorker(Duration duration, std::stop_token stop) override;
  // Called on the loop's own thread it runs `task` at once instead of waiting for itself.
  bool runOnMainAndWait(Task task, std::stop_token stop) override;

  std::size_t pendingTimers() const { return timers_.size(); }

 protected:
  void customEvent(QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  struct Timer {
    int qtId = 0;
    bool repeating = false;
    Task task;
  };

  std::mutex mutex_;  // guards posted_ and drainQueued_: the only state other threads touch
  std::deque<Task> posted_;
  bool drainQueued_ = false;
  std::map<TimerId, Timer> timers_;
  std::map<int, TimerId> byQtId_;
  std::map<WatchId, std::pair<QSocketNotifier*, Task>> watches_;
  std::uint64_t nextId_ = 1;
};

}  // namespace tandemo::ui
