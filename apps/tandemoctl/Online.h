#pragma once

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>

namespace tandemo {

// How the simulated mouse behaves for one run of an online command.
struct Simulation {
  bool enabled = false;
  bool unplugged = false;
  std::optional<int> firmware = 107;  // the version byte; absent: never answers
  std::size_t refuse = 0;             // refuse the nth report (0: none)
  bool trace = false;                 // print every report the mouse received
};

struct OnlineOptions {
  enum class Command { status, write, reset, firmware, pin };
  Command command = Command::status;
  std::string stateFile;       // empty: the default location, or the running app's file
  std::optional<bool> save;    // write only; absent: saveToOnboardMemory decides
  std::string profile;         // pin only: a name, a UUID, or "auto"
  Simulation simulation;
  // How long a command without the app waits while another program holds the mouse.
  std::chrono::milliseconds lockWait{5000};
};

// Through the running app when it owns its bus name (never with --simulate), else alone with
// the mouse lock held. Exit status 0 success; 1 the mouse refused, could not be written or did
// not answer, another program holds the mouse, a settings change failed; 2 --state names another
// file than the running app's; 3 no mouse.
int runOnline(const OnlineOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tandemo
