#pragma once

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
  enum class Command { status, write, reset, firmware };
  Command command = Command::status;
  std::string stateFile;       // empty: the default location
  std::optional<bool> save;    // write only; absent: saveToOnboardMemory decides
  Simulation simulation;
};

// Exit status 0 success, 1 the mouse refused, could not be written or did not answer,
// 3 no mouse.
int runOnline(const OnlineOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tandemo
