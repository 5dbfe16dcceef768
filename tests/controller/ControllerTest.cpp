#include "ControllerFixture.h"

namespace tandemo {
namespace {

using ::testing::ElementsAre;
using Commands = std::vector<std::uint8_t>;
// DPI 1, DPI 2, polling, logo, wheel, button map.
const Commands kConfiguration = {0x03, 0x03, 0x04, 0x05, 0x05, 0x31};

Commands with(Commands commands, std::initializer_list<std::uint8_t> more) {
  commands.insert(commands.end(), more);
  return commands;
}

// ---- start-up ----

TEST_F(ControllerTest, StartWithMouseReadsFirmwareThenWritesWithoutSavingAndLogsNoConnection) {
  AppState state = plainState();
  state.saveToOnboardMemory = true;
  startWith(state);
  EXPECT_TRUE(c().connected());
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::idle());
  EXPECT_FALSE(c().hid().seizeWanted());
  EXPECT_TRUE(c().writing());

  loop.advance(seconds(0.349));  // query (0.05) and six packets (0.30), each followed by its pause
  EXPECT_EQ(c().firmware(), "1.07");
  EXPECT_TRUE(c().writing());
  loop.advance(seconds(0.001));
  EXPECT_FALSE(c().writing());
  EXPECT_EQ(mouse.commands(), with({0x10}, {0x03, 0x03, 0x04, 0x05, 0x05, 0x31}));
  EXPECT_EQ(c().lastWriteMessage(), "Written to the mouse");
  EXPECT_THAT(logLines(), ElementsAre("09:05:03  Written to the mouse"));
  EXPECT_THAT(systemLog.lines(), ElementsAre("Tandemo: Written to the mouse"));
}

TEST_F(ControllerTest, CommandLineStartReadsFirmwareButDoesNotWrite) {
  startWith(plainState(), /*writeOnConnectAtStart=*/false);
  loop.advance(seconds(1));
  EXPECT_EQ(mouse.commands(), Commands{0x10});
  EXPECT_EQ(c().firmware(), "1.07");
  EXPECT_FALSE(c().lastWriteMessage());
}

TEST_F(ControllerTest, StartWithBridgedControlSeizesTheKeyboardInterfaceShortlyAfter) {
  startWith(AppState::wowDefault(), false);
  EXPECT_TRUE(c().hid().seizeWanted());
  EXPECT_TRUE(mouse.keyboard().seized());
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::idle());  // the news comes in a task
  loop.runUntilIdle();
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::seized());
  EXPECT_THAT(logLines(), ElementsAre("09:05:03  Taking over the mouse's extra buttons"));
}

TEST_F(ControllerTest, FrontApplicationIsTakenAsIsAtStartEvenWhenItIsOurOwn) {
  workspace.setFront("org.tandemo.Tandemo");
  loginItem = sim::FakeLoginItem(true);
  start();
  EXPECT_EQ(c().frontBundleID(), "org.tandemo.Tandemo");
  EXPECT_TRUE(c().launchAtLogin());
  EXPECT_TRUE(c().inputMonitoring());
  EXPECT_TRUE(c().accessibility());
}

TEST_F(UnpluggedControllerTest, StartWithoutMouseThenPlugInReadsAndWrites) {
  startWith(plainState());
  loop.advance(seconds(1));
  EXPECT_FALSE(c().connected());
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::absent());
  EXPECT_TRUE(mouse.commands().empty());
  EXPECT_TRUE(c().log().empty());

  mouse.plugIn();
  loop.advance(seconds(1));
  EXPECT_TRUE(c().connected());
  EXPECT_EQ(c().firmware(), "1.07");
  EXPECT_EQ(mouse.commands(), with({0x10}, {0x03, 0x03, 0x04, 0x05, 0x05, 0x31}));
  EXPECT_THAT(logLines(), ElementsAre("09:05:03  Rival 500 connected", "09:05:03  Written to the mouse"));
}

TEST_F(UnpluggedControllerTest, PlugInWithWriteOnConnectOffOnlyReadsTheFirmware) {
  AppState state = plainState();
  state.writeOnConnect = false;
  startWith(state);
  mouse.plugIn();
  loop.advance(seconds(1));
  EXPECT_EQ(mouse.commands(), Commands{0x10});
  EXPECT_EQ(c().firmware(), "1.07");
}

// ---- saving ----

