#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "EventPrinting.h"
#include "core/VirtualLoop.h"
#include "runtime/Bridge.h"
#include "sim/RecordingEventSink.h"

namespace tandemo {
namespace {

using Rival500::Button;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

constexpr std::uint8_t markerButton4 = 0x68;   // F13, key code 105
constexpr std::uint8_t markerButton10 = 0x6E;  // F19, key code 80
constexpr std::uint8_t markerButton11 = 0x6F;  // F20, key code 90
constexpr std::uint8_t usageA = 0x04;          // key code 0
constexpr std::uint8_t usageB = 0x05;          // key code 11

KeyEvent passKey(std::uint16_t code, bool down, std::uint64_t flags = 0) {
  return KeyEvent{code, down, flags, FlagsMode::addToOwn};
}
MouseButtonEvent mouseEvent(int type, int button, std::uint64_t flags = 0) {
  return MouseButtonEvent{type, button, 1, {}, flags, FlagsMode::addToOwn};
}

class BridgeTest : public ::testing::Test {
 protected:
  BridgeTest() {
    profile.actions[Button::button10] = HostAction{HostAction::MouseButton{10}};
    profile.actions[Button::button11] = HostAction{HostAction::Key{KeyChord{122, false, true, false, false}}};
    bridge.activeProfile = [this] {
      ++profileRequests;
      return hasProfile ? std::optional<Profile>(profile) : std::nullopt;
    };
    bridge.onButton = [this](Button button, bool pressed) { buttonCalls.emplace_back(button, pressed); };
  }

  void keyboard(std::uint8_t modifiers, std::vector<std::uint8_t> usages, std::size_t size = 8) {
    std::vector<std::uint8_t> report(std::max<std::size_t>(size, 2 + usages.size()), 0);
    report[0] = modifiers;
    std::copy(usages.begin(), usages.end(), report.begin() + 2);
    report.resize(size);
    bridge.handle(1, report);
  }

  VirtualLoop loop;
  RecordingEventSink sink{loop};
  Bridge bridge{loop, sink, "org.tandemo.Tandemo"};
  Profile profile;
  bool hasProfile = true;
  int profileRequests = 0;
  std::vector<std::pair<Button, bool>> buttonCalls;
};

TEST_F(BridgeTest, BridgedButtonHoldsItsActionAndReportsItself) {
  keyboard(0, {markerButton10});
  keyboard(0, {});
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{mouseEvent(25, 9)}, SynthEvent{mouseEvent(26, 9)}));
  EXPECT_THAT(buttonCalls, ElementsAre(Pair(Button::button10, true), Pair(Button::button10, false)));
  EXPECT_EQ(profileRequests, 1);  // asked on the press only
  EXPECT_THAT(bridge.liveActions(), IsEmpty());
}

TEST_F(BridgeTest, MalformedKeyboardReportsAreDroppedOrTrimmed) {
  keyboard(0x02, {usageA}, 7);  // one byte short
  bridge.handle(3, std::vector<std::uint8_t>{0, 0, usageA, 0, 0, 0, 0, 0});  // unknown report ID
  EXPECT_THAT(sink.events(), IsEmpty());
  EXPECT_TRUE(bridge.pressedKeys().none());
  EXPECT_EQ(bridge.modifierBits(), 0);

  keyboard(0, {usageA, 0, 0, 0, 0, 0, usageB}, 9);  // the ninth byte is not a slot
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{passKey(0, true)}));
}

TEST_F(BridgeTest, RollOverAndDuplicateSlots) {
  keyboard(0, {markerButton10, markerButton10, usageA});
  EXPECT_EQ(bridge.pressedKeys().count(), 2U);
  EXPECT_EQ(sink.events().size(), 2U);  // one press each

  keyboard(0, {1, 1, 1, 1, 1, 1});  // roll-over error: no keys
  EXPECT_TRUE(bridge.pressedKeys().none());
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{passKey(0, true)}, SynthEvent{mouseEvent(25, 9)},
                                         SynthEvent{passKey(0, false)}, SynthEvent{mouseEvent(26, 9)}));
}

TEST_F(BridgeTest, WithoutProfileThePressStoresNothingToDoButIsReported) {
  hasProfile = false;
  keyboard(0, {markerButton4});
  EXPECT_THAT(bridge.liveActions(), ElementsAre(Pair(Button::button4, HostAction{})));
  EXPECT_TRUE(bridge.isLive(Button::button4));
  keyboard(0, {});
  EXPECT_FALSE(bridge.isLive(Button::button4));
  EXPECT_THAT(sink.events(), IsEmpty());
  EXPECT_THAT(buttonCalls, ElementsAre(Pair(Button::button4, true), Pair(Button::button4, false)));
}

TEST_F(BridgeTest, ReleaseUsesTheActionRecordedAtPress) {
  keyboard(0, {markerButton11});
  profile.actions[Button::button11] = HostAction{HostAction::Key{KeyChord{0, true, false, false, false}}};
  keyboard(0, {});
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{KeyEvent{122, true, EventFlags::control, FlagsMode::replace}},
                                         SynthEvent{KeyEvent{122, false, EventFlags::control, FlagsMode::replace}}));
}

