#pragma once

// The controller on virtual time with the simulated mouse and desktop, shared by the controller's
// test files.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <memory>

#include "controller/Controller.h"
#include "core/VirtualLoop.h"
#include "model/StateCodec.h"
#include "sim/FakeServices.h"
#include "sim/RecordingEventSink.h"
#include "sim/ScriptedWorkspace.h"
#include "sim/VirtualRival500.h"

namespace tandemo {

using Button = Rival500::Button;
using Property = Controller::Property;
using Commands = std::vector<std::uint8_t>;
using Result = std::optional<std::pair<bool, std::string>>;

inline const std::filesystem::path kSettingsPath = "/home/me/.config/Tandemo/state.json";

// 5 March 2024, 14:07:09 on the local clock: names the file an unreadable one is moved to.
inline std::chrono::system_clock::time_point march5() {
  std::tm t{};
  t.tm_year = 124; t.tm_mon = 2; t.tm_mday = 5; t.tm_hour = 14; t.tm_min = 7; t.tm_sec = 9; t.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&t));
}
// DPI 1, DPI 2, polling, logo, wheel, button map; then the save.
inline const Commands kConfiguration = {0x03, 0x03, 0x04, 0x05, 0x05, 0x31};
inline const Commands kSaved = {0x03, 0x03, 0x04, 0x05, 0x05, 0x31, 0x09};
inline const std::string kHiddenKeys =
    "App-controlled buttons send their hidden keys (F13–F24) to the desktop while Tandemo does not hold the "
    "mouse's keyboard interface; the desktop may act on some of them (microphone mute, touchpad toggle)";

// The default state with no control bridged: nothing asks for the keyboard interface.
inline AppState plainState() {
  AppState state = AppState::wowDefault();
  state.hardware = HardwareConfig::factory();
  return state;
}

class ControllerTest : public ::testing::Test {
 protected:
  explicit ControllerTest(bool pluggedIn = true) : mouse(loop, pluggedIn) {}

  // Without a state, there is no settings file.
  void start(std::optional<AppState> state = std::nullopt, bool writeOnConnectAtStart = true,
             bool bridgeEnabled = true) {
    if (state) files.put(kSettingsPath, encodeState(*state));
    controller = std::make_unique<Controller>(ControllerServices{
        loop, mouse, events, workspace, loginItem, systemLog, timeOfDay, store, "org.tandemo.Tandemo",
        writeOnConnectAtStart, bridgeEnabled});
    controller->subscribe([this](Property property) { told.push_back(property); });
  }
  // Starts, lets the start-up write program the mouse, then forgets what was sent and told.
  void startSettled(const AppState& state) {
    start(state);
    loop.advance(seconds(1));
    sentBefore = mouse.reports().size();
    told.clear();
  }

  Controller& c() { return *controller; }
  template <class Edit>
  void change(Edit edit) {
    AppState next = c().state();
    edit(next);
    c().setState(std::move(next));
  }
  void front(std::optional<std::string> bundleID) {
    workspace.activate(std::move(bundleID));
    loop.runUntilIdle();
  }
  Controller::WriteDone into(Result& result) {
    return [&result](bool ok, std::string message) { result.emplace(ok, std::move(message)); };
  }
  AppState saved() const { return decodeState(files.content(kSettingsPath).value_or("")).value(); }
  // Command bytes of the reports that reached the mouse since `sentBefore`.
  Commands commands() const {
    Commands sent;
    for (const auto& report : mouse.reports()) sent.push_back(report.bytes.at(0));
    return {sent.begin() + static_cast<std::ptrdiff_t>(sentBefore), sent.end()};
  }
  std::vector<std::string> logLines() const { return {controller->log().begin(), controller->log().end()}; }
  long logged(const std::string& line) const { return std::ranges::count(logLines(), "09:05:03  " + line); }

  VirtualLoop loop;
  sim::VirtualRival500 mouse;
  RecordingEventSink events{loop};
  sim::ScriptedWorkspace workspace;
  sim::FakeLoginItem loginItem;
  sim::RecordingSystemLog systemLog;
  sim::FixedTimeOfDay timeOfDay;
  sim::MemoryFileSystem files;
  StateStore store{files, kSettingsPath, march5};
  std::vector<Property> told;
  std::size_t sentBefore = 0;
  std::unique_ptr<Controller> controller;  // last: goes first
};

class UnpluggedControllerTest : public ControllerTest {
 protected:
  UnpluggedControllerTest() : ControllerTest(false) {}
};

}  // namespace tandemo
