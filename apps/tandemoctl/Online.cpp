#include "Online.h"

#include <functional>
#include <memory>
#include <ostream>

#include "AppCommands.h"
#include "Backend.h"
#include "Printing.h"
#include "controller/Controller.h"
#include "core/Overloaded.h"
#include "linux/HidrawManager.h"
#include "linux/MouseLock.h"
#include "linux/PollLoop.h"
#include "linux/PosixFileSystem.h"
#include "sim/FakeServices.h"
#include "sim/RecordingEventSink.h"
#include "sim/ScriptedWorkspace.h"
#include "sim/VirtualRival500.h"

namespace tandemo {
namespace {

constexpr double kCommandLimitSeconds = 5.0;
// The link gives up on the firmware after 0.5 s; its answer lands on the loop just after.
constexpr double kFirmwareWaitSeconds = 0.8;
using Command = OnlineOptions::Command;

std::string keyboardText(const HIDLink::KeyboardState& state) {
  using KS = HIDLink::KeyboardState;
  return std::visit(Overloaded{
                        [](const KS::Absent&) -> std::string { return "absent"; },
                        [](const KS::Idle&) -> std::string { return "idle"; },
                        [](const KS::Seized&) -> std::string { return "seized"; },
                        [](const KS::NeedsInputMonitoring&) -> std::string { return "needs Input Monitoring"; },
                        [](const KS::Failed& failed) { return "failed: " + failed.text; },
                    },
                    state.value);
}

std::filesystem::path settingsFile(const OnlineOptions& options) {
  return options.stateFile.empty() ? StateStore::defaultLocation() : std::filesystem::path(options.stateFile);
}

// The controller on a real main loop, against the mouse on hidraw or the simulated one, with
// the bridge off: the command line never seizes the keyboard interface, so the mouse's keys stay
// with the desktop. Only the command's own write goes to the mouse (none on connection).
class Session {
 public:
  explicit Session(const OnlineOptions& options) : store_(files_, settingsFile(options)) {
    const Simulation& simulation = options.simulation;
    HidManager* hid = nullptr;
    if (simulation.enabled) {
      mouse_ = std::make_unique<sim::VirtualRival500>(loop_, !simulation.unplugged);
      if (simulation.firmware) {
        mouse_->setFirmwareVersion(static_cast<std::uint8_t>(*simulation.firmware));
      } else {
        mouse_->setFirmwareAnswer(std::nullopt);
      }
      // Counted within the command's write: the firmware query at start-up comes first.
      if (simulation.refuse > 0) mouse_->refuseReport(simulation.refuse + 1, kIOReturnExclusiveAccess);
      hid = mouse_.get();
    } else {
      hidraw_ = std::make_unique<linux_platform::HidrawManager>(loop_);
      hid = hidraw_.get();
    }
    ControllerServices services{loop_,       *hid,       events_, workspace_, loginItem_,
                                systemLog_, timeOfDay_, store_,  "org.tandemo.Tandemo"};
    services.writeOnConnectAtStart = false;
    services.bridgeEnabled = false;
    controller_ = std::make_unique<Controller>(services);
  }

  Controller& controller() { return *controller_; }
  const std::filesystem::path& file() const { return store_.file(); }
  // The real backend, absent with --simulate.
  linux_platform::HidrawManager* hidraw() { return hidraw_.get(); }

  // Runs the loop until `finished` holds after a change of the controller or a call of stop(),
  // or `limitSeconds` pass; whether it finished.
  bool runUntil(const std::function<bool()>& finished, double limitSeconds) {
    if (finished()) return true;
    bool expired = false;
    const auto timer = loop_.startTimer(seconds(limitSeconds), [&] {
      expired = true;
      loop_.quit();
    });
    const auto observer = controller_->subscribe([&](Controller::Property) {
      if (finished()) loop_.quit();
    });
    while (!finished() && !expired) loop_.run();
    controller_->unsubscribe(observer);
    loop_.cancelTimer(timer);
    return finished();
  }
  void stop() { loop_.quit(); }

  void trace(std::ostream& out) const {
    if (!mouse_) return;
    for (const sim::ReceivedReport& report : mouse_->reports()) {
      const auto type = report.type == HidReportType::feature ? Rival500::ReportType::feature
                                                              : Rival500::ReportType::output;
      out << "mouse: " << packetLine({type, report.bytes});
      if (report.answer != kIOReturnSuccess) out << " (refused: " << describe(report.answer) << ')';
      out << '\n';
    }
  }

