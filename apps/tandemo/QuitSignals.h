#pragma once

#include <functional>

#include "core/MainLoop.h"

namespace tandemo::app {

// SIGINT, SIGTERM and SIGHUP quit like "Quit Tandemo" does: the handler wakes the main loop
// through a pipe. (Blocking them for a signalfd instead would leave them blocked in every
// program the app starts.) One object per process; its destructor restores the default actions.
class QuitSignals {
 public:
  QuitSignals();
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  // Calls `quit` on `loop` after each quit signal; `loop` must outlive this object.
  void watch(MainLoop& loop, std::function<void()> quit);

 private:
  int readEnd_ = -1;
  MainLoop* loop_ = nullptr;
  MainLoop::WatchId watch_ = 0;
};

}  // namespace tandemo::app
