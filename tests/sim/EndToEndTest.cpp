#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "controller/Controller.h"
#include "core/VirtualLoop.h"
#include "model/StateCodec.h"
#include "sim/FakeServices.h"
#include "sim/RecordingEventSink.h"
#include "sim/ScriptedWorkspace.h"
#include "sim/VirtualRival500.h"

namespace tandemo::sim {
namespace {

using Rival500::Button;
using Events = std::vector<SynthEvent>;

constexpr const char* kSettingsPath = "/home/me/.config/Tandemo/state.json";

SynthEvent otherMouseButton10(bool down) { return MouseButtonEvent{down ? 25 : 26, 9, 1, {}, 0, FlagsMode::addToOwn}; }

// The whole application on virtual time, with the virtual mouse plugged in and WoW in front.
class EndToEnd : public ::testing::Test {
 protected:
  void start(const AppState& state) {
    workspace.setFront("com.blizzard.worldofwarcraft");
    files.put(kSettingsPath, encodeState(state));
    controller = std::make_unique<Controller>(ControllerServices{
        loop, mouse, events, workspace, loginItem, systemLog, timeOfDay, store, "org.tandemo.Tandemo", true});
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
  start(AppState::wowDefault());
  loop.advance(seconds(0.34));  // the firmware query, then six packets 0.05 s apart
  EXPECT_TRUE(controller->writing());
  loop.advance(seconds(0.01));
  EXPECT_EQ(controller->lastWriteMessage(), "Written to the mouse");
  EXPECT_EQ(mouse.settings().assignments.at(Button::button10), Rival500::Assignment::bridge());

  mouse.press(Button::button10);
  loop.runUntilIdle();
  EXPECT_EQ(events.events(), Events{otherMouseButton10(true)});
  mouse.release(Button::button10);
  loop.runUntilIdle();
  EXPECT_EQ(events.events(), (Events{otherMouseButton10(true), otherMouseButton10(false)}));
}

TEST_F(EndToEnd, RefusedThirdPacketEndsTheStartUpWrite) {
  mouse.refuseReport(3, kIOReturnExclusiveAccess);  // the query, DPI 1, then DPI 2
  start(AppState::wowDefault());
  loop.advance(seconds(1));
  const std::string message = "The mouse refused a packet (03 00): another program has the mouse open exclusively";
  EXPECT_TRUE(controller->lastWriteFailed());
  EXPECT_EQ(controller->lastWriteMessage(), message);
  EXPECT_THAT(controller->log(), ::testing::Contains("09:05:03  Write failed: " + message));
  EXPECT_EQ(mouse.reports().size(), 3u);
}

TEST_F(EndToEnd, UnplugWhileABridgedChordIsHeldLeavesNothingDown) {
  AppState state = AppState::wowDefault();
  state.profiles[0].actions[Button::button10] = HostAction{HostAction::Key{KeyChord{0, true, false, false, false}}};
  start(state);
  loop.advance(seconds(1));
  mouse.press(Button::button10);
  loop.runUntilIdle();
  EXPECT_TRUE(events.held().keys.contains(0));  // shift-A
  mouse.unplug();
  loop.runUntilIdle();
  EXPECT_TRUE(events.held().empty()) << ::testing::PrintToString(events.lines());
  EXPECT_TRUE(controller->pressedButtons().empty());
}

}  // namespace
}  // namespace tandemo::sim
