#include "AppCommands.h"

#include <filesystem>
#include <ostream>

#include "AppClient.h"
#include "Backend.h"
#include "linux/PosixFileSystem.h"
#include "model/StateStore.h"

namespace tandemo {
namespace {

using Command = OnlineOptions::Command;
using ctl::AppClient;
using ctl::AppProperties;
using ctl::BusError;

// Spelled differently (relative, through links, with dots), it may still be the app's file.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code errorA, errorB;
  const auto canonicalA = std::filesystem::weakly_canonical(a, errorA);
  const auto canonicalB = std::filesystem::weakly_canonical(b, errorB);
  if (errorA || errorB) return a == b;
  return canonicalA == canonicalB;
}

// The bus's own errors after the app was found: it left, hung, or is older than this command.
bool appLeft(const BusError& error) {
  return error.name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
         error.name == "org.freedesktop.DBus.Error.NameHasNoOwner";
}

int failure(const BusError& error, const AppProperties& app, std::ostream& err) {
  if (error.is("NotConnected")) {
    // The same user cannot open the configuration interface for the app either: say why.
    err << (app.simulated ? error.message : notConnectedScan()) << '\n';
    return 3;
  }
  if (error.is("SaveFailed")) {
    err << "tandemoctl: " << error.message << '\n';
  } else if (error.fromApp()) {
    err << error.message << '\n';
  } else {
    err << "tandemoctl: the running Tandemo did not answer: " << error.message << " (" << error.name << ")\n";
  }
  return 1;
}

int answered(const Expected<std::string, BusError>& answer, const AppProperties& app, std::ostream& out,
             std::ostream& err) {
  if (!answer) return failure(answer.error(), app, err);
  if (!answer->empty()) out << *answer << '\n';
  return 0;
}

int status(const AppProperties& app, std::ostream& out, std::ostream& err) {
  out << "connected: " << (app.connected ? "yes" : "no") << '\n'
      << "firmware: " << (app.firmware.empty() ? "unknown" : app.firmware) << '\n'
      << "keyboard: " << keyboardWords(app.keyboardState) << '\n'
      << "profile: " << (app.activeProfile.empty() ? "none" : app.activeProfile) << '\n';
  if (!app.simulated) printBackendScan(out, app.keyboardState.starts_with("seized"));
  if (app.connected) return 0;
  err << (app.simulated ? "The Rival 500 is not plugged in." : notConnectedScan()) << '\n';
  return 3;
}

}  // namespace

std::string keyboardWords(const std::string& served) {
  const std::size_t colon = served.find(": ");
  const std::string name = served.substr(0, colon);
  if (name == "absent" || name == "idle" || name == "seized") return name;
  if (name == "needsInputMonitoring") return "needs Input Monitoring";
  if (name == "failed") return "failed: " + (colon == std::string::npos ? std::string() : served.substr(colon + 2));
  return served;  // a state this build does not know: as served
}

std::optional<int> runThroughApp(const OnlineOptions& options, std::ostream& out, std::ostream& err) {
  auto client = AppClient::connect();
  if (!client) return std::nullopt;
  const auto owner = client->owner();
  if (!owner) return std::nullopt;
  client->target(*owner);
  const auto properties = client->properties();
  if (!properties) {
    if (appLeft(properties.error())) return std::nullopt;
    return failure(properties.error(), AppProperties{}, err);
  }
  const AppProperties& app = *properties;
  if (!options.stateFile.empty() && !sameFile(options.stateFile, app.settingsFile)) {
    err << "tandemoctl: the running Tandemo owns the settings file " << app.settingsFile << "; quit it to use "
        << options.stateFile << ", or leave out --state\n";
    return 2;
  }
  switch (options.command) {
    case Command::status: return status(app, out, err);
    case Command::write:
      return answered(options.save ? client->call("Write", *options.save) : client->call("WriteAsSet"), app, out, err);
    case Command::reset: return answered(client->call("Reset"), app, out, err);
    case Command::firmware: return answered(client->call("ReadFirmware"), app, out, err);
    case Command::pin:
      return answered(client->call("Pin", options.profile == "auto" ? std::string() : options.profile), app, out, err);
  }
  return 1;
}

int pinAlone(const OnlineOptions& options, std::ostream& err) {
  linux_platform::PosixFileSystem files;
  StateStore store(files, options.stateFile.empty() ? StateStore::defaultLocation()
                                                    : std::filesystem::path(options.stateFile));
  LoadResult loaded = store.load();
  if (loaded.source == LoadResult::Source::unreadable) {
    err << "tandemoctl: " << store.file().string() << " cannot be used (" << loaded.problem
        << "); nothing was pinned\n";
    return 1;
  }
  const auto resolved = resolveProfile(loaded.state, options.profile);
  if (!resolved) {
    err << resolved.error() << '\n';
    return 1;
  }
  if (loaded.state.pinnedProfileID == *resolved) return 0;  // nothing to write
  loaded.state.pinnedProfileID = *resolved;
  if (const auto saved = store.save(loaded.state); !saved) {
    err << "tandemoctl: Could not save settings: " << saved.error() << '\n';
    return 1;
  }
  return 0;
}

}  // namespace tandemo
