// The product's Linux backend (hidraw, evdev, uinput) and controller against the fake mouse, on
// the real poll loop with its real threads, and the real tandemoctl binary. Built only when the
// backend is part of the tree.

#include <linux/input-event-codes.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <thread>

#include "Scenarios.h"
#include "controller/Controller.h"
#include "linux/HidrawManager.h"
#include "linux/PollLoop.h"
#include "linux/UinputEventSink.h"
#include "model/StateCodec.h"
#include "sim/FakeServices.h"
#include "sim/ScriptedWorkspace.h"
#include "sim/VirtualFirmware.h"

namespace tandemo::guest {
namespace {

using Rival500::Assignment;
using Rival500::Button;
using Keyboard = HIDLink::KeyboardState;

constexpr auto connectLimit = 3000ms;
constexpr auto writeLimit = 5000ms;
constexpr const char* ourDevicePrefix = "Tandemo";  // our uinput device's name starts with it
constexpr std::uint16_t macKeyB = 0x0B;
constexpr const char* stateFile = "/root/state.json";

// button4 app-controlled (control-B everywhere); button5 holds left shift, button6 volume up,
// button7 types "a": the mouse's own keys, passed through while the keyboard is seized.
AppState scenarioState(bool bridged) {
  AppState state;
  state.hardware.dpi1 = 1200;
  state.hardware.pollingHz = 500;
  state.hardware.assignments[Button::button4] = bridged ? Assignment::bridge() : Assignment::key(0x05);
  state.hardware.assignments[Button::button5] = Assignment::key(0xE1);
  state.hardware.assignments[Button::button6] = Assignment::media(0xE9);
  state.hardware.assignments[Button::button7] = Assignment::key(0x04);
  Profile everywhere{Uuid::random(), "Everywhere", {}, {}};
  everywhere.actions[Button::button4] = HostAction{HostAction::Key{KeyChord{macKeyB, false, true, false, false}}};
  state.profiles = {everywhere};
  state.saveToOnboardMemory = true;  // the write on connection must not save all the same
  return state;
}

// What the firmware holds once the hardware settings are written.
sim::MouseSettings programmed(const HardwareConfig& hardware) {
  sim::MouseSettings settings = sim::VirtualRival500::factorySettings();
  const auto packets = hardware.packets();  // kept: the loop would outlive a temporary
  for (const Rival500::Packet& packet : *packets) {
    const auto type = packet.type == Rival500::ReportType::output ? HidReportType::output : HidReportType::feature;
    (void)sim::applyReport(settings, type, 0, wireBytes(packet));
  }
  return settings;
}

// The controller on the real poll loop, which its own thread runs as the app's main thread would.
class Backend {
 public:
  explicit Backend(const AppState& initial) {
    files_.put(stateFile, encodeState(initial));
    thread_ = std::thread([this] { loop_.run(); });
    onLoop([this] {
      hid_ = std::make_unique<linux_platform::HidrawManager>(loop_);
      events_ = std::make_unique<linux_platform::UinputEventSink>(loop_);
      controller_ = std::make_unique<Controller>(ControllerServices{
          loop_, *hid_, *events_, workspace_, loginItem_, systemLog_, timeOfDay_, store_});
    });
  }
  ~Backend() {
    onLoop([this] {
      controller_.reset();
      events_.reset();
      hid_.reset();
    });
    loop_.quit();
    thread_.join();
  }
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  // Runs `fn` with the controller on the loop's thread and returns its result.
  template <class Fn>
  std::invoke_result_t<Fn, Controller&> call(Fn fn) {
    return onLoop([&] { return fn(*controller_); });
  }

  bool waitFor(const std::function<bool(Controller&)>& condition, milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!call(condition)) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

  // Starts a write and waits for its outcome: (ok, message), or nothing within the limit.
  std::optional<std::pair<bool, std::string>> write(std::optional<bool> save) {
    auto done = std::make_shared<std::promise<std::pair<bool, std::string>>>();
    auto outcome = done->get_future();
    call([&](Controller& c) {
      c.writeToMouse(save, [done](bool ok, std::string message) { done->set_value({ok, std::move(message)}); });
      return 0;
    });
    if (outcome.wait_for(writeLimit) != std::future_status::ready) return std::nullopt;
    return outcome.get();
  }

  bool connectedWithFirmware(const std::string& version) {
    return waitFor([&](Controller& c) { return c.connected() && c.firmware() == version && !c.writing(); },
                   connectLimit + writeLimit);
  }

  bool keyboardIs(bool seized) {
    return waitFor([&](Controller& c) { return seized ? c.keyboardState().is<Keyboard::Seized>()
                                                      : c.keyboardState().is<Keyboard::Idle>(); },
                   connectLimit);
  }

 private:
  template <class Fn>
  std::invoke_result_t<Fn> onLoop(Fn fn) {
    std::packaged_task<std::invoke_result_t<Fn>()> task(std::move(fn));
    auto result = task.get_future();
    loop_.post([&task] { task(); });
    return result.get();
  }

