#include "Tandemoctl.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <ostream>

#include "Printing.h"
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
  auto text = files.readFile(path);
  if (!text) {
    err << "tandemoctl: " << text.error().reason << '\n';
    return 2;
  }
  auto decoded = decodeState(*text);
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
  packets->add_option("--state", options.stateFile, stateHelp);
  packets->add_flag("--save", options.save, "Append the save-to-memory packet");

  auto* show = app.add_subcommand("show", "Show the controls' assignments and the profiles");
  show->add_option("--state", options.stateFile, stateHelp);
  show->add_flag("--tsv", options.tsv, "Tab-separated lines for scripts");

  auto* validate = app.add_subcommand("validate", "Check that a settings file decodes");
  validate->add_option("FILE", options.validateFile, "The settings file to check")->required();

  auto* stateCmd = app.add_subcommand("state", "Print the loaded settings as they would be saved");
  stateCmd->add_option("--state", options.stateFile, stateHelp);

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

  linux_platform::PosixFileSystem files;
  if (validate->parsed()) return validateCommand(files, options.validateFile, out, err);

  StateStore store = storeFor(files, options);
  const LoadResult loaded = store.load();
  if (packets->parsed()) return packetsCommand(loaded.state, options, out, err);
  if (stateCmd->parsed()) {
    out << encodeState(loaded.state);
    return 0;
  }
  if (options.tsv) {
    printTsv(loaded.state, out);
  } else {
    if (loaded.source == LoadResult::Source::unreadable) {
      err << "tandemoctl: " << store.file().string() << " cannot be used (" << loaded.problem
          << "); showing the default settings\n";
    }
    printReadable(loaded, store.file(), out);
  }
  return 0;
}

}  // namespace tandemo
