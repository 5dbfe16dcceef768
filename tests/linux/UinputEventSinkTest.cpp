#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <limits>
#include <utility>

#include "core/VirtualLoop.h"
#include "linux/UinputEventSink.h"
#include "runtime/Bridge.h"

namespace tandemo::linux_platform {

inline void PrintTo(const InputEvent& e, std::ostream* out) {
  *out << "{" << e.type << ", " << e.code << ", " << e.value << "}";
}

namespace {

using Events = std::vector<InputEvent>;
constexpr InputEvent kSyn{EV_SYN, SYN_REPORT, 0};
InputEvent down(std::uint16_t code) { return {EV_KEY, code, 1}; }
InputEvent up(std::uint16_t code) { return {EV_KEY, code, 0}; }
InputEvent rel(std::uint16_t axis, std::int32_t value) { return {EV_REL, axis, value}; }

// Host key codes of the key table: Z 6, X 7, S 1, F1 122.
KeyChord chord(std::uint16_t keyCode, bool shift, bool control, bool command = false) {
  return {keyCode, shift, control, false, command};
}

class UinputEventSinkTest : public ::testing::Test {
 protected:
  UinputSinkOptions optionsFor(const char* layout) {
    UinputSinkOptions options;
    options.write = [this](std::span<const InputEvent> events) {
      written.insert(written.end(), events.begin(), events.end());
      return true;
    };
    options.log = [this](const std::string& line) { logLines.push_back(line); };
    options.layout = XkbNames{};
    options.layout->layout = layout;
    options.useX11 = false;
    return options;
  }
  Events take() { return std::exchange(written, {}); }

