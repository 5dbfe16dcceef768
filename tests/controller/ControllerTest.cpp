#include <gmock/gmock.h>

#include <functional>

#include "ControllerFixture.h"

namespace tandemo {
namespace {

using ::testing::ElementsAre;

// ---- start-up and the cable ----

TEST_F(ControllerTest, StartReadsTheFirmwareThenWritesWithoutSavingAndLogsNoConnection) {
  AppState state = plainState();
  state.saveToOnboardMemory = true;
  workspace.setFront("org.tandemo.Tandemo");  // taken as is at start, even our own
  start(state);
  EXPECT_EQ(c().frontBundleID(), "org.tandemo.Tandemo");
  loop.advance(seconds(1));
  for (bool writeOnConnect : {false, true}) {
    change([&](AppState& s) { s.writeOnConnect = writeOnConnect; });
    mouse.unplug();
    loop.runUntilIdle();
    EXPECT_FALSE(c().connected() || c().firmware());
    mouse.plugIn();
    loop.advance(seconds(1));
  }
  EXPECT_EQ(commands(), (Commands{0x10, 0x03, 0x03, 0x04, 0x05, 0x05, 0x31, 0x10, 0x10, 0x03, 0x03, 0x04, 0x05,
                                  0x05, 0x31}));
  EXPECT_THAT(logLines(), ElementsAre("09:05:03  Written to the mouse", "09:05:03  Rival 500 disconnected",
                                      "09:05:03  Rival 500 connected", "09:05:03  Rival 500 disconnected",
                                      "09:05:03  Rival 500 connected", "09:05:03  Written to the mouse"));
}

// A refusal during the start-up write: the query, DPI 1, then the refused DPI 2, and nothing after.
TEST_F(ControllerTest, ARefusedStartUpPacketEndsTheWriteWithItsMessageAndLogLine) {
  mouse.refuseReport(3, kIOReturnExclusiveAccess);
  start(AppState::wowDefault());
  loop.advance(seconds(1));
  const std::string message = "The mouse refused a packet (03 00): another program has the mouse open exclusively";
  EXPECT_TRUE(c().lastWriteFailed());
  EXPECT_EQ(c().lastWriteMessage(), message);
  EXPECT_EQ(logged("Write failed: " + message), 1);
  EXPECT_EQ(mouse.reports().size(), 3u);
}

// ---- saving ----

TEST_F(UnpluggedControllerTest, SavesHalfASecondAfterTheLastChangeAtOnceWhenFlushedOrQuittingAndLogsFailures) {
  const std::string unreadable = "{\"autoSwitch\": tru";
  files.put(kSettingsPath, unreadable);
  start();  // the default state, not saved and not moved aside before a change
  loop.advance(seconds(5));
  EXPECT_EQ(files.writeCount(), 0);
  for (int dpi : {400, 500, 600}) {
    loop.advance(seconds(0.15));
    change([&](AppState& s) { s.hardware.dpi1 = dpi; });
  }
  loop.advance(seconds(0.499));
  EXPECT_EQ(files.writeCount(), 0);
  loop.advance(seconds(0.001));
  EXPECT_EQ(files.writeCount(), 1);
  EXPECT_EQ(saved().hardware.dpi1, 600);
  ASSERT_EQ(c().log().size(), 1u);
  const std::string prefix = "09:05:03  Moved the unreadable settings file to ";
  ASSERT_TRUE(c().log().front().starts_with(prefix)) << c().log().front();
  EXPECT_EQ(files.content(c().log().front().substr(prefix.size())), unreadable);

  change([](AppState& s) { s.hardware.dpi2 = 3200; });
  c().flushPendingSave();
  EXPECT_EQ(saved().hardware.dpi2, 3200);
  loop.advance(seconds(1));
  EXPECT_EQ(files.writeCount(), 2);  // the timer does not save a second time

  files.failWrites("No space left on device");
  change([](AppState& s) { s.writeOnConnect = false; });
  loop.advance(seconds(0.5));
  EXPECT_EQ(logLines().back(), "09:05:03  Could not save settings: No space left on device");
  files.failWrites(std::nullopt);
  controller.reset();  // quitting with no further change: the failed save is retried
  EXPECT_FALSE(saved().writeOnConnect);
  EXPECT_EQ(files.writeCount(), 3);

  start();
  files.failWrites("Read-only file system");
  change([](AppState& s) { s.writeOnConnect = true; });
  c().flushPendingSave();
  change([](AppState& s) { s.openWindowAtLaunch = false; });  // a newer change replaces the failed one
  files.failWrites(std::nullopt);
  controller.reset();
  EXPECT_TRUE(saved().writeOnConnect && !saved().openWindowAtLaunch);
  loop.advance(seconds(1));  // nothing left behind that reaches the dead controller
  EXPECT_EQ(files.writeCount(), 4);
}

// ---- the keyboard interface and the bridge ----

TEST_F(ControllerTest, WithTheBridgeOffTheKeyboardInterfaceIsNeverSeizedAndTheHiddenKeysWarningIsLoggedOnce) {
  start(AppState::wowDefault(), /*writeOnConnectAtStart=*/false, /*bridgeEnabled=*/false);
  loop.advance(seconds(5));
  EXPECT_FALSE(c().hid().seizeWanted() || mouse.keyboardSeized());
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::idle());
  c().setAssignment(Button::button4, Rival500::Assignment::bridge());
  c().writeToMouse(false);  // the firmware now sends hidden keys
  loop.advance(seconds(1));
  mouse.press(Button::button10);  // bridged: its hidden key goes to the system, nothing is posted
  mouse.release(Button::button10);
  loop.advance(seconds(1));
  EXPECT_FALSE(mouse.keyboardSeized());
  EXPECT_EQ(mouse.systemReports().size(), 2u);
  EXPECT_TRUE(events.events().empty());
  EXPECT_TRUE(c().hiddenKeysReachDesktop());
  EXPECT_EQ(logged(kHiddenKeys), 1);
}

// Logged once each time a bridged control meets a keyboard interface that is not seized (the
// warning shown for each keyboard state: SetupViewTest).
TEST_F(ControllerTest, HiddenKeysWarningFollowsTheSeizeAndTheBridgedControls) {
  mouse.setSeizeResult(kIOReturnNotPermitted);
  start(plainState());
  loop.runUntilIdle();
  c().setAssignment(Button::button10, Rival500::Assignment::bridge());
  loop.advance(seconds(6));  // three polls, each retrying in vain
  EXPECT_EQ(logged(kHiddenKeys), 1);
  mouse.setSeizeResult(std::nullopt);
  loop.advance(seconds(2));
  EXPECT_FALSE(c().hiddenKeysReachDesktop());
  mouse.unplug();
  loop.runUntilIdle();
  mouse.setSeizeResult(kIOReturnExclusiveAccess);
  mouse.plugIn();
  loop.runUntilIdle();
  EXPECT_EQ(logged(kHiddenKeys), 2);
  c().setAssignment(Button::button10, Rival500::Assignment::key(0x3A));  // F1: nothing bridged again
  EXPECT_FALSE(c().hiddenKeysReachDesktop());
  mouse.setSeizeResult(std::nullopt);
  controller.reset();
  start(AppState::wowDefault());  // seized during start-up: no warning
  loop.advance(seconds(1));
  EXPECT_EQ(logged(kHiddenKeys), 0);
}

TEST_F(ControllerTest, PinningSwitchingAndUnbridgingReleaseTheBridgeButRenamingDoesNot) {
  startSettled(AppState::wowDefault());
  mouse.press(Button::button9);
  loop.runUntilIdle();
  change([](AppState& s) { s.profiles[1].name = "Elsewhere"; });
  EXPECT_EQ(events.held().mouseButtons, std::set<int>{8});  // mouse button 9 (numbered from 0)
  change([](AppState& s) { s.autoSwitch = false; });
  EXPECT_TRUE(events.held().empty() && c().pressedButtons().empty());
  EXPECT_EQ(std::ranges::count(told, Property::pressedButtons), 2);

  mouse.release(Button::button9);
  mouse.press(Button::button9);
  // Runs after the press reached the bridge, before the controller's own task about it.
  loop.post([this] { change([](AppState& s) { s.pinnedProfileID = s.profiles[0].id; }); });
  loop.runUntilIdle();
  // Released, and the press that the release ended no longer counts.
  EXPECT_TRUE(events.held().empty() && c().pressedButtons().empty());

  mouse.release(Button::button9);
  mouse.press(Button::button9);
  loop.runUntilIdle();
  EXPECT_EQ(events.held().mouseButtons, std::set<int>{8});  // mouse button 9 (numbered from 0)
  change([](AppState& s) { s.hardware = HardwareConfig::factory(); });  // nothing bridged any more
  loop.runUntilIdle();
  EXPECT_FALSE(c().hid().seizeWanted() || mouse.keyboardSeized());
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::idle());
  EXPECT_TRUE(events.held().empty() && c().pressedButtons().empty());
  EXPECT_EQ(logLines().back(), "09:05:03  Released the mouse's extra buttons back to the desktop");
  c().setAssignment(Button::button10, Rival500::Assignment::bridge());
  EXPECT_TRUE(mouse.keyboardSeized());
  EXPECT_TRUE(commands().empty());  // editing never writes to the mouse
}

