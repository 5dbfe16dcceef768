#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/VirtualLoop.h"
#include "runtime/Bridge.h"
#include "sim/RecordingEventSink.h"

namespace tandemo {

// Failures show events as their log line instead of raw bytes.
inline void PrintTo(const SynthEvent& event, std::ostream* out) { *out << describeEvent(event); }

namespace {

using Rival500::Button;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;
using Events = std::vector<SynthEvent>;

constexpr std::uint8_t marker10 = 0x6E;  // F19, key code 80
constexpr std::uint8_t marker11 = 0x6F;  // F20, key code 90
constexpr std::uint8_t usageA = 0x04;    // key code 0
constexpr std::uint8_t usageB = 0x05;    // key code 11
constexpr std::uint64_t shift = EventFlags::shift;
constexpr std::uint64_t control = EventFlags::control;

KeyEvent passKey(std::uint16_t code, bool down, std::uint64_t f = 0) { return {code, down, f, FlagsMode::addToOwn}; }
MouseButtonEvent button10(bool down, std::uint64_t f = 0) { return {down ? 25 : 26, 9, 1, {}, f, FlagsMode::addToOwn}; }
KeyEvent controlZ(bool down, std::uint64_t f = control) { return {122, down, f, FlagsMode::replace}; }

class BridgeTest : public ::testing::Test {
 protected:
  BridgeTest() {
    profile->actions[Button::button10] = HostAction{HostAction::MouseButton{10}};
    profile->actions[Button::button11] = HostAction{HostAction::Key{KeyChord{122, false, true, false, false}}};
    bridge.activeProfile = [this] { return ++profileRequests, profile; };
    bridge.onButton = [this](Button button, bool pressed) { buttonCalls.emplace_back(button, pressed); };
  }
  // A boot keyboard report: modifier bits, a reserved byte, then the key slots.
  void keyboard(std::uint8_t modifiers, std::vector<std::uint8_t> keys, std::size_t size = 8) {
    keys.insert(keys.begin(), {modifiers, 0});
    keys.resize(size);
    bridge.handle(1, keys);
  }

  VirtualLoop loop;
  RecordingEventSink sink{loop};
  Bridge bridge{loop, sink, "org.tandemo.Tandemo"};
  std::optional<Profile> profile = Profile{};
  int profileRequests = 0;
  std::vector<std::pair<Button, bool>> buttonCalls;
};

TEST_F(BridgeTest, MarkersHoldTheirActionAndOtherKeysPassThrough) {
  keyboard(0x02, {usageA}, 7);  // one byte short
  bridge.handle(3, std::vector<std::uint8_t>{0, 0, usageA, 0, 0, 0, 0, 0});  // unknown report ID
  EXPECT_THAT(sink.events(), IsEmpty());

  keyboard(0, {marker10, marker10, usageA, 0, 0, 0, usageB}, 9);  // the ninth byte is not a slot
  EXPECT_EQ(bridge.pressedKeys().count(), 2U);
  keyboard(0, {1, 1, 1, 1, 1, 1});  // roll-over error: no keys
  EXPECT_TRUE(bridge.pressedKeys().none());
  EXPECT_EQ(sink.events(), (Events{passKey(0, true), button10(true), passKey(0, false), button10(false)}));
  EXPECT_THAT(buttonCalls, ElementsAre(Pair(Button::button10, true), Pair(Button::button10, false)));
  EXPECT_EQ(profileRequests, 1);  // asked on the press only
  EXPECT_THAT(bridge.liveActions(), IsEmpty());

  profile.reset();  // without a profile the press does nothing but is reported
  keyboard(0, {marker11});
  EXPECT_THAT(bridge.liveActions(), ElementsAre(Pair(Button::button11, HostAction{})));
  keyboard(0, {});
  EXPECT_EQ(sink.events().size(), 4U);
  EXPECT_EQ(buttonCalls.size(), 4U);
}

TEST_F(BridgeTest, PressesComeBeforeReleasesAndKeysBeforeModifiers) {
  keyboard(0, {marker10, marker11});
  profile->actions.clear();  // the releases still end the actions begun at press
  sink.clear();
  buttonCalls.clear();
  keyboard(0x02, {usageA});  // left shift and A arrive while both markers go
  EXPECT_EQ(sink.events(),
            (Events{passKey(0, true), button10(false), controlZ(false), FlagsChangedEvent{56, true, shift}}));
  EXPECT_THAT(buttonCalls, ElementsAre(Pair(Button::button10, false), Pair(Button::button11, false)));
  keyboard(0x02, {usageA, usageB});  // B now carries the held shift
  EXPECT_EQ(sink.events().back(), SynthEvent(passKey(11, true, shift)));
}

TEST_F(BridgeTest, ConsumerReportsHoldAndReleaseMediaKeys) {
  bridge.handle(2, std::vector<std::uint8_t>{0xE9, 0x00, 0x00, 0x00, 0xCD});  // trailing odd byte ignored
  EXPECT_EQ(bridge.pressedMedia().count(), 1U);
  bridge.handle(2, std::vector<std::uint8_t>{0x00, 0x01, 0x10, 0x00});  // 0x00 and 0x10: no table entry
  EXPECT_TRUE(bridge.pressedMedia().test(0x00) && bridge.pressedMedia().test(0x10));
  EXPECT_EQ(sink.events(), (Events{MediaKeyEvent{0xA00, -1, 0xA00, 8}, MediaKeyEvent{0xB00, -1, 0xB00, 8}}));
}

TEST_F(BridgeTest, ReleaseAllLetsGoOfEverythingHeldMediaKeysIncluded) {
  keyboard(0x02, {marker10, marker11, usageA});
  bridge.handle(2, std::vector<std::uint8_t>{0xE9, 0x00});
  buttonCalls.clear();
  sink.clear();
  bridge.releaseAll();
  EXPECT_EQ(sink.events(), (Events{button10(false, shift), controlZ(false, shift | control), passKey(0, false, shift),
                                   passKey(80, false, shift), passKey(90, false, shift),
                                   FlagsChangedEvent{56, false, 0}, MediaKeyEvent{0xB00, -1, 0xB00, 8}}));
  EXPECT_THAT(bridge.liveActions(), IsEmpty());
  EXPECT_TRUE(bridge.pressedKeys().none() && bridge.pressedMedia().none() && bridge.modifierBits() == 0);
  EXPECT_EQ(bridge.synth().heldFlags(), 0U);
  EXPECT_THAT(buttonCalls, IsEmpty());

  profile->actions[Button::button10] = HostAction{HostAction::Scroll{0, 3}};
  keyboard(0, {marker10});  // still held: pressed afresh with the profile of now
  EXPECT_EQ(sink.events().back(), SynthEvent(ScrollEvent{3, 0, 0}));
}

// A modifier the mouse held when releaseAll() ran must go up then: the report that later lets
// go of it no longer differs from the cleared state and posts nothing.
TEST_F(BridgeTest, ReleaseAllPostsTheUpOfEveryHeldModifier) {
  keyboard(0x22, {});  // left shift and right shift
  keyboard(0x23, {});  // and left control
  sink.clear();
  bridge.releaseAll();
  EXPECT_EQ(sink.events(), (Events{FlagsChangedEvent{59, false, shift}, FlagsChangedEvent{56, false, 0},
                                   FlagsChangedEvent{60, false, 0}}));
  keyboard(0x00, {});
  EXPECT_EQ(sink.events().size(), 3U);
  EXPECT_TRUE(sink.held().empty());
}

}  // namespace
}  // namespace tandemo
