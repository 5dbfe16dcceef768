#include "Tandemoctl.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <ostream>

#include "Online.h"
#include "Printing.h"
#include "Watch.h"
#include "linux/PosixFileSystem.h"
#include "model/StateStore.h"

namespace tandemo {
namespace {

struct Options {
  std::string stateFile;
  bool save = false;
  bool tsv = false;
  std::string validateFile;
};

// An empty file name would otherwise fall back to the default file: refuse it as an argument.
const CLI::Validator nonEmptyPath(
    [](const std::string& value) { return value.empty() ? std::string("the file name is empty") : std::string(); },
    "FILE");

// The options every command that talks to the mouse takes.
struct OnlineFlags {
  OnlineOptions options;
  bool save = false;
  bool noSave = false;
  std::string firmware = "107";
};

CLI::App* addOnline(CLI::App& app, const char* name, const char* description, OnlineFlags& flags,
                    const std::string& stateHelp) {
  auto* sub = app.add_subcommand(name, description);
  sub->add_option("--state", flags.options.stateFile, stateHelp)->check(nonEmptyPath);
  auto* simulate = sub->add_flag("--simulate", flags.options.simulation.enabled,
                                 "Talk to a simulated Rival 500 instead of the real mouse");
  sub->add_flag("--simulate-unplugged", flags.options.simulation.unplugged, "The simulated mouse is not plugged in")
      ->needs(simulate)
      ->group("Simulation");
  sub->add_option("--simulate-firmware", flags.firmware,
                  "Version byte the simulated mouse answers (107 reads 1.07), or none for no answer")
      ->check(CLI::IsMember({"none"}) | CLI::Range(0, 255))
      ->needs(simulate)
      ->group("Simulation");
  sub->add_option("--simulate-refuse", flags.options.simulation.refuse,
                  "The simulated mouse refuses the Nth packet of the write")
      ->check(CLI::PositiveNumber)
      ->needs(simulate)
      ->group("Simulation");
  sub->add_flag("--simulate-trace", flags.options.simulation.trace,
                "Afterwards print every report the simulated mouse received")
      ->needs(simulate)
      ->group("Simulation");
  return sub;
}

int onlineCommand(const OnlineFlags& flags, OnlineOptions::Command command, std::ostream& out, std::ostream& err) {
  OnlineOptions options = flags.options;
  options.command = command;
  if (flags.save) options.save = true;
  if (flags.noSave) options.save = false;
  if (flags.firmware == "none") {
    options.simulation.firmware.reset();
  } else {
    options.simulation.firmware = std::stoi(flags.firmware);
  }
  return runOnline(options, out, err);
}

// No --state: the default file (an empty --state is refused while parsing).
StateStore storeFor(FileSystem& files, const Options& options) {
  if (!options.stateFile.empty()) return StateStore(files, options.stateFile);
  return StateStore(files, StateStore::defaultLocation());
}

int packetsCommand(const AppState& state, const Options& options, std::ostream& out, std::ostream& err) {
  auto packets = state.hardware.packets();
  if (!packets) {
    err << Rival500::describe(packets.error()) << '\n';
    return 1;
  }
  if (options.save) packets->push_back(Rival500::savePacket());
  for (const Rival500::Packet& packet : *packets) out << packetLine(packet) << '\n';
  return 0;
}

int validateCommand(FileSystem& files, const std::string& path, std::ostream& out, std::ostream& err) {
  auto read = files.readFile(path, StateStore::maxFileBytes);
  if (!read) {
    err << "tandemoctl: " << read.error().reason << '\n';
    return 2;
  }
  auto decoded = decodeState(read->text);
  if (!decoded) {
    err << "invalid: " << decoded.error().describe() << '\n';
    return 1;
  }
  out << "valid\n";
  return 0;
}

}  // namespace

int runTandemoctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CLI::App app{"Programs and inspects the SteelSeries Rival 500 settings of Tandemo.", "tandemoctl"};
  app.require_subcommand(1);
  Options options;
  const std::string stateHelp = "Settings file to use instead of " + StateStore::defaultLocation().string();

  auto* packets = app.add_subcommand("packets", "Print the packets a write sends, one per line, in send order");
  packets->add_option("--state", options.stateFile, stateHelp)->check(nonEmptyPath);
  packets->add_flag("--save", options.save, "Append the save-to-memory packet");

