#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "controller/Controller.h"
#include "core/VirtualLoop.h"
#include "model/StateCodec.h"
#include "sim/FakeServices.h"
#include "sim/RecordingEventSink.h"
#include "sim/ScriptedWorkspace.h"
#include "sim/VirtualRival500.h"

namespace tandemo::sim {
namespace {

using Rival500::Assignment;
using Rival500::Button;

constexpr const char* kSettingsPath = "/home/me/.config/Tandemo/state.json";
constexpr const char* kWow = "com.blizzard.worldofwarcraft";

// The whole application on virtual time, with the virtual mouse plugged in.
class EndToEnd : public ::testing::Test {
 protected:
  void start(const AppState& state) {
    files.put(kSettingsPath, encodeState(state));
    controller = std::make_unique<Controller>(ControllerServices{
        loop, mouse, events, workspace, loginItem, systemLog, timeOfDay, store, "org.tandemo.Tandemo", true});
  }
  Controller& c() { return *controller; }
  bool logged(const std::string& line) const {
    return std::any_of(controller->log().begin(), controller->log().end(),
                       [&](const std::string& entry) { return entry.ends_with("  " + line); });
  }
  // The mouse events posted so far, as (type, button) pairs.
  std::vector<std::pair<int, int>> clicks() const {
    std::vector<std::pair<int, int>> out;
    for (const SynthEvent& event : events.events()) {
      if (const auto* click = std::get_if<MouseButtonEvent>(&event)) out.emplace_back(click->type, click->button);
    }
    return out;
  }
  Rival500::ButtonMap<Assignment> programmed(const HardwareConfig& config) const {
    Rival500::ButtonMap<Assignment> all;
    for (Button button : Rival500::allButtons) {
      auto found = config.assignments.find(button);
      all.emplace(button, found != config.assignments.end() ? found->second : Rival500::factoryDefault(button));
    }
    return all;
  }

  VirtualLoop loop;
  VirtualRival500 mouse{loop};
  RecordingEventSink events{loop};
  ScriptedWorkspace workspace;
  FakeLoginItem loginItem;
  RecordingSystemLog systemLog;
  FixedTimeOfDay timeOfDay;
  MemoryFileSystem files;
  StateStore store{files, kSettingsPath};
  std::unique_ptr<Controller> controller;  // last: goes first
};

TEST_F(EndToEnd, DefaultStateProgramsTheMouseAndBridgesButtonTen) {
  const AppState state = AppState::wowDefault();
  workspace.setFront(kWow);
  start(state);

  // The firmware query, then six packets 0.05 s apart: done after 0.35 s.
  loop.advance(seconds(0.34));
  EXPECT_TRUE(c().writing());
  loop.advance(seconds(0.01));
  EXPECT_FALSE(c().writing());
  EXPECT_EQ(c().lastWriteMessage(), "Written to the mouse");
  EXPECT_EQ(c().firmware(), "1.07");
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::seized());
  EXPECT_TRUE(logged("Taking over the mouse's extra buttons"));

  const MouseSettings settings = mouse.settings();
  EXPECT_EQ(settings.assignments, programmed(state.hardware));
  EXPECT_EQ(settings.assignments.at(Button::button10), Assignment::bridge());
  EXPECT_EQ(settings.dpi1, 800);
  EXPECT_EQ(mouse.saveCount(), 0);  // the write at start never stores
  EXPECT_TRUE(mouse.violations().empty());

  mouse.press(Button::button10);
  loop.runUntilIdle();
  EXPECT_EQ(clicks(), (std::vector<std::pair<int, int>>{{25, 9}}));  // other mouse button 10 down
  EXPECT_EQ(c().pressedButtons(), (std::set<Button>{Button::button10}));
  mouse.release(Button::button10);
  loop.runUntilIdle();
  EXPECT_EQ(clicks(), (std::vector<std::pair<int, int>>{{25, 9}, {26, 9}}));
  EXPECT_TRUE(c().pressedButtons().empty());