  VirtualLoop loop;
  Events written;
  std::vector<std::string> logLines;
  UinputEventSink sink{loop, optionsFor("us")};
  EventSynth synth{loop, sink, "org.tandemo.Tandemo"};
};

TEST_F(UinputEventSinkTest, ChordModifiersAreHeldExactlyAsLongAsTheirKey) {
  synth.key(chord(6, false, true), true);  // Ctrl+Z held
  EXPECT_EQ(take(), (Events{down(KEY_LEFTCTRL), kSyn, down(KEY_Z), kSyn}));
  synth.key(chord(7, true, false), true);  // Shift+X while it is held: without the Ctrl
  EXPECT_EQ(take(), (Events{up(KEY_LEFTCTRL), down(KEY_LEFTSHIFT), kSyn, down(KEY_X), kSyn, down(KEY_LEFTCTRL), kSyn}));
  synth.key(chord(6, false, true), false);
  EXPECT_EQ(take(), (Events{up(KEY_LEFTSHIFT), kSyn, up(KEY_Z), kSyn, up(KEY_LEFTCTRL), down(KEY_LEFTSHIFT), kSyn}));
  synth.key(chord(7, true, false), false);
  EXPECT_EQ(take(), (Events{up(KEY_X), kSyn, up(KEY_LEFTSHIFT), kSyn}));
  EXPECT_TRUE(sink.heldModifierKeys().empty());
}

TEST_F(UinputEventSinkTest, TheMousesOwnModifiersStayAndAreNotDoubled) {
  synth.modifier(0xE5, true);  // right shift from the mouse's report
  synth.passthrough(0x04, true);
  synth.key(chord(1, false, false, true), true);  // Cmd+S carries the held shift too
  synth.key(chord(1, false, false, true), false);
  synth.mouse(4, true);
  EXPECT_EQ(take(), (Events{down(KEY_RIGHTSHIFT), kSyn, down(KEY_A), kSyn, down(KEY_LEFTMETA), kSyn, down(KEY_S),
                            kSyn, up(KEY_S), kSyn, up(KEY_LEFTMETA), kSyn, down(BTN_SIDE), kSyn}));
  synth.modifier(0xE1, true);   // left shift as well,
  synth.modifier(0xE1, false);  // and its release clears the shared flag: both go up
  EXPECT_EQ(take(), (Events{down(KEY_LEFTSHIFT), kSyn, up(KEY_LEFTSHIFT), up(KEY_RIGHTSHIFT), kSyn}));
  synth.modifier(0xE5, false);
  EXPECT_EQ(take(), Events{});
}

// The mouse's report holds Shift, releaseAll() runs, the next report is empty: Shift must not
// stay down for the desktop.
TEST_F(UinputEventSinkTest, ReleaseAllLeavesNoModifierDown) {
  Bridge bridge{loop, sink, "org.tandemo.Tandemo"};
  bridge.handle(1, std::vector<std::uint8_t>{0x02, 0, 0, 0, 0, 0, 0, 0});
  bridge.releaseAll();
  bridge.handle(1, std::vector<std::uint8_t>{0x00, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(take(), (Events{down(KEY_LEFTSHIFT), kSyn, up(KEY_LEFTSHIFT), kSyn}));
  EXPECT_TRUE(sink.heldModifierKeys().empty());
}

TEST_F(UinputEventSinkTest, TextIsTypedWithTheLayoutsOwnModifiersOnly) {
  synth.modifier(0xE1, true);  // the mouse holds shift: a lower-case letter is typed without it
  take();
  synth.type("aA\n");
  EXPECT_EQ(take(), (Events{up(KEY_LEFTSHIFT), kSyn, down(KEY_A), kSyn, up(KEY_A), kSyn, down(KEY_LEFTSHIFT), kSyn,
                            down(KEY_A), kSyn, up(KEY_A), kSyn,
                            up(KEY_LEFTSHIFT), kSyn, down(KEY_ENTER), kSyn, up(KEY_ENTER), kSyn, down(KEY_LEFTSHIFT),
                            kSyn}));

  UinputEventSink german{loop, optionsFor("de")};
  EXPECT_TRUE(german.post(UnicodeKeyEvent{true, u"@"}));
  EXPECT_TRUE(german.post(UnicodeKeyEvent{false, u"@"}));
  EXPECT_TRUE(german.post(UnicodeKeyEvent{true, u"z"}));
  EXPECT_EQ(take(), (Events{down(KEY_RIGHTALT), kSyn, down(KEY_Q), kSyn, up(KEY_Q), kSyn, up(KEY_RIGHTALT), kSyn,
                            down(KEY_Y), kSyn, up(KEY_Y), kSyn}));
}

TEST_F(UinputEventSinkTest, CharactersTheLayoutLacksAreSkippedWithOneLogLineEach) {
  synth.type("\xC3\xA9x\xC3\xA9\xF0\x9F\x98\x80");  // é x é 😀
  EXPECT_EQ(take(), (Events{down(KEY_X), kSyn, up(KEY_X), kSyn}));
  ASSERT_EQ(logLines.size(), 2U);
  EXPECT_EQ(logLines[0], "Cannot type \"\xC3\xA9\" (U+00E9): the keyboard layout has no key for it");
  EXPECT_NE(logLines[1].find("U+1F600"), std::string::npos);
}

TEST_F(UinputEventSinkTest, ScrollMediaAndButtonNumbers) {
  synth.scroll(2, -3);  // two lines left, three down
  EXPECT_EQ(take(), (Events{rel(REL_WHEEL, -3), rel(REL_WHEEL_HI_RES, -360), rel(REL_HWHEEL, -2),
                            rel(REL_HWHEEL_HI_RES, -240), kSyn}));
  constexpr auto min = std::numeric_limits<std::int32_t>::min();
  constexpr auto max = std::numeric_limits<std::int32_t>::max();
  synth.scroll(std::numeric_limits<std::int64_t>::min(), 0);  // negated past the range: clamped
  synth.scroll(0, 0);
  EXPECT_EQ(take(), (Events{rel(REL_HWHEEL, max), rel(REL_HWHEEL_HI_RES, max), kSyn}));
  synth.scroll(0, std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(take(), (Events{rel(REL_WHEEL, min), rel(REL_WHEEL_HI_RES, min), kSyn}));

  synth.media(0xE9, true);
  synth.mouse(17, true);  // codes come from the key mapping; past 16 nothing is posted
  synth.mouse(40, true);
  EXPECT_EQ(take(), (Events{down(KEY_VOLUMEUP), kSyn}));
  ASSERT_EQ(logLines.size(), 1U);
  EXPECT_EQ(logLines[0], "Mouse button 17 was not posted: Linux desktops know mouse buttons 1 to 16 only");
}

TEST(UinputEventSinkDevice, WithoutAWritableNodeNothingIsPostedAndTheLogSaysWhyOnce) {
  VirtualLoop loop;
  std::vector<std::string> lines;
  UinputSinkOptions options;
  options.devicePath = "/nonexistent/uinput";
  options.log = [&](const std::string& line) { lines.push_back(line); };
  options.useX11 = false;
  UinputEventSink sink{loop, options};
  EXPECT_FALSE(sink.accessibilityGranted());
  EXPECT_FALSE(sink.post(KeyEvent{0, true}));
  EXPECT_FALSE(sink.post(KeyEvent{0, false}));
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0],
            "Cannot create the virtual input device on /nonexistent/uinput (No such file or directory): "
            "synthesised events are dropped");
  sink.requestAccessibility();
  EXPECT_EQ(lines.size(), 2U);
}

}  // namespace
}  // namespace tandemo::linux_platform