TEST_F(BridgeTest, PressesComeBeforeReleasesAndKeysBeforeModifiers) {
  keyboard(0, {markerButton10, markerButton11});
  sink.clear();
  buttonCalls.clear();
  keyboard(0x02, {usageA});  // left shift and A arrive while both markers go
  EXPECT_THAT(sink.events(),
              ElementsAre(SynthEvent{passKey(0, true)}, SynthEvent{mouseEvent(26, 9)},
                          SynthEvent{KeyEvent{122, false, EventFlags::control, FlagsMode::replace}},
                          SynthEvent{FlagsChangedEvent{56, true, EventFlags::shift}}));
  EXPECT_THAT(buttonCalls, ElementsAre(Pair(Button::button10, false), Pair(Button::button11, false)));
  EXPECT_EQ(bridge.modifierBits(), 0x02);

  keyboard(0x02, {usageA, usageB});  // B now carries the held shift
  EXPECT_EQ(sink.events().back(), SynthEvent(passKey(11, true, EventFlags::shift)));
}

TEST_F(BridgeTest, ModifierBitsChangeInBitOrder) {
  keyboard(0x81, {});  // left control and right command
  keyboard(0x10, {});  // both up, right control down
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{FlagsChangedEvent{59, true, EventFlags::control}},
                                         SynthEvent{FlagsChangedEvent{54, true, 0x140000}},
                                         SynthEvent{FlagsChangedEvent{59, false, EventFlags::command}},
                                         SynthEvent{FlagsChangedEvent{62, true, 0x140000}},
                                         SynthEvent{FlagsChangedEvent{54, false, EventFlags::control}}));
}

TEST_F(BridgeTest, ConsumerReportsHoldAndReleaseMediaKeys) {
  bridge.handle(2, std::vector<std::uint8_t>{0xE9, 0x00, 0x00, 0x00, 0xCD});  // trailing odd byte ignored
  EXPECT_TRUE(bridge.pressedMedia().test(0xE9));
  EXPECT_EQ(bridge.pressedMedia().count(), 1U);
  bridge.handle(2, std::vector<std::uint8_t>{0x00, 0x00, 0x00, 0x00});
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{MediaKeyEvent{0xA00, -1, 0xA00, 8}},
                                         SynthEvent{MediaKeyEvent{0xB00, -1, 0xB00, 8}}));

  sink.clear();
  bridge.handle(2, std::vector<std::uint8_t>{0x00, 0x01, 0x10, 0x00});  // low bytes 0x00 and 0x10: no table entry
  EXPECT_TRUE(bridge.pressedMedia().test(0x00));
  EXPECT_TRUE(bridge.pressedMedia().test(0x10));
  EXPECT_THAT(sink.events(), IsEmpty());
}

TEST_F(BridgeTest, ReleaseAllLetsGoOfEverythingHeld) {
  keyboard(0x02, {markerButton10, markerButton11, usageA});
  bridge.handle(2, std::vector<std::uint8_t>{0xE9, 0x00});
  buttonCalls.clear();
  sink.clear();

  bridge.releaseAll();
  EXPECT_THAT(sink.events(),
              ElementsAre(SynthEvent{mouseEvent(26, 9, EventFlags::shift)},
                          SynthEvent{KeyEvent{122, false, EventFlags::shift | EventFlags::control, FlagsMode::replace}},
                          SynthEvent{passKey(0, false, EventFlags::shift)}, SynthEvent{passKey(80, false, EventFlags::shift)},
                          SynthEvent{passKey(90, false, EventFlags::shift)},
                          SynthEvent{MediaKeyEvent{0xB00, -1, 0xB00, 8}}));
  EXPECT_THAT(bridge.liveActions(), IsEmpty());
  EXPECT_TRUE(bridge.pressedKeys().none());
  EXPECT_TRUE(bridge.pressedMedia().none());
  EXPECT_EQ(bridge.modifierBits(), 0);
  EXPECT_EQ(bridge.synth().heldFlags(), 0U);
  EXPECT_THAT(buttonCalls, IsEmpty());
  EXPECT_TRUE(sink.held().mouseButtons.empty());
  EXPECT_TRUE(sink.held().mediaKeys.empty());
}

TEST_F(BridgeTest, ButtonStillHeldAfterReleaseAllIsPressedAfreshWithTheNewProfile) {
  keyboard(0, {markerButton10});
  bridge.releaseAll();
  profile.actions[Button::button10] = HostAction{HostAction::Scroll{0, 3}};
  sink.clear();
  keyboard(0, {markerButton10});
  keyboard(0, {});
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{ScrollEvent{3, 0, 0}}));
  EXPECT_EQ(profileRequests, 2);
}

TEST_F(BridgeTest, OneShotActionsFireOncePerPress) {
  profile.actions[Button::button4] = HostAction{HostAction::Text{"ok"}};
  profile.actions[Button::button10] = HostAction{
      HostAction::Sequence{{SequenceStep{SequenceStep::Mouse{1}}, SequenceStep{SequenceStep::Delay{10}}}}};
  keyboard(0, {markerButton4, markerButton10});
  keyboard(0, {});
  loop.advance(seconds(0.05));
  EXPECT_THAT(sink.lines(), ElementsAre("unicode down U+006F", "unicode up U+006F", "unicode down U+006B",
                                        "unicode up U+006B",
                                        "mouse type 1 button 0 clicks 1 at (0.000000, 0.000000) flags 0x0 added",
                                        "mouse type 2 button 0 clicks 1 at (0.000000, 0.000000) flags 0x0 added"));
  EXPECT_EQ(sink.recorded().back().at, seconds(0.02));
}

}  // namespace
}  // namespace tandemo
