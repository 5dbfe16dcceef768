#include "ui/QtMainLoop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QThread>
#include <QTimerEvent>
#include <memory>

#include "core/WorkerWaits.h"

namespace tandemo::ui {
namespace {

const QEvent::Type kDrainEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

QtMainLoop::QtMainLoop(QObject* parent) : QObject(parent) {}

QtMainLoop::~QtMainLoop() {
  for (const auto& [id, timer] : timers_) killTimer(timer.qtId);
  std::lock_guard lock(mutex_);
  posted_.clear();  // tasks nobody will run any more; workers are gone by now
}

void QtMainLoop::post(Task task) {
  std::lock_guard lock(mutex_);
  posted_.push_back(std::move(task));
  // One drain event at a time: it runs everything queued up to then, in order.
  if (drainQueued_) return;
  drainQueued_ = true;
  QCoreApplication::postEvent(this, new QEvent(kDrainEvent));
}

void QtMainLoop::customEvent(QEvent* event) {
  if (event->type() != kDrainEvent) return QObject::customEvent(event);
  std::deque<Task> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(posted_);
    drainQueued_ = false;
  }
  // Tasks posted while this batch runs go to a new drain event, after it.
  for (Task& task : batch) task();
}

MainLoop::TimerId QtMainLoop::startTimer(Duration delay, Task task, bool repeating) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(delay, Duration::zero()));
  const TimerId id = nextId_++;
  const int qtId = QObject::startTimer(ms, Qt::PreciseTimer);
  timers_.emplace(id, Timer{qtId, repeating, std::move(task)});
  byQtId_.emplace(qtId, id);
  return id;
}

void QtMainLoop::cancelTimer(TimerId id) {
  const auto it = timers_.find(id);
  if (it == timers_.end()) return;
  killTimer(it->second.qtId);
  byQtId_.erase(it->second.qtId);
  timers_.erase(it);
}

void QtMainLoop::timerEvent(QTimerEvent* event) {
  const auto found = byQtId_.find(event->timerId());
  if (found == byQtId_.end()) return;
  const auto it = timers_.find(found->second);
  // A copy: the task may cancel its own timer, or start others, while it runs.
  Task task = it->second.task;
  if (!it->second.repeating) cancelTimer(found->second);
  task();
}

MainLoop::WatchId QtMainLoop::watchReadable(int fd, Task onReadable) {
  const WatchId id = nextId_++;
  auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  watches_.emplace(id, std::make_pair(notifier, std::move(onReadable)));
  connect(notifier, &QSocketNotifier::activated, this, [this, id] {
    const auto it = watches_.find(id);
    if (it == watches_.end()) return;
    Task handler = it->second.second;  // the handler may unwatch itself
    handler();
  });
  return id;
}

void QtMainLoop::unwatch(WatchId id) {
  const auto it = watches_.find(id);
  if (it == watches_.end()) return;
  // Not deleted at once: unwatch may be called from the notifier's own signal.
  it->second.first->setEnabled(false);
  it->second.first->deleteLater();
  watches_.erase(it);
}

bool QtMainLoop::sleepOnWorker(Duration duration, std::stop_token stop) { return sleepUnlessStopped(duration, stop); }

bool QtMainLoop::runOnMainAndWait(Task task, std::stop_token stop) {
  if (QThread::currentThread() == thread()) {
    if (stop.stop_requested()) return false;
    task();
    return true;
  }
  return postAndWait(*this, std::move(task), stop);
}

}  // namespace tandemo::ui