 private:
  linux_platform::PollLoop loop_;
  std::unique_ptr<sim::VirtualRival500> mouse_;
  std::unique_ptr<linux_platform::HidrawManager> hidraw_;
  RecordingEventSink events_{loop_};  // never posted to: the bridge is off
  sim::ScriptedWorkspace workspace_;
  sim::FakeLoginItem loginItem_;
  sim::RecordingSystemLog systemLog_;
  sim::FixedTimeOfDay timeOfDay_;
  linux_platform::PosixFileSystem files_;
  StateStore store_;
  std::unique_ptr<Controller> controller_;  // last: goes first
};

// Why there is no connection: no mouse, or a configuration interface this user cannot open.
std::string notConnected(Session& session) { return notConnectedText(session.hidraw()); }

int status(Session& session, std::ostream& out, std::ostream& err) {
  Controller& c = session.controller();
  if (c.connected()) session.runUntil([&] { return c.firmware().has_value(); }, kFirmwareWaitSeconds);
  const auto profile = c.activeProfile();
  out << "connected: " << (c.connected() ? "yes" : "no") << '\n'
      << "firmware: " << c.firmware().value_or("unknown") << '\n'
      << "keyboard: " << keyboardText(c.keyboardState()) << '\n'
      << "profile: " << (profile ? profile->name : "none") << '\n';
  if (auto* hidraw = session.hidraw()) printBackend(*hidraw, out);
  if (c.connected()) return 0;
  err << notConnected(session) << '\n';
  return 3;
}

int firmware(Session& session, std::ostream& out, std::ostream& err) {
  Controller& c = session.controller();
  session.runUntil([&] { return c.firmware().has_value(); }, kFirmwareWaitSeconds);
  if (!c.firmware()) {
    err << "The mouse did not answer.\n";
    return 1;
  }
  out << *c.firmware() << '\n';
  return 0;
}

int timedOut(std::ostream& err) {
  err << "tandemoctl: the mouse did not finish within " << kCommandLimitSeconds << " seconds\n";
  return 1;
}

int write(Session& session, std::optional<bool> save, std::ostream& out, std::ostream& err) {
  std::optional<std::pair<bool, std::string>> result;
  session.controller().writeToMouse(save, [&](bool ok, std::string message) {
    result.emplace(ok, std::move(message));
    session.stop();
  });
  if (!session.runUntil([&] { return result.has_value(); }, kCommandLimitSeconds)) return timedOut(err);
  (result->first ? out : err) << result->second << '\n';
  return result->first ? 0 : 1;
}

// Passes on what saving the settings file logged; false when the save failed.
bool reportSave(const Controller& c, std::size_t logMark, std::ostream& err) {
  static constexpr std::string_view failed = "Could not save settings: ";
  static constexpr std::string_view movedAside = "Moved the unreadable settings file to ";
  bool saved = true;
  for (std::size_t i = logMark; i < c.log().size(); ++i) {
    const std::string& entry = c.log()[i];
    if (auto at = entry.find(failed); at != std::string::npos) {
      err << "tandemoctl: " << entry.substr(at) << '\n';
      saved = false;
    } else if (at = entry.find(movedAside); at != std::string::npos) {
      err << "tandemoctl: " << entry.substr(at) << '\n';
    }
  }
  return saved;
}

int reset(Session& session, std::ostream& out, std::ostream& err) {
  Controller& c = session.controller();
  const std::size_t logMark = c.log().size();
  c.restoreFactory();
  const bool finished = session.runUntil([&] { return !c.writing(); }, kCommandLimitSeconds);
  c.flushPendingSave();
  const bool saved = reportSave(c, logMark, err);
  if (!finished) return timedOut(err);
  const std::string message = c.lastWriteMessage().value_or("");
  (c.lastWriteFailed() ? err : out) << message << '\n';
  return c.lastWriteFailed() || !saved ? 1 : 0;
}

int runCommand(Session& session, const OnlineOptions& options, std::ostream& out, std::ostream& err) {
  if (options.command == Command::status) return status(session, out, err);
  if (!session.controller().connected()) {
    err << notConnected(session) << '\n';
    return 3;
  }
  switch (options.command) {
    case Command::write: return write(session, options.save, out, err);
    case Command::reset: return reset(session, out, err);
    case Command::firmware: return firmware(session, out, err);
    case Command::status:
    case Command::pin: break;
  }
  return status(session, out, err);
}

}  // namespace

int runOnline(const OnlineOptions& options, std::ostream& out, std::ostream& err) {
  if (!options.simulation.enabled) {
    if (const auto answered = runThroughApp(options, out, err)) return *answered;
  }
  if (options.command == Command::pin) return pinAlone(options, err);
  // A private virtual mouse needs no lock; the real one is used by one program at a time.
  std::optional<linux_platform::MouseLock> lock;
  if (!options.simulation.enabled) {
    auto acquired = linux_platform::MouseLock::acquire(options.lockWait);
    if (acquired) {
      lock.emplace(std::move(acquired).value());
    } else if (std::holds_alternative<linux_platform::MouseLockBusy>(acquired.error())) {
      err << "tandemoctl: " << linux_platform::describe(acquired.error()) << '\n';
      return 1;
    } else {
      // A lock that cannot be made (a read-only runtime folder) protects nothing: go on alone.
      err << "tandemoctl: " << linux_platform::describe(acquired.error()) << "; going on without it\n";
    }
  }
  linux_platform::PosixFileSystem files;
  StateStore probe(files, settingsFile(options));
  if (const LoadResult loaded = probe.load(); loaded.source == LoadResult::Source::unreadable) {
    err << "tandemoctl: " << probe.file().string() << " cannot be used (" << loaded.problem
        << "); using the default settings\n";
  }
  Session session(options);
  const int code = runCommand(session, options, out, err);
  if (options.simulation.trace) session.trace(out);
  return code;
}

}  // namespace tandemo
