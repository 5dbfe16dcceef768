#include "ControllerFixture.h"

namespace tandemo {
namespace {

using ::testing::ElementsAre;
using Property = Controller::Property;

// ---- which profile is active ----

class ProfileSelectionTest : public UnpluggedControllerTest {
 protected:
  // Profiles A "com.blizzard.", B "com.blizzard.worldofwarcraft", C everywhere else.
  void SetUp() override {
    AppState state = plainState();
    state.profiles = {profile("A", {"com.blizzard."}), profile("B", {"com.blizzard.worldofwarcraft"}),
                      profile("C", {})};
    startWith(state);
  }
  std::string active() {
    auto p = c().activeProfile();
    return p ? p->name : "none";
  }
  void front(std::optional<std::string> bundleID) {
    workspace.activate(std::move(bundleID));
    loop.runUntilIdle();
  }
  void change(const std::function<void(AppState&)>& edit) {
    AppState next = c().state();
    edit(next);
    c().setState(next);
  }
  const Uuid& id(std::size_t index) { return c().state().profiles[index].id; }
};

TEST_F(ProfileSelectionTest, FollowsTheFrontApplicationInListOrder) {
  EXPECT_EQ(active(), "C");  // nothing in front
  front("com.blizzard.worldofwarcraft");
  EXPECT_EQ(active(), "A");  // earlier in the list wins over the longer match
  front("com.apple.finder");
  EXPECT_EQ(active(), "C");
  front("COM.BLIZZARD.worldofwarcraft");
  EXPECT_EQ(active(), "C");  // case-sensitive
  front("com.blizzard");
  EXPECT_EQ(active(), "C");  // an entry is a prefix of the front id, not the other way round
}

TEST_F(ProfileSelectionTest, SwitchingOffOrPinningOverridesTheFrontApplication) {
  front("com.blizzard.worldofwarcraft");
  change([](AppState& s) { s.autoSwitch = false; });
  EXPECT_EQ(active(), "C");
  change([this](AppState& s) {
    s.autoSwitch = true;
    s.pinnedProfileID = id(1);
  });
  front("org.gnome.Nautilus");
  EXPECT_EQ(active(), "B");
  change([](AppState& s) { s.pinnedProfileID = Uuid::random(); });  // names no profile
  EXPECT_EQ(active(), "C");
}

TEST_F(ProfileSelectionTest, WithoutFallbackTheFirstProfileIsActiveAndWithoutProfilesNone) {
  change([](AppState& s) { s.profiles[2].bundleIDs = {""}; });  // an empty entry matches nothing
  front("org.gnome.Nautilus");
  EXPECT_EQ(active(), "A");
  change([](AppState& s) { s.profiles.clear(); });
  EXPECT_EQ(active(), "none");
}

TEST_F(ProfileSelectionTest, OwnWindowInFrontChangesNothing) {
  front("com.blizzard.worldofwarcraft");
  told.clear();
  front("org.tandemo.Tandemo");
  EXPECT_EQ(c().frontBundleID(), "com.blizzard.worldofwarcraft");
  EXPECT_EQ(active(), "A");
  EXPECT_TRUE(told.empty());
  front(std::nullopt);  // an application without an identifier is not our own
  EXPECT_FALSE(c().frontBundleID());
  EXPECT_THAT(told, ElementsAre(Property::frontBundleID));
}

// ---- front application and the bridge ----

TEST_F(ControllerTest, FrontChangeReleasesTheBridgeOnlyWhenTheActiveProfileChanges) {
  AppState state = AppState::wowDefault();
  state.profiles[0].bundleIDs = {"com.blizzard."};
  startSettled(state);
  workspace.activate("com.blizzard.worldofwarcraft");
  loop.runUntilIdle();
  hold(Button::button10);
  loop.runUntilIdle();
  EXPECT_EQ(heldMouseButtons(), std::set<int>{10});

  workspace.activate("com.blizzard.diablo");  // same profile
  loop.runUntilIdle();
  EXPECT_EQ(heldMouseButtons(), std::set<int>{10});
  EXPECT_EQ(c().pressedButtons(), std::set<Button>{Button::button10});

  workspace.activate("org.gnome.Nautilus");  // the fallback takes over
  EXPECT_EQ(heldMouseButtons(), std::set<int>{10});  // the change comes in a task
  loop.runUntilIdle();
  EXPECT_TRUE(heldMouseButtons().empty());
  EXPECT_TRUE(c().pressedButtons().empty());
}

// ---- editing ----

TEST_F(ProfileSelectionTest, AddProfileCopiesTheActiveProfilesActions) {
  change([](AppState& s) { s.profiles[0].actions[Button::button9] = HostAction{HostAction::Text{"gg"}}; });
  front("com.blizzard.worldofwarcraft");
  told.clear();
  c().addProfile();
  ASSERT_EQ(c().state().profiles.size(), 4u);
  const Profile& added = c().state().profiles.back();
  EXPECT_EQ(added.name, "New profile");
  EXPECT_TRUE(added.bundleIDs.empty());
  EXPECT_EQ(added.actions, c().state().profiles[0].actions);
  EXPECT_NE(added.id, id(0));
  EXPECT_EQ(active(), "A");  // not selected
  EXPECT_THAT(told, ElementsAre(Property::state));
}

TEST_F(ProfileSelectionTest, RemovingThePinnedProfileUnpinsItAndTheLastProfileStays) {
  const Uuid b = id(1);
  change([&](AppState& s) { s.pinnedProfileID = b; });
  told.clear();
  c().removeProfile(b);
  EXPECT_EQ(c().state().profiles.size(), 2u);
  EXPECT_FALSE(c().state().pinnedProfileID);
  EXPECT_EQ(toldCount(Property::state), 2u);
  loop.advance(seconds(0.5));
  EXPECT_EQ(files.writeCount(), 1);

  c().removeProfile(id(0));
  const Uuid last = id(0);
  told.clear();
  c().removeProfile(last);
  EXPECT_EQ(c().state().profiles.size(), 1u);
  EXPECT_TRUE(told.empty());
}

TEST_F(ProfileSelectionTest, SetActionStoresNoneAndIgnoresUnknownProfiles) {
  c().setAction(Button::button11, HostAction{HostAction::None{}}, id(2));
  EXPECT_EQ(c().state().profiles[2].actions.at(Button::button11), HostAction{HostAction::None{}});
  told.clear();
  c().setAction(Button::button11, HostAction{HostAction::MouseButton{4}}, Uuid::random());
  EXPECT_TRUE(told.empty());
}

TEST_F(UnpluggedControllerTest, RunningAppsAreOrdinaryOthersSortedIgnoringCase) {
  workspace.setRunningApplications({
      {"gamma", "org.gamma", true},
      {"Beta", "org.beta", true},
      {"Tandemo", "org.tandemo.Tandemo", true},
      {"indexer", "org.indexer", false},
      {"alpha", std::nullopt, true},
      {std::nullopt, "org.alpha", true},
      {"alpha", "com.alpha.second", true},
      {"Alpha", "com.alpha.third", true},
  });
  start();
  std::vector<std::string> names;
  for (const auto& app : c().runningApps()) names.push_back(app.name + "=" + app.bundleID);
  EXPECT_THAT(names, ElementsAre("alpha=com.alpha.second", "Alpha=com.alpha.third", "Beta=org.beta",
                                 "gamma=org.gamma", "org.alpha=org.alpha"));
}

// ---- permissions, login item and log ----

TEST_F(ControllerTest, PermissionPollEveryTwoSecondsSeizesOnceInputMonitoringArrives) {
  mouse.setInputMonitoring(false);
  events.setAccessibility(false);
  startSettled(AppState::wowDefault());
  EXPECT_FALSE(c().inputMonitoring());
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::needsInputMonitoring());