  linux_platform::PollLoop loop_;
  std::unique_ptr<linux_platform::HidrawManager> hid_;
  std::unique_ptr<linux_platform::UinputEventSink> events_;
  sim::ScriptedWorkspace workspace_;
  sim::FakeLoginItem loginItem_;
  sim::RecordingSystemLog systemLog_;
  sim::FixedTimeOfDay timeOfDay_;
  sim::MemoryFileSystem files_;
  StateStore store_{files_, stateFile};
  std::unique_ptr<Controller> controller_;
  std::thread thread_;
};

// Which keys a reader has seen go down and not yet up.
class KeyTracker {
 public:
  void add(const std::vector<KeyChange>& changes) {
    for (const KeyChange& change : changes) down_[change.code] = change.value != 0;
    seen_.insert(seen_.end(), changes.begin(), changes.end());
  }
  bool isDown(std::uint16_t code) const { return down_.count(code) && down_.at(code); }
  bool noneDown() const {
    return std::none_of(down_.begin(), down_.end(), [](const auto& entry) { return entry.second; });
  }
  bool saw(KeyChange change) const { return std::find(seen_.begin(), seen_.end(), change) != seen_.end(); }

 private:
  std::map<std::uint16_t, bool> down_;
  std::vector<KeyChange> seen_;
};

// Our uinput device, read from the next event on. It may be created with its first event, so a
// bridged click goes first; whatever of it arrives late is read away.
std::unique_ptr<EventReader> readOurDevice(FakeRival500& mouse) {
  mouse.press(Button::button4);
  mouse.release(Button::button4);
  auto node = waitForEventNodeNamed(ourDevicePrefix, connectLimit);
  if (!node) throw std::runtime_error("no uinput device named Tandemo...");
  auto reader = std::make_unique<EventReader>(*node);
  reader->keys(1000, quietWindow);
  return reader;
}

// Reads key changes into `host` until `done` holds; whether it did within the limit.
bool readUntil(EventReader& reader, KeyTracker& host, const std::function<bool()>& done) {
  while (!done()) {
    auto keys = reader.keys(1, eventLimit);
    if (keys.empty()) return false;
    host.add(keys);
  }
  return true;
}

void clickOn(FakeRival500& mouse, Button button) {
  mouse.press(button);
  mouse.release(button);
}

// Found when plugged in after the start: read, written without saving, the pointer left alone.
void hotPlugWritesOnConnect(Checks& t) {
  FakeRival500 mouse;
  mouse.setFirmwareVersion(112);
  const AppState state = scenarioState(false);
  Backend backend(state);
  t.expect(backend.waitFor([](Controller& c) { return !c.connected() && c.keyboardState().is<Keyboard::Absent>(); },
                           connectLimit),
           "no mouse at start");
  mouse.plugIn();
  t.expect(backend.connectedWithFirmware("1.12"), "the plugged-in mouse is found and its firmware read");
  t.expect(backend.waitFor([&](Controller&) { return mouse.settings() == programmed(state.hardware); }, writeLimit),
           "the firmware holds the configuration");
  t.expect(mouse.saveCount() == 0 && mouse.firmwareQueries() >= 1, "queried, not saved");
  t.expect(backend.keyboardIs(false), "keyboard interface idle: nothing is app-controlled");
  t.expect(mouse.opens(Interface::pointer) == 0, "the pointer interface is left alone");
  for (const std::string& fault : mouse.violations()) t.expect(false, "firmware: " + fault);
}

void savingWriteIsPacedAndOrdered(Checks& t) {
  FakeRival500 mouse;
  mouse.plugIn(false);
  const AppState state = scenarioState(false);
  Backend backend(state);
  if (!t.expect(backend.connectedWithFirmware("1.07"), "connected")) return;
  const std::size_t mark = mouse.reports().size();
  auto outcome = backend.write(true);
  t.expect(outcome && outcome->first, "the write succeeds: " + (outcome ? outcome->second : "no answer"));
  auto expected = *state.hardware.packets();
  expected.push_back(Rival500::savePacket());
  const auto reports = mouse.reports();
  const auto times = mouse.reportTimes();
  if (!t.expect(reports.size() == mark + expected.size(), "seven packets")) return;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    t.expect(reports[mark + i].bytes == wireBytes(expected[i]), "packet " + std::to_string(i + 1) + " as built");
    // The link pauses 50 ms after each packet; allow for the clock's and the scheduler's grain.
    if (i > 0) t.expect(times[mark + i] - times[mark + i - 1] >= 45ms, "paced: packet " + std::to_string(i + 1));
  }
  t.expect(mouse.saveCount() == 1 && mouse.storedSettings() == programmed(state.hardware), "saved in the mouse");
  // The logo's light, a feature report: uhid has no way to fail an output report's write().
  const std::size_t refusedMark = mouse.reports().size();
  mouse.refuseReport(4);
  outcome = backend.write(false);
  t.expect(outcome && !outcome->first, "a write with a refused packet fails");
  if (outcome) {
    t.expect(outcome->second.rfind("The mouse refused a packet (05 00): ", 0) == 0, "message: " + outcome->second);
  }
  t.expect(mouse.reports().size() == refusedMark + 4, "nothing is sent after the refused packet");
}

void seizedKeyboardBridgesAndPassesThrough(Checks& t) {
  FakeRival500 mouse;
  mouse.plugIn();
  Backend backend(scenarioState(true));
  if (!t.expect(backend.connectedWithFirmware("1.07") && backend.keyboardIs(true), "connected and seized")) return;
  EventReader other(*nodesOf(Interface::keyboard).event);
  auto reader = readOurDevice(mouse);
  EventReader& ours = *reader;
  KeyTracker host;
  clickOn(mouse, Button::button4);
  host.add(ours.keys(4, eventLimit));
  t.expect(host.saw({KEY_B, 1}) && host.saw({KEY_B, 0}) && host.noneDown(), "the bridged click types B");
  t.expect(host.saw({KEY_LEFTCTRL, 1}) || host.saw({KEY_RIGHTCTRL, 1}), "with control held");
  clickOn(mouse, Button::button7);
  t.expect(ours.keys(2, eventLimit) == std::vector<KeyChange>{{KEY_A, 1}, {KEY_A, 0}}, "an ordinary key passes through");
  clickOn(mouse, Button::button6);
  t.expect(ours.keys(2, eventLimit) == std::vector<KeyChange>{{KEY_VOLUMEUP, 1}, {KEY_VOLUMEUP, 0}},
           "a media key passes through");
  t.expect(other.silentFor(quietWindow), "the seized keyboard node is silent for other readers");
  t.expect(mouse.opens(Interface::pointer) == 0, "the pointer interface is left alone");
  // Unplugged with keys held: every key read back goes up.
  KeyTracker held;
  for (Button button : {Button::button4, Button::button5, Button::button6}) mouse.press(button);
  t.expect(readUntil(ours, held, [&] { return held.saw({KEY_B, 1}) && held.isDown(KEY_LEFTSHIFT) && held.isDown(KEY_VOLUMEUP); }),
           "chord pressed, shift and volume up held");
  mouse.unplug();
  t.expect(backend.waitFor([](Controller& c) { return !c.connected(); }, connectLimit), "the unplug is noticed");
  t.expect(readUntil(ours, held, [&] { return held.noneDown(); }), "every key read back has gone up");
}

void seizeReleasedWhenNothingIsAppControlled(Checks& t) {
  FakeRival500 mouse;
  mouse.plugIn();
  Backend backend(scenarioState(true));
  if (!t.expect(backend.connectedWithFirmware("1.07") && backend.keyboardIs(true), "connected and seized")) return;
  backend.call([](Controller& c) {
    c.setState(scenarioState(false));
    return 0;
  });
  t.expect(backend.keyboardIs(false), "the seize is released");
  t.expect(backend.waitFor([](Controller& c) { return !c.writing(); }, writeLimit), "the new assignments are written");
  EventReader other(*nodesOf(Interface::keyboard).event);
  clickOn(mouse, Button::button7);
  t.expect(other.keys(2, eventLimit) == std::vector<KeyChange>{{KEY_A, 1}, {KEY_A, 0}},
           "the mouse's keys reach other readers again");
}

// tandemoctl's output and exit status for `arguments`.
std::pair<int, std::string> tandemoctl(const std::string& arguments) {
  std::string output;
  FILE* pipe = ::popen(("/bin/tandemoctl " + arguments + " --state " + stateFile + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, "popen failed"};
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

void commandLine(Checks& t) {
  const AppState state = scenarioState(false);
  std::ofstream(stateFile) << encodeState(state);
  FakeRival500 mouse;
  mouse.plugIn();
  auto [code, output] = tandemoctl("status");
  t.expect(code == 0 && output.find("connected: yes") != std::string::npos &&
               output.find("firmware: 1.07") != std::string::npos,
           "status: " + output);
  std::tie(code, output) = tandemoctl("write --save");
  t.expect(code == 0 && mouse.saveCount() == 1 && mouse.storedSettings() == programmed(state.hardware),
           "write --save: " + output);
  std::tie(code, output) = tandemoctl("firmware");
  t.expect(code == 0 && output == "1.07\n", "firmware: " + output);
  mouse.unplug();
  std::tie(code, output) = tandemoctl("write");
  t.expect(code == 3 && output.find("not plugged in") != std::string::npos, "write after unplug: " + output);
  t.expect(mouse.opens(Interface::pointer) == 0, "the pointer interface is left alone");
}

}  // namespace

std::vector<Scenario> backendScenarios() {
  return {
      {"backend: a mouse plugged in later is found, read and written", hotPlugWritesOnConnect},
      {"backend: a saving write sends seven packets in order, paced; a refused packet stops a write with its "
       "message", savingWriteIsPacedAndOrdered},
      {"backend: app-controlled controls seize the keyboard; bridged and passed-through keys; unplugging with "
       "keys held leaves none down", seizedKeyboardBridgesAndPassesThrough},
      {"backend: the seize ends when nothing is app-controlled", seizeReleasedWhenNothingIsAppControlled},
      {"tandemoctl: status, write --save, firmware, exit 3 after unplug", commandLine},
  };
}

}  // namespace tandemo::guest