TEST_F(ControllerTest, FrontChangeReleasesTheBridgeOnlyWhenTheActiveProfileChanges) {
  AppState state = AppState::wowDefault();
  state.profiles[0].bundleIDs = {"com.blizzard."};
  startSettled(state);
  front("com.blizzard.worldofwarcraft");
  mouse.press(Button::button10);
  loop.runUntilIdle();
  told.clear();
  front("org.tandemo.Tandemo");  // our own window changes nothing: no notification below
  front("com.blizzard.diablo");  // same profile
  EXPECT_EQ(events.held().mouseButtons, std::set<int>{9});  // mouse button 10
  EXPECT_EQ(c().pressedButtons(), std::set<Button>{Button::button10});
  front(std::nullopt);  // no identifier is not our own either: the fallback takes over
  EXPECT_FALSE(c().frontBundleID());
  EXPECT_TRUE(events.held().empty() && c().pressedButtons().empty());
  EXPECT_THAT(told, ElementsAre(Property::frontBundleID, Property::frontBundleID, Property::pressedButtons));
}

// ---- writing to the mouse ----

// One write at a time: BusContractTest.
TEST_F(ControllerTest, WritesEndInTheirMessageAndLogLineAndRestoringKeepsTheProfiles) {
  AppState state = AppState::wowDefault();
  state.saveToOnboardMemory = false;
  state.hardware.dpi1 = 400;
  startSettled(state);
  sentBefore = mouse.reports().size();
  c().restoreFactory();
  EXPECT_EQ(c().state().profiles, state.profiles);
  EXPECT_EQ(c().state().hardware, HardwareConfig::factory());
  loop.advance(seconds(1));
  EXPECT_EQ(commands(), kSaved);  // stored in the mouse whatever the setting says
  EXPECT_EQ(saved().hardware, HardwareConfig::factory());

  // Without an explicit choice, saveToOnboardMemory decides; an unbuildable light sends nothing.
  struct Row { std::function<void(AppState&)> edit; Commands sent; std::string message; };
  const Row rows[] = {
      {[](AppState& s) { s.saveToOnboardMemory = true; }, kSaved, "Written and saved to the mouse's memory"},
      {[](AppState& s) { s.saveToOnboardMemory = false; }, kConfiguration, "Written to the mouse"},
      {[](AppState& s) { s.hardware.wheel.stops.clear(); }, {},
       std::string(Rival500::describe(Rival500::LightingError::noStops))},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    change(row.edit);
    sentBefore = mouse.reports().size();
    const std::size_t lines = c().log().size();
    Result result;
    c().writeToMouse(std::nullopt, into(result));
    loop.advance(seconds(1));
    const bool ok = !row.sent.empty();
    EXPECT_EQ(result, std::pair(ok, row.message));
    EXPECT_EQ(commands(), row.sent);
    EXPECT_EQ(c().lastWriteMessage(), row.message);
    EXPECT_EQ(c().lastWriteFailed(), !ok);
    EXPECT_EQ(logLines().size(), lines + (ok ? 1 : 0));
    EXPECT_EQ(logLines().back(), "09:05:03  " + (ok ? row.message : "Written to the mouse"));
  }
}