TEST_F(UnpluggedControllerTest, MissingFileGivesTheDefaultAndNothingIsWrittenUntilAChange) {
  start();
  EXPECT_EQ(c().state().profiles.size(), 2u);
  EXPECT_EQ(c().state().profiles[0].name, "World of Warcraft");
  loop.advance(seconds(5));
  EXPECT_EQ(files.writeCount(), 0);

  c().setState(edited([](AppState& s) { s.openWindowAtLaunch = false; }));
  loop.advance(seconds(0.5));
  ASSERT_TRUE(saved());
  EXPECT_FALSE(saved()->openWindowAtLaunch);
}

TEST_F(UnpluggedControllerTest, ABurstOfChangesEndsInOneSaveHalfASecondAfterTheLast) {
  startWith(plainState());
  c().setState(edited([](AppState& s) { s.hardware.dpi1 = 400; }));
  loop.advance(seconds(0.15));
  c().setState(edited([](AppState& s) { s.hardware.dpi1 = 500; }));
  loop.advance(seconds(0.15));
  c().setState(edited([](AppState& s) { s.hardware.dpi1 = 600; }));
  const int before = files.writeCount();
  loop.advance(seconds(0.499));
  EXPECT_EQ(files.writeCount(), before);
  loop.advance(seconds(0.001));
  EXPECT_EQ(files.writeCount(), before + 1);
  EXPECT_EQ(saved()->hardware.dpi1, 600);
  loop.advance(seconds(2));
  EXPECT_EQ(files.writeCount(), before + 1);
  EXPECT_EQ(toldCount(Controller::Property::state), 3u);
}

TEST_F(UnpluggedControllerTest, PendingSaveIsWrittenWhenFlushedOrWhenTheControllerGoes) {
  startWith(plainState());
  c().setState(edited([](AppState& s) { s.hardware.dpi2 = 3200; }));
  c().flushPendingSave();
  EXPECT_EQ(saved()->hardware.dpi2, 3200);
  loop.advance(seconds(1));
  EXPECT_EQ(files.writeCount(), 1);  // the timer does not save a second time

  c().setState(edited([](AppState& s) { s.hardware.dpi2 = 6400; }));
  controller.reset();
  EXPECT_EQ(saved()->hardware.dpi2, 6400);
  loop.advance(seconds(1));  // nothing left behind that reaches the dead controller
  EXPECT_EQ(files.writeCount(), 2);
}

TEST_F(UnpluggedControllerTest, FailedSaveIsLoggedAndTheNextChangeTriesAgain) {
  startWith(plainState());
  files.failWrites("No space left on device");
  c().setState(edited([](AppState& s) { s.autoSwitch = false; }));
  loop.advance(seconds(0.5));
  EXPECT_THAT(logLines(), ElementsAre("09:05:03  Could not save settings: No space left on device"));

  files.failWrites(std::nullopt);
  c().setState(edited([](AppState& s) { s.writeOnConnect = false; }));
  loop.advance(seconds(0.5));
  ASSERT_TRUE(saved());
  EXPECT_FALSE(saved()->autoSwitch);
  EXPECT_FALSE(saved()->writeOnConnect);
}

TEST_F(UnpluggedControllerTest, UnreadableFileIsMovedAsideAtTheFirstSaveAndTheLogSaysWhere) {
  files.put(kSettingsPath, "{\"autoSwitch\": tru");
  start();
  EXPECT_EQ(c().state().profiles.size(), 2u);
  EXPECT_EQ(files.content(kSettingsPath), "{\"autoSwitch\": tru");
  EXPECT_TRUE(c().log().empty());

  c().setState(edited([](AppState& s) { s.autoSwitch = false; }));
  loop.advance(seconds(0.5));
  ASSERT_EQ(c().log().size(), 1u);
  const std::string prefix = "09:05:03  Moved the unreadable settings file to ";
  ASSERT_TRUE(c().log().front().starts_with(prefix)) << c().log().front();
  EXPECT_EQ(files.content(c().log().front().substr(prefix.size())), "{\"autoSwitch\": tru");
  EXPECT_TRUE(saved());
}

// ---- seizing and releasing ----

