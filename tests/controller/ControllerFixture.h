#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FakeMouse.h"
#include "controller/Controller.h"
#include "core/VirtualLoop.h"
#include "model/StateCodec.h"
#include "sim/FakeServices.h"
#include "sim/RecordingEventSink.h"
#include "sim/ScriptedWorkspace.h"

namespace tandemo {

using Button = Rival500::Button;

inline constexpr const char* kSettingsPath = "/home/me/.config/Tandemo/state.json";

// The default state with no control bridged: nothing asks for the keyboard interface.
inline AppState plainState() {
  AppState state = AppState::wowDefault();
  state.hardware = HardwareConfig::factory();
  return state;
}

// A profile for selection tests.
inline Profile profile(std::string name, std::vector<std::string> bundleIDs) {
  return {Uuid::random(), std::move(name), std::move(bundleIDs), {}};
}

class ControllerTest : public ::testing::Test {
 protected:
  explicit ControllerTest(bool pluggedIn = true) : mouse(loop, pluggedIn) {}

  void start(bool writeOnConnectAtStart = true) {
    controller = std::make_unique<Controller>(ControllerServices{
        loop, mouse, events, workspace, loginItem, systemLog, timeOfDay, store, "org.tandemo.Tandemo",
        writeOnConnectAtStart});
    controller->subscribe([this](Controller::Property property) { told.push_back(property); });
  }
  void startWith(const AppState& state, bool writeOnConnectAtStart = true) {
    files.put(kSettingsPath, encodeState(state));
    start(writeOnConnectAtStart);
  }
  // Starts without the start-up write and lets the firmware query finish.
  void startSettled(const AppState& state) {
    startWith(state, false);
    loop.advance(seconds(1));
    mouse.clearCommands();
    told.clear();
  }

  Controller& c() { return *controller; }
  AppState edited(void (*edit)(AppState&)) {
    AppState next = c().state();
    edit(next);
    return next;
  }
  std::optional<AppState> saved() {
    auto text = files.content(kSettingsPath);
    if (!text) return std::nullopt;
    auto state = decodeState(*text);
    if (!state) return std::nullopt;
    return std::move(state).value();
  }

  // Holds or lets go of a bridged button through the seized keyboard interface.
  void hold(Button button) {
    mouse.keyboard().deliver(1, {1, 0, 0, *Rival500::markerKey(button), 0, 0, 0, 0, 0});
  }
  void letGo() { mouse.keyboard().deliver(1, {1, 0, 0, 0, 0, 0, 0, 0, 0}); }
  // Host mouse buttons held by synthesised events (events number them from 0).
  std::set<int> heldMouseButtons() const {
    std::set<int> held;
    for (int number : events.held().mouseButtons) held.insert(number + 1);
    return held;
  }

  std::vector<std::string> logLines() const { return {c_log().begin(), c_log().end()}; }
  const std::deque<std::string>& c_log() const { return controller->log(); }
  std::size_t toldCount(Controller::Property property) const {
    return static_cast<std::size_t>(std::count(told.begin(), told.end(), property));
  }

  VirtualLoop loop;
  fake::FakeMouse mouse;
  RecordingEventSink events{loop};
  sim::ScriptedWorkspace workspace;
  sim::FakeLoginItem loginItem;
  sim::RecordingSystemLog systemLog;
  sim::FixedTimeOfDay timeOfDay;
  sim::MemoryFileSystem files;
  StateStore store{files, kSettingsPath};
  std::vector<Controller::Property> told;
  std::unique_ptr<Controller> controller;  // last: goes first
};

class UnpluggedControllerTest : public ControllerTest {
 protected:
  UnpluggedControllerTest() : ControllerTest(false) {}
};

}  // namespace tandemo