// ---- profiles ----

// Profiles A "com.blizzard.", B "com.blizzard.worldofwarcraft", C everywhere else.
AppState abc() {
  AppState state = plainState();
  state.profiles = {{Uuid::random(), "A", {"com.blizzard."}, {}},
                    {Uuid::random(), "B", {"com.blizzard.worldofwarcraft"}, {}}, {Uuid::random(), "C", {}, {}}};
  return state;
}

TEST_F(UnpluggedControllerTest, ActiveProfileFollowsTheFrontApplicationUnlessSwitchingIsOffOrPinned) {
  start(abc());
  const Uuid b = c().state().profiles[1].id;
  const std::string wow = "com.blizzard.worldofwarcraft";
  struct Row { std::optional<std::string> front; std::function<void(AppState&)> edit; std::string expected; };
  const Row rows[] = {
      {std::nullopt, {}, "C"},                   // nothing in front
      {wow, {}, "A"},                            // earlier in the list wins over the longer match
      {"com.apple.finder", {}, "C"},
      {"COM.BLIZZARD.worldofwarcraft", {}, "C"},  // case-sensitive
      {"com.blizzard", {}, "C"},                  // an entry is a prefix of the front id, not the reverse
      {wow, [](AppState& s) { s.autoSwitch = false; }, "C"},
      {"org.gnome.Nautilus", [&](AppState& s) { s.autoSwitch = true; s.pinnedProfileID = b; }, "B"},
      {wow, [](AppState& s) { s.pinnedProfileID = Uuid::random(); }, "A"},  // names no profile: absent
      // An empty entry matches nothing; without a fallback the first profile is active.
      {"org.gnome.Nautilus", [](AppState& s) { s.pinnedProfileID.reset(); s.profiles[2].bundleIDs = {""}; }, "A"},
      {"org.gnome.Nautilus", [](AppState& s) { s.profiles.clear(); }, "none"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.front.value_or("nothing") + " in front");
    if (row.edit) change(row.edit);
    front(row.front);
    const auto active = c().activeProfile();
    EXPECT_EQ(active ? active->name : "none", row.expected);
  }
}

