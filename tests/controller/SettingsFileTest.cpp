#include <functional>

#include "ControllerFixture.h"

namespace tandemo {
namespace {

const std::filesystem::path kFile = kSettingsPath;
const std::filesystem::path kAside = "/home/me/.config/Tandemo/state.unreadable-20240305-140709.json";
const std::string kIgnored = "Ignored an unreadable edit of the settings file: ";
const std::string kReloaded = "Reloaded the settings file after an edit outside Tandemo";

// A plugged-in mouse, settings loaded from a file, the start-up write done.
class SettingsFileTest : public ControllerTest {
 protected:
  void SetUp() override {
    start(AppState::wowDefault());  // button 9 is app-controlled
    loop.advance(seconds(1));
  }

  template <class Edit>
  AppState edited(Edit edit) const {
    AppState next = controller->state();
    edit(next);
    return next;
  }
  // Another program writes the file, and the watch tells the controller.
  void outsideEdit(const std::string& text) {
    files.put(kFile, text);
    c().settingsFileChanged();
  }
  long stateTold() const { return std::ranges::count(told, Property::state); }
  void holdButton9() {
    mouse.press(Button::button9);
    loop.runUntilIdle();
    ASSERT_EQ(c().pressedButtons(), std::set<Button>{Button::button9});
  }
};

// Our own save reported by the watch is not taken for an edit; an outside edit is applied as a
// state change (what it releases is ControllerTest's) and told once, in both logs.
TEST_F(SettingsFileTest, OwnSavesAreNotReloadedAndAnOutsideEditIsAdoptedAndTold) {
  c().setState(edited([](AppState& s) { s.hardware.dpi1 = 1600; }));
  loop.advance(seconds(0.5));
  ASSERT_EQ(files.writeCount(), 1);
  told.clear();
  c().settingsFileChanged();
  EXPECT_TRUE(c().reloadSettings());
  EXPECT_TRUE(told.empty());

  const AppState unbridged = edited([](AppState& s) { s.hardware = HardwareConfig::factory(); });
  outsideEdit(encodeState(unbridged) + "\n");
  EXPECT_EQ(c().state(), unbridged);
  EXPECT_EQ(stateTold(), 1);
  EXPECT_FALSE(c().hid().seizeWanted());
  EXPECT_EQ(logged(kReloaded), 1);
  EXPECT_EQ(systemLog.lines().back(), "Tandemo: " + kReloaded);
  loop.advance(seconds(5));
  EXPECT_EQ(files.writeCount(), 1);  // not saved back
}

// The edit is the newest word: an app change not yet saved gives way to it, whether the watch
// reports the edit first or the save finds it.
TEST_F(SettingsFileTest, AnOutsideEditReplacesASavePendingFromBefore) {
  const AppState outside = edited([](AppState& s) { s.autoSwitch = false; });
  for (bool watchFirst : {true, false}) {
    const int writes = files.writeCount();
    c().setState(edited([](AppState& s) { s.hardware.dpi1 += 100; }));
    files.put(kFile, encodeState(outside));
    if (watchFirst) c().settingsFileChanged();
    loop.advance(seconds(1));
    c().flushPendingSave();
    EXPECT_EQ(c().state(), outside) << watchFirst;
    EXPECT_EQ(files.writeCount(), writes) << watchFirst;
    c().setState(edited([](AppState& s) { s.hardware.dpi2 += 100; }));  // a later change is saved
    loop.advance(seconds(0.5));
    EXPECT_EQ(decodeState(*files.content(kFile)).value(), c().state());
    files.put(kFile, encodeState(AppState::wowDefault()));
    c().settingsFileChanged();
  }
}

// An unreadable edit keeps the state and the file as they are until the next change made in the
// app, which moves the file aside before saving; the same content reported again is not logged.
// (A folder in the file's place: FileWatchTest, on real files.)
struct Unreadable {
  const char* name;
  std::function<void(sim::MemoryFileSystem&)> breakFile;
  std::string reason;
};

class UnreadableEditTest : public SettingsFileTest, public ::testing::WithParamInterface<Unreadable> {};

TEST_P(UnreadableEditTest, IsIgnoredAndLoggedThenMovedAsideAtTheNextChange) {
  c().setState(edited([](AppState& s) { s.hardware.dpi1 = 1700; }));  // pending, then dropped
  GetParam().breakFile(files);
  const auto bad = files.files();
  c().settingsFileChanged();
  c().settingsFileChanged();
  EXPECT_EQ(c().reloadSettings().error(), GetParam().reason);
  EXPECT_EQ(logged(kIgnored + GetParam().reason), 1);
  EXPECT_EQ(systemLog.lines().back(), "Tandemo: " + kIgnored + GetParam().reason);
  EXPECT_EQ(c().state().hardware.dpi1, 1700);  // kept
  loop.advance(seconds(5));
  c().flushPendingSave();
  EXPECT_EQ(files.files(), bad);  // nothing saved over it

  c().setState(edited([](AppState& s) { s.hardware.dpi2 = 900; }));
  loop.advance(seconds(0.5));
  EXPECT_EQ(decodeState(files.content(kFile).value()).value(), c().state());
  EXPECT_EQ(logged("Moved the unreadable settings file to " + kAside.string()), 1);
  if (auto text = bad.find(kFile); text != bad.end()) {
    EXPECT_EQ(files.content(kAside), text->second);
  }
  EXPECT_TRUE(files.exists(kAside));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, UnreadableEditTest,
    ::testing::Values(
        Unreadable{"NotJson", [](sim::MemoryFileSystem& f) { f.put(kFile, "{\"autoSwitch\": tru"); },
                   decodeState("{\"autoSwitch\": tru").error().describe()},
        Unreadable{"NoPermission",
                   [](sim::MemoryFileSystem& f) {
                     f.put(kFile, "{}");
                     f.failReads("Permission denied");
                   },
                   "Permission denied"}),
    [](const auto& edit) { return std::string(edit.param.name); });

TEST_F(SettingsFileTest, ADeletedFileKeepsTheSettingsAndIsWrittenAgainOnQuitting) {
  const AppState before = c().state();
  files.remove(kFile);
  c().settingsFileChanged();
  c().settingsFileChanged();
  EXPECT_EQ(c().reloadSettings().error(),
            "There is no settings file at " + kFile.string() + "; Tandemo keeps the settings in use.");
  EXPECT_EQ(logged("The settings file was deleted; Tandemo keeps its settings and saves them again"), 1);
  EXPECT_EQ(c().state(), before);
  loop.advance(seconds(5));
  EXPECT_FALSE(files.content(kFile));
  controller.reset();
  EXPECT_EQ(decodeState(files.content(kFile).value()).value(), before);
}

TEST_F(SettingsFileTest, PinByNameOrUuidOrAutoReleasesTheBridgeOnlyWhenThePinChanges) {
  const Uuid wow = c().state().profiles[0].id, other = c().state().profiles[1].id;
  struct Case {
    std::string input;
    std::optional<Uuid> pinned;
    bool released;
  };
  const Case cases[] = {
      {"World of Warcraft", wow, true},
      {wow.string(), wow, false},  // already pinned: no change at all
      {"auto", std::nullopt, true},
      {"", std::nullopt, false},
      {other.string(), other, true},
  };
  for (const Case& pin : cases) {
    holdButton9();
    told.clear();
    ASSERT_TRUE(c().pin(pin.input)) << pin.input;
    EXPECT_EQ(c().state().pinnedProfileID, pin.pinned) << pin.input;
    EXPECT_EQ(c().pressedButtons().empty(), pin.released) << pin.input;
    EXPECT_EQ(stateTold(), pin.released ? 1 : 0) << pin.input;
    mouse.release(Button::button9);
    loop.runUntilIdle();
  }
  loop.advance(seconds(0.5));
  EXPECT_EQ(decodeState(files.content(kFile).value()).value().pinnedProfileID, other);

  told.clear();
  EXPECT_FALSE(c().pin("Nothing"));  // how names resolve and misses read: AppStateTest
  EXPECT_TRUE(told.empty());
  EXPECT_EQ(c().state().pinnedProfileID, other);
}

}  // namespace
}  // namespace tandemo
