#pragma once

#include <iosfwd>

namespace tandemo {

struct WatchOptions {
  bool json = false;  // one JSON object a line: a full snapshot after each change
};

// Follows the running app on the session bus: `running yes|no` when it appears or leaves (and
// at start), every property once on its appearance, then one line per changed property; stdout
// is flushed after each line. Returns 0 once `stopFd` turns readable, 1 when there is no session
// bus or it closes.
int runWatch(const WatchOptions& options, std::ostream& out, std::ostream& err, int stopFd);

// runWatch until SIGINT or SIGTERM.
int runWatchUntilSignalled(const WatchOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tandemo
