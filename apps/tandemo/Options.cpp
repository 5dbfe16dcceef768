#include "Options.h"

#include <CLI/CLI.hpp>

namespace tandemo::app {

std::variant<AppOptions, int> parseOptions(int argc, char** argv) {
  AppOptions options;
  std::string firmware = "107";
  CLI::App cli("Tandemo: the tray app and settings window for the SteelSeries Rival 500", "tandemo");
  cli.allow_extras();
  cli.add_option("--state", options.stateFile, "Use FILE as the settings file instead of the default one")
      ->option_text("FILE");
  auto* headless = cli.add_flag("--headless", options.headless,
                                "Run without a window or tray icon (no display needed): the mouse, the "
                                "app-controlled buttons and the session-bus interface only");
  cli.add_option("--screenshot", options.screenshots,
                 "Render the window's tabs, the tray menu and the virtual mouse into PNGs in DIR against the "
                 "virtual mouse with default settings, then exit")
      ->option_text("DIR")
      ->excludes(headless);
  auto* simulate = cli.add_flag("--simulate", options.simulation.enabled,
                                "Run against a simulated Rival 500 instead of the real mouse");
  cli.add_flag("--simulate-unplugged", options.simulation.unplugged, "The simulated mouse starts unplugged")
      ->needs(simulate)
      ->group("Simulation");
  cli.add_option("--simulate-firmware", firmware,
                 "Version byte the simulated mouse answers (107 reads 1.07), or none for no answer")
      ->check(CLI::IsMember({"none"}) | CLI::Range(0, 255))
      ->needs(simulate)
      ->group("Simulation");
  cli.add_option("--simulate-refuse", options.simulation.refuse,
                 "The simulated mouse refuses the Nth packet of the first write")
      ->check(CLI::PositiveNumber)
      ->needs(simulate)
      ->group("Simulation");
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = cli.exit(e);
    return code == 0 ? 0 : 2;
  }
  if (firmware == "none") {
    options.simulation.firmware.reset();
  } else {
    options.simulation.firmware = std::stoi(firmware);
  }
  return options;
}

}  // namespace tandemo::app