  mouse.setInputMonitoring(true);
  events.setAccessibility(true);
  loop.advance(seconds(0.999));  // start-up took the first second: the poll runs at 2.0 s
  EXPECT_FALSE(c().inputMonitoring());
  loop.advance(seconds(0.001));
  EXPECT_TRUE(c().inputMonitoring());
  EXPECT_TRUE(c().accessibility());
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::seized());

  mouse.setInputMonitoring(false);  // withdrawn: the seize already held stays
  loop.advance(seconds(2));
  EXPECT_FALSE(c().inputMonitoring());
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::seized());
}

TEST_F(ControllerTest, SeizeIsRetriedAtEveryPollWhileTheLinkStillWaitsForThePermission) {
  mouse.refuseSeize(kIOReturnNotPermitted);  // the system says granted, the interface still refuses
  startWith(AppState::wowDefault(), false);
  loop.runUntilIdle();
  EXPECT_TRUE(c().inputMonitoring());
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::needsInputMonitoring());
  auto count = [&](const std::string& line) { return std::ranges::count(logLines(), "09:05:03  " + line); };
  const std::string waiting = "macOS needs Input Monitoring permission before Tandemo can read the extra buttons";
  EXPECT_EQ(count(waiting), 1);
  loop.advance(seconds(1.999));
  EXPECT_EQ(count(waiting), 1);
  loop.advance(seconds(0.001));
  EXPECT_EQ(count(waiting), 2);

  mouse.refuseSeize(std::nullopt);
  loop.advance(seconds(2));
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::seized());
  loop.advance(seconds(4));
  EXPECT_EQ(count(waiting), 2);
  EXPECT_EQ(count("Taking over the mouse's extra buttons"), 1);
}