  // The primary button stays the mouse's own: nothing reaches the bridge.
  mouse.press(Button::button1);
  mouse.release(Button::button1);
  loop.runUntilIdle();
  EXPECT_EQ(clicks().size(), 2u);
  EXPECT_EQ(mouse.nativeActions().size(), 2u);
}

TEST_F(EndToEnd, RefusedThirdPacketEndsTheStartUpWrite) {
  AppState state = AppState::wowDefault();
  state.hardware.dpi1 = 400;
  state.hardware.dpi2 = 3200;
  mouse.refuseReport(3, kIOReturnExclusiveAccess);  // the query, DPI 1, then DPI 2
  start(state);
  loop.advance(seconds(1));

  const std::string message = "The mouse refused a packet (03 00): another program has the mouse open exclusively";
  EXPECT_TRUE(c().lastWriteFailed());
  EXPECT_EQ(c().lastWriteMessage(), message);
  EXPECT_TRUE(logged("Write failed: " + message));
  EXPECT_EQ(mouse.reports().size(), 3u);
  EXPECT_EQ(mouse.settings().dpi1, 400);
  EXPECT_EQ(mouse.settings().dpi2, 1600);  // refused: the mouse keeps what it had
  EXPECT_EQ(mouse.settings().assignments, VirtualRival500::factorySettings().assignments);
}

TEST_F(EndToEnd, UnplugWhileAChordIsHeldLeavesNothingDownAndReplugWritesAgain) {
  AppState state = AppState::wowDefault();
  const KeyChord shiftA{0, true, false, false, false};
  state.profiles[0].actions[Button::button10] = HostAction{HostAction::Key{shiftA}};
  workspace.setFront(kWow);
  start(state);
  loop.advance(seconds(1));

  mouse.press(Button::button10);
  loop.runUntilIdle();
  ASSERT_FALSE(events.held().empty());
  EXPECT_TRUE(events.held().keys.contains(0));  // A, with shift

  mouse.unplug();
  loop.runUntilIdle();
  EXPECT_TRUE(events.held().empty()) << ::testing::PrintToString(events.lines());
  EXPECT_TRUE(c().pressedButtons().empty());
  EXPECT_FALSE(c().connected());
  EXPECT_FALSE(c().firmware());
  EXPECT_TRUE(logged("Rival 500 disconnected"));
  mouse.release(Button::button10);  // nothing left to send
  loop.runUntilIdle();
  EXPECT_TRUE(events.held().empty());

  // A plugged-in mouse starts from its memory (the factory map) and is programmed again.
  mouse.plugIn();
  loop.runUntilIdle();
  EXPECT_EQ(mouse.settings(), VirtualRival500::factorySettings());
  loop.advance(seconds(0.35));
  EXPECT_EQ(c().lastWriteMessage(), "Written to the mouse");
  EXPECT_EQ(mouse.settings().assignments, programmed(state.hardware));
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::seized());
}

TEST_F(EndToEnd, FactoryResetStoresInMemoryAndHandsTheKeyboardBack) {
  start(AppState::wowDefault());
  loop.advance(seconds(1));
  ASSERT_TRUE(mouse.keyboardSeized());

  c().restoreFactory();
  loop.advance(seconds(0.35));  // six packets and the save
  EXPECT_EQ(c().lastWriteMessage(), "Written and saved to the mouse's memory");
  EXPECT_EQ(mouse.saveCount(), 1);
  EXPECT_EQ(mouse.storedSettings(), VirtualRival500::factorySettings());
  EXPECT_FALSE(mouse.keyboardSeized());
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::idle());

  // Button 10 is the mouse's own DPI switch again.
  mouse.press(Button::button10);
  loop.runUntilIdle();
  EXPECT_EQ(mouse.activeDpiPreset(), 2);
  EXPECT_TRUE(clicks().empty());
}

}  // namespace
}  // namespace tandemo::sim
