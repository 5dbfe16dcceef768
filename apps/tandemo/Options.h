#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <variant>

namespace tandemo::app {

// How the simulated mouse behaves (--simulate and its companions, as in tandemoctl).
struct Simulation {
  bool enabled = false;
  bool unplugged = false;
  std::optional<int> firmware = 107;  // the version byte; absent: never answers
  std::size_t refuse = 0;             // refuse the nth packet of the first write (0: none)
};

struct AppOptions {
  Simulation simulation;
  std::string stateFile;                   // empty: the default location
  std::optional<std::string> screenshots;  // --screenshot DIR
  bool headless = false;                   // no window, no tray: the bus interface only
};

// Parsed options, or the exit status after CLI11 printed help or an error. Options the program
// does not know (Qt's own, such as -platform) are left for QApplication.
std::variant<AppOptions, int> parseOptions(int argc, char** argv);

}  // namespace tandemo::app