TEST_F(ControllerTest, BridgingTheFirstControlSeizesAndUnbridgingItReleases) {
  startSettled(plainState());
  c().setAssignment(Button::button9, Rival500::Assignment::bridge());
  EXPECT_TRUE(c().hid().seizeWanted());
  EXPECT_TRUE(mouse.keyboard().seized());
  EXPECT_TRUE(mouse.commands().empty());  // editing never writes to the mouse
  loop.runUntilIdle();
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::seized());

  c().setAssignment(Button::button9, Rival500::Assignment::mouseButton(9));
  EXPECT_FALSE(c().hid().seizeWanted());
  loop.runUntilIdle();
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::idle());
  EXPECT_EQ(logLines().back(), "09:05:03  Released the mouse's extra buttons back to macOS");
}

TEST_F(ControllerTest, HeldButtonsAreTrackedAndReleasedWhenTheInterfaceIsLetGo) {
  AppState state = plainState();
  state.hardware.assignments[Button::button9] = Rival500::Assignment::bridge();
  startSettled(state);
  hold(Button::button9);
  EXPECT_EQ(heldMouseButtons(), std::set<int>{9});  // the report is handled at once
  EXPECT_TRUE(c().pressedButtons().empty());
  loop.runUntilIdle();
  EXPECT_EQ(c().pressedButtons(), std::set<Button>{Button::button9});

  c().setAssignment(Button::button9, Rival500::Assignment::mouseButton(9));
  loop.runUntilIdle();
  EXPECT_TRUE(heldMouseButtons().empty());
  EXPECT_TRUE(c().pressedButtons().empty());
}

TEST_F(ControllerTest, SwitchingOrPinningReleasesTheBridgeButRenamingDoesNot) {
  startSettled(AppState::wowDefault());
  hold(Button::button9);
  loop.runUntilIdle();
  c().setState(edited([](AppState& s) { s.profiles[1].name = "Elsewhere"; }));
  EXPECT_EQ(heldMouseButtons(), std::set<int>{9});
  EXPECT_EQ(c().pressedButtons().size(), 1u);

  c().setState(edited([](AppState& s) { s.autoSwitch = false; }));
  EXPECT_TRUE(heldMouseButtons().empty());
  EXPECT_TRUE(c().pressedButtons().empty());
  EXPECT_EQ(toldCount(Controller::Property::pressedButtons), 2u);

  letGo();
  hold(Button::button9);
  c().setState(edited([](AppState& s) { s.pinnedProfileID = s.profiles[0].id; }));
  EXPECT_TRUE(heldMouseButtons().empty());
  loop.runUntilIdle();  // the press reported before the release no longer counts
  EXPECT_TRUE(c().pressedButtons().empty());
}

TEST_F(ControllerTest, UnplugWhileHeldReleasesAndForgetsTheFirmware) {
  startSettled(AppState::wowDefault());
  hold(Button::button9);
  loop.runUntilIdle();
  mouse.unplug();
  loop.runUntilIdle();
  EXPECT_FALSE(c().connected());
  EXPECT_FALSE(c().firmware());
  EXPECT_EQ(c().keyboardState(), HIDLink::KeyboardState::absent());
  EXPECT_TRUE(heldMouseButtons().empty());
  EXPECT_TRUE(c().pressedButtons().empty());
  EXPECT_EQ(logLines().back(), "09:05:03  Rival 500 disconnected");
}

// ---- writing to the mouse ----

TEST_F(ControllerTest, MenuWriteFollowsSaveToOnboardMemory) {
  AppState state = plainState();
  state.saveToOnboardMemory = true;
  startSettled(state);
  c().writeToMouse();
  loop.advance(seconds(1));
  EXPECT_EQ(mouse.commands(), with(kConfiguration, {0x09}));
  EXPECT_EQ(c().lastWriteMessage(), "Written and saved to the mouse's memory");
  EXPECT_FALSE(c().lastWriteFailed());
  EXPECT_EQ(logLines().back(), "09:05:03  Written and saved to the mouse's memory");

  mouse.clearCommands();
  c().setState(edited([](AppState& s) { s.saveToOnboardMemory = false; }));
  c().writeToMouse();
  loop.advance(seconds(1));
  EXPECT_EQ(mouse.commands(), kConfiguration);
  EXPECT_EQ(c().lastWriteMessage(), "Written to the mouse");
}