TEST_F(UnpluggedControllerTest, AddCopiesTheActiveProfileRemoveUnpinsAndTheLastStays) {
  start(abc());
  const auto id = [this](std::size_t index) { return c().state().profiles[index].id; };
  change([](AppState& s) { s.profiles[0].actions[Button::button9] = HostAction{HostAction::Text{"gg"}}; });
  front("com.blizzard.worldofwarcraft");
  c().addProfile();
  ASSERT_EQ(c().state().profiles.size(), 4u);
  const Profile added = c().state().profiles.back();
  EXPECT_EQ(added, (Profile{added.id, "New profile", {}, c().state().profiles[0].actions}));
  EXPECT_NE(added.id, id(0));
  EXPECT_EQ(c().activeProfile()->name, "A");  // not selected

  const Uuid b = id(1);
  change([&](AppState& s) { s.pinnedProfileID = b; });
  c().removeProfile(b);
  EXPECT_EQ(c().state().profiles.size(), 3u);
  EXPECT_FALSE(c().state().pinnedProfileID);
  while (c().state().profiles.size() > 1) c().removeProfile(id(0));
  told.clear();
  c().removeProfile(id(0));
  c().setAction(Button::button11, HostAction{HostAction::MouseButton{4}}, Uuid::random());  // no such profile
  EXPECT_EQ(c().state().profiles.size(), 1u);
  EXPECT_TRUE(told.empty());
}

TEST_F(UnpluggedControllerTest, RunningAppsAreOrdinaryOthersSortedIgnoringCase) {
  workspace.setRunningApplications({{"gamma", "org.gamma", true}, {"Beta", "org.beta", true},
                                    {"Tandemo", "org.tandemo.Tandemo", true}, {"indexer", "org.indexer", false},
                                    {"alpha", std::nullopt, true}, {std::nullopt, "org.alpha", true},
                                    {"alpha", "com.alpha.second", true}, {"Alpha", "com.alpha.third", true}});
  start();
  std::vector<std::string> names;
  for (const auto& app : c().runningApps()) names.push_back(app.name + "=" + app.bundleID);
  EXPECT_THAT(names, ElementsAre("alpha=com.alpha.second", "Alpha=com.alpha.third", "Beta=org.beta",
                                 "gamma=org.gamma", "org.alpha=org.alpha"));
}