  auto* show = app.add_subcommand("show", "Show the controls' assignments and the profiles");
  show->add_option("--state", options.stateFile, stateHelp)->check(nonEmptyPath);
  show->add_flag("--tsv", options.tsv, "Tab-separated lines for scripts");

  auto* validate = app.add_subcommand("validate", "Check that a settings file decodes");
  validate->add_option("FILE", options.validateFile, "The settings file to check")->required()->check(nonEmptyPath);

  auto* stateCmd = app.add_subcommand("state", "Print the loaded settings as they would be saved");
  stateCmd->add_option("--state", options.stateFile, stateHelp)->check(nonEmptyPath);

  OnlineFlags online;
  auto* status = addOnline(app, "status", "Show whether the mouse is connected, its firmware, its keyboard "
                           "interface and the active profile", online, stateHelp);
  auto* write = addOnline(app, "write", "Write the settings' hardware configuration to the mouse", online, stateHelp);
  auto* saveFlag = write->add_flag("--save", online.save, "Also store it in the mouse's memory");
  write->add_flag("--no-save", online.noSave, "Do not store it in the mouse's memory")->excludes(saveFlag);
  write->footer("Without --save or --no-save the settings' saveToOnboardMemory decides.");
  auto* reset = addOnline(app, "reset", "Put the factory configuration into the settings and write it to "
                          "the mouse, stored in its memory", online, stateHelp);
  auto* firmware = addOnline(app, "firmware", "Print the mouse's firmware version", online, stateHelp);

  auto* pin = app.add_subcommand("pin", "Pin a profile by name or UUID, or let the front application choose (auto)");
  pin->add_option("PROFILE", online.options.profile, "A profile's name or UUID, or auto")
      ->required()
      ->check(CLI::Validator(
          [](const std::string& value) { return value.empty() ? std::string("the profile is empty") : std::string(); },
          "NAME|UUID|auto"));
  pin->add_option("--state", online.options.stateFile, stateHelp)->check(nonEmptyPath);

  WatchOptions watchOptions;
  auto* watch = app.add_subcommand("watch", "Print a line for each change of the running app's state, until "
                                   "interrupted (for status bars)");
  watch->add_flag("--json", watchOptions.json, "One JSON object a line: the whole state after each change");

  app.footer("Online commands (status, write, reset, firmware, pin) go through the running Tandemo when there\n"
             "is one (not with --simulate); alone they wait up to 5 s for another program using the mouse.\n"
             "Exit status: 0 success; 1 the operation failed (validate: the file does not decode; the mouse\n"
             "refused a packet, a light cannot be encoded, no firmware answer; another program holds the\n"
             "mouse; pin: no such profile, or a name two profiles share); 2 bad arguments, validate cannot\n"
             "read its file, or --state names another file than the running Tandemo's; 3 no mouse connected.\n"
             "Other commands use the default settings when the settings file cannot be used, with a warning.");

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    app.exit(e, out, err);
    return 2;
  }

  if (status->parsed()) return onlineCommand(online, OnlineOptions::Command::status, out, err);
  if (write->parsed()) return onlineCommand(online, OnlineOptions::Command::write, out, err);
  if (reset->parsed()) return onlineCommand(online, OnlineOptions::Command::reset, out, err);
  if (firmware->parsed()) return onlineCommand(online, OnlineOptions::Command::firmware, out, err);
  if (pin->parsed()) return onlineCommand(online, OnlineOptions::Command::pin, out, err);
  if (watch->parsed()) return runWatchUntilSignalled(watchOptions, out, err);

  linux_platform::PosixFileSystem files;
  if (validate->parsed()) return validateCommand(files, options.validateFile, out, err);

  StateStore store = storeFor(files, options);
  const LoadResult loaded = store.load();
  // Whatever the command prints, it says once when that is not the file's content.
  if (loaded.source == LoadResult::Source::unreadable) {
    err << "tandemoctl: " << store.file().string() << " cannot be used (" << loaded.problem
        << "); using the default settings\n";
  }
  if (packets->parsed()) return packetsCommand(loaded.state, options, out, err);
  if (stateCmd->parsed()) {
    out << encodeState(loaded.state);
    return 0;
  }
  if (options.tsv) {
    printTsv(loaded.state, out);
  } else {
    printReadable(loaded, store.file(), out);
  }
  return 0;
}

}  // namespace tandemo