TEST_F(UnpluggedControllerTest, RequestsOpenTheMatchingPrivacyPages) {
  start();
  c().requestInputMonitoring();
  c().requestAccessibility();
  EXPECT_EQ(mouse.inputMonitoringRequests(), 1);
  EXPECT_EQ(events.accessibilityRequests(), 1u);
  EXPECT_THAT(workspace.openedPages(), ElementsAre("ListenEvent", "Accessibility"));
}

TEST_F(UnpluggedControllerTest, LaunchAtLoginKeepsTheToggleWhenRegisteringFails) {
  start();
  EXPECT_FALSE(c().launchAtLogin());
  loginItem.failWith("Operation not permitted");
  c().setLaunchAtLogin(true);
  EXPECT_TRUE(c().launchAtLogin());
  EXPECT_THAT(logLines(), ElementsAre("09:05:03  Launch at login: Operation not permitted"));

  loginItem.failWith(std::nullopt);
  c().setLaunchAtLogin(true);  // also when the value does not change
  EXPECT_TRUE(loginItem.enabled());
  EXPECT_EQ(loginItem.registerCalls(), 2);
  c().setLaunchAtLogin(false);
  EXPECT_FALSE(loginItem.enabled());
  EXPECT_EQ(c().log().size(), 1u);
  EXPECT_EQ(toldCount(Property::launchAtLogin), 3u);
}

TEST_F(UnpluggedControllerTest, LogKeepsTheNewest200Entries) {
  start();
  for (int n = 1; n <= 250; ++n) {
    loginItem.failWith(std::to_string(n));
    timeOfDay.set(n % 2 ? "21:00:00" : "09:05:03");
    c().setLaunchAtLogin(true);
  }
  ASSERT_EQ(c().log().size(), Controller::maxLogEntries);
  EXPECT_EQ(c().log().front(), "21:00:00  Launch at login: 51");
  EXPECT_EQ(c().log().back(), "09:05:03  Launch at login: 250");
  ASSERT_EQ(systemLog.lines().size(), 250u);
  EXPECT_EQ(systemLog.lines().front(), "Tandemo: Launch at login: 1");
}

TEST_F(UnpluggedControllerTest, UnsubscribedObserversHearNothingMore) {
  start();
  std::vector<Property> second;
  const auto id = c().subscribe([&](Property p) { second.push_back(p); });
  c().setLaunchAtLogin(true);
  c().unsubscribe(id);
  c().setLaunchAtLogin(false);
  EXPECT_THAT(second, ElementsAre(Property::launchAtLogin));
  EXPECT_THAT(told, ElementsAre(Property::launchAtLogin, Property::launchAtLogin));
}

}  // namespace
}  // namespace tandemo