// ---- permissions, login item, log and observers ----

TEST_F(ControllerTest, PermissionPollEveryTwoSecondsRetriesTheSeize) {
  mouse.setSeizeResult(kIOReturnNotPermitted);  // the system says granted, the interface still refuses
  events.setAccessibility(false);
  start(AppState::wowDefault(), /*writeOnConnectAtStart=*/false);
  loop.runUntilIdle();
  EXPECT_EQ(commands(), Commands{0x10});  // the command line's start only reads the firmware
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::needsInputMonitoring());
  const std::string waiting =
      "Tandemo needs permission to read the mouse's input devices before it can read the extra buttons";
  events.setAccessibility(true);
  loop.advance(seconds(1.999));
  EXPECT_FALSE(c().accessibility());
  EXPECT_EQ(logged(waiting), 1);
  loop.advance(seconds(0.001));
  EXPECT_TRUE(c().accessibility());
  EXPECT_EQ(logged(waiting), 2);

  mouse.setSeizeResult(std::nullopt);
  loop.advance(seconds(2));
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::seized());
  EXPECT_EQ(logged(waiting), 2);
  EXPECT_EQ(logged("Taking over the mouse's extra buttons"), 1);

  // Each request asks the system and opens its own page of the help.
  c().requestInputMonitoring();
  c().requestAccessibility();
  EXPECT_EQ(workspace.openedPages(), (std::vector<std::string>{"ListenEvent", "Accessibility"}));
  EXPECT_EQ(mouse.inputMonitoringRequests(), 1);
  EXPECT_EQ(events.accessibilityRequests(), 1u);
}

TEST_F(UnpluggedControllerTest, LaunchAtLoginKeepsTheToggleWhenRegisteringFailsObserversCanLeaveTheLogKeeps200) {
  start();
  Result result;  // a write without the mouse tells the caller only
  c().writeToMouse(true, into(result));
  EXPECT_EQ(result, std::pair(false, std::string("The Rival 500 is not plugged in.")));
  EXPECT_FALSE(c().lastWriteMessage() || c().lastWriteFailed());
  loginItem.failWith("Operation not permitted");
  c().setLaunchAtLogin(true);
  EXPECT_TRUE(c().launchAtLogin());
  EXPECT_THAT(logLines(), ElementsAre("09:05:03  Launch at login: Operation not permitted"));

  std::vector<Property> second;
  const auto secondID = c().subscribe([&](Property p) { second.push_back(p); });
  loginItem.failWith(std::nullopt);
  c().setLaunchAtLogin(true);  // also when the value does not change
  EXPECT_TRUE(loginItem.enabled());
  EXPECT_EQ(loginItem.registerCalls(), 2);
  c().unsubscribe(secondID);
  c().setLaunchAtLogin(false);
  EXPECT_FALSE(loginItem.enabled());
  EXPECT_EQ(c().log().size(), 1u);
  EXPECT_THAT(second, ElementsAre(Property::launchAtLogin));
  EXPECT_EQ(std::ranges::count(told, Property::launchAtLogin), 3);

  for (int n = 1; n <= 250; ++n) {
    loginItem.failWith(std::to_string(n));
    timeOfDay.set(n % 2 ? "21:00:00" : "09:05:03");
    c().setLaunchAtLogin(true);
  }
  ASSERT_EQ(c().log().size(), Controller::maxLogEntries);
  EXPECT_EQ(c().log().front(), "21:00:00  Launch at login: 51");
  EXPECT_EQ(c().log().back(), "09:05:03  Launch at login: 250");
  ASSERT_EQ(systemLog.lines().size(), 251u);  // the system log keeps every line
  EXPECT_EQ(systemLog.lines()[1], "Tandemo: Launch at login: 1");
}

}  // namespace
}  // namespace tandemo
