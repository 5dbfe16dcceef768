#pragma once

// The waits of a worker thread on a loop that runs in real time (the app's and the command
// line's); the virtual-time loop has its own.

#include <stop_token>

#include "core/MainLoop.h"

namespace tandemo {

// Sleeps for `duration` unless `stop` is requested first; false when it was.
bool sleepUnlessStopped(MainLoop::Duration duration, std::stop_token stop);

// Posts `task` to `loop` and waits until it has run; false, without waiting further, when
// `stop` is requested first. A task whose worker stopped waiting does not run.
bool postAndWait(MainLoop& loop, MainLoop::Task task, std::stop_token stop);

}  // namespace tandemo