TEST_F(ControllerTest, SecondWriteWhileOneRunsIsIgnored) {
  startSettled(plainState());
  std::vector<std::pair<bool, std::string>> results;
  auto record = [&](bool ok, std::string message) { results.emplace_back(ok, std::move(message)); };
  c().writeToMouse(false, record);
  c().writeToMouse(true, record);
  EXPECT_THAT(results, ElementsAre(std::pair{false, std::string("A write to the mouse is already under way.")}));
  loop.advance(seconds(1));
  EXPECT_EQ(mouse.commands(), kConfiguration);
  EXPECT_EQ(results.back(), std::pair(true, std::string("Written to the mouse")));
  EXPECT_EQ(std::ranges::count(logLines(), std::string("09:05:03  Written to the mouse")), 1);
  EXPECT_EQ(toldCount(Controller::Property::writing), 2u);
}

TEST_F(ControllerTest, RefusedPacketIsReportedAndLogged) {
  startSettled(plainState());
  mouse.refuseWith(kIOReturnExclusiveAccess);
  std::optional<std::pair<bool, std::string>> result;
  c().writeToMouse(std::nullopt, [&](bool ok, std::string message) { result.emplace(ok, message); });
  loop.advance(seconds(1));
  const std::string text = "The mouse refused a packet (03 00): another program has the mouse open exclusively";
  EXPECT_EQ(result, std::pair(false, text));
  EXPECT_TRUE(c().lastWriteFailed());
  EXPECT_EQ(c().lastWriteMessage(), text);
  EXPECT_EQ(logLines().back(), "09:05:03  Write failed: " + text);
  EXPECT_FALSE(c().writing());
}

TEST_F(ControllerTest, UnbuildableLightIsReportedWithoutSendingOrLogging) {
  startSettled(plainState());
  c().setState(edited([](AppState& s) { s.hardware.wheel.stops.clear(); }));
  std::optional<std::pair<bool, std::string>> result;
  c().writeToMouse(std::nullopt, [&](bool ok, std::string message) { result.emplace(ok, message); });
  const std::string text(Rival500::describe(Rival500::LightingError::noStops));
  EXPECT_EQ(result, std::pair(false, text));
  EXPECT_EQ(c().lastWriteMessage(), text);
  EXPECT_TRUE(c().lastWriteFailed());
  EXPECT_FALSE(c().writing());
  loop.advance(seconds(1));
  EXPECT_TRUE(mouse.commands().empty());
  EXPECT_TRUE(c().log().empty());
}

TEST_F(UnpluggedControllerTest, WriteWhileDisconnectedDoesNothingButTellsTheCommandLine) {
  startSettled(plainState());
  std::optional<std::pair<bool, std::string>> result;
  c().writeToMouse(true, [&](bool ok, std::string message) { result.emplace(ok, message); });
  EXPECT_EQ(result, std::pair(false, std::string("The Rival 500 is not plugged in.")));
  EXPECT_FALSE(c().lastWriteMessage());
  EXPECT_FALSE(c().lastWriteFailed());
  EXPECT_TRUE(c().log().empty());
  EXPECT_TRUE(told.empty());

  c().setState(edited([](AppState& s) { s.hardware.dpi1 = 3000; }));
  c().restoreFactory();
  EXPECT_EQ(c().state().hardware, HardwareConfig::factory());
}

TEST_F(ControllerTest, FactoryResetReleasesTheInterfaceAndWritesWithSaving) {
  AppState state = AppState::wowDefault();
  state.saveToOnboardMemory = false;
  startSettled(state);
  c().restoreFactory();
  EXPECT_FALSE(c().hid().seizeWanted());
  EXPECT_EQ(c().state().hardware, HardwareConfig::factory());
  EXPECT_EQ(c().state().profiles, state.profiles);
  loop.advance(seconds(1));
  EXPECT_EQ(mouse.commands(), with(kConfiguration, {0x09}));
  EXPECT_EQ(c().lastWriteMessage(), "Written and saved to the mouse's memory");
}

TEST_F(ControllerTest, UnansweredFirmwareQueryClearsTheVersionAfterHalfASecond) {
  startSettled(plainState());
  ASSERT_EQ(c().firmware(), "1.07");
  mouse.answerFirmware(std::nullopt);
  c().readFirmware();
  loop.advance(seconds(0.499));
  EXPECT_EQ(c().firmware(), "1.07");
  loop.advance(seconds(0.001));
  EXPECT_FALSE(c().firmware());
}

}  // namespace
}  // namespace tandemo
