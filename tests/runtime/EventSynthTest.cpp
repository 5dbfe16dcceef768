#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "core/VirtualLoop.h"
#include "runtime/EventSynth.h"
#include "sim/RecordingEventSink.h"

namespace tandemo {

// Failures show events as their log line instead of raw bytes.
inline void PrintTo(const SynthEvent& event, std::ostream* out) { *out << describeEvent(event); }

namespace {

using ::testing::ElementsAre;
using namespace std::chrono_literals;
using Events = std::vector<SynthEvent>;
using Step = SequenceStep;

constexpr std::uint64_t shift = EventFlags::shift;
constexpr auto added = FlagsMode::addToOwn;
constexpr auto replaced = FlagsMode::replace;

KeyChord chord(std::uint16_t key, bool shifted = false, bool cmd = false) { return {key, shifted, false, false, cmd}; }

class EventSynthTest : public ::testing::Test {
 protected:
  VirtualLoop loop;
  RecordingEventSink sink{loop};
  EventSynth synth{loop, sink, "org.tandemo.Tandemo"};
};

TEST_F(EventSynthTest, ModifierFlagsAreSharedLeftAndRightAndCarriedByKeys) {
  synth.modifier(0xE1, true);     // left shift
  synth.passthrough(0x04, true);  // A
  synth.modifier(0xE5, true);     // right shift: the same flag,
  synth.modifier(0xE5, false);    // so its release clears shift though left is down
  synth.modifier(0x04, true);     // not a modifier
  synth.passthrough(0x70, true);  // F21 has no key code
  synth.passthrough(0x32, true);  // not in the key table
  synth.modifier(0xE6, true);     // right option
  synth.key(chord(8, true, true), true);  // a chord's flags replace the event's own
  EXPECT_EQ(sink.events(), (Events{FlagsChangedEvent{56, true, shift}, KeyEvent{0, true, shift, added},
                                   FlagsChangedEvent{60, true, shift}, FlagsChangedEvent{60, false, 0},
                                   FlagsChangedEvent{61, true, EventFlags::option},
                                   KeyEvent{8, true, 0x1A0000, replaced}}));
}

TEST_F(EventSynthTest, MouseButtonsMapToTypesAndClampedNumbers) {
  struct Case { std::int64_t number; bool down; int type, button; };
  const Case cases[] = {{0, true, 1, 0},    {-7, false, 2, 0},  {1, true, 1, 0},   {2, true, 3, 1},
                        {2, false, 4, 1},   {3, true, 25, 2},   {9, false, 26, 8}, {32, true, 25, 31},
                        {40, true, 25, 31}, {INT64_MAX, false, 26, 31}};
  sink.setCursor(Point{120.5, 40});
  synth.modifier(0xE1, true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    sink.clear();
    synth.mouse(c.number, c.down);
    EXPECT_EQ(sink.events(), (Events{MouseButtonEvent{c.type, c.button, 1, Point{120.5, 40}, shift, added}}));
  }
}

TEST_F(EventSynthTest, ScrollIsClampedMediaKeysAreSystemDefinedAndOnlyHeldActionsRelease) {
  synth.modifier(0xE3, true);  // held modifiers reach neither scroll nor media events
  sink.clear();
  synth.scroll(2, -3);
  synth.scroll(INT64_MAX, INT64_MIN);
  synth.media(0xE9, true);   // Volume up, key type 0
  synth.media(0xCD, false);  // Play / Pause, key type 16
  synth.media(0x10, true);   // not a media key
  synth.clearModifiers();
  for (const HostAction& action : {HostAction{HostAction::Text{"hi"}}, HostAction{HostAction::Scroll{0, 3}},
                                   HostAction{HostAction::Sequence{{Step{Step::Text{"x"}}}}}, HostAction{},
                                   HostAction{HostAction::MouseButton{9}}, HostAction{HostAction::Key{chord(122)}}}) {
    synth.release(action);
  }
  loop.advance(1s);
  EXPECT_EQ(sink.events(), (Events{ScrollEvent{-3, 2, 0}, ScrollEvent{INT32_MIN, INT32_MAX, 0},
                                   MediaKeyEvent{0xA00, -1, 0xA00, 8}, MediaKeyEvent{(16 << 16) | 0xB00, -1, 0xB00, 8},
                                   MouseButtonEvent{26, 8, 1, {}, 0, added}, KeyEvent{122, false, 0, replaced}}));
}

TEST_F(EventSynthTest, TypingSendsOneKeyPairPerScalar) {
  synth.type("");
  // Precomposed e-acute; e and a combining mark, each alone; an emoji as a surrogate pair; then a
  // stray byte and a cut-off three-byte form, each invalid byte typing U+FFFD.
  synth.type("\u00E9e\u0301\U0001F600" "a\xFF\xE2\x82");
  Events expected;
  for (std::u16string units : {u"\u00E9", u"e", u"\u0301", u"\xD83D\xDE00", u"a", u"\uFFFD", u"\uFFFD", u"\uFFFD"}) {
    expected.push_back(UnicodeKeyEvent{true, units});
    expected.push_back(UnicodeKeyEvent{false, units});
  }
  EXPECT_EQ(sink.events(), expected);
}

TEST_F(EventSynthTest, SequencesPlayAtExactGapsOneRunAfterAnother) {
  const auto times = [this] {
    std::vector<MainLoop::Duration> result;
    for (const auto& entry : sink.recorded()) result.push_back(entry.at);
    return result;
  };
  synth.run({Step{Step::Chord{chord(8, false, true)}}, Step{Step::Delay{100}}, Step{Step::Chord{chord(9)}}});
  synth.run({Step{Step::Mouse{2}}, Step{Step::Text{"z"}}});
  loop.runUntilIdle();  // the first step at once; the rest waits for virtual time
  ASSERT_EQ(sink.events(), (Events{KeyEvent{8, true, EventFlags::command, replaced}}));
  loop.advance(300ms);  // the first run ends at 0.2 s and the second starts there
  EXPECT_THAT(times(), ElementsAre(0ms, 20ms, 160ms, 180ms, 200ms, 220ms, 240ms, 240ms));
  EXPECT_EQ(sink.events()[6], SynthEvent(UnicodeKeyEvent{true, u"z"}));

  sink.clear();  // a negative delay waits not at all; an empty run does nothing
  synth.run({});
  synth.run({Step{Step::Delay{-500}}, Step{Step::Chord{chord(8)}}});
  loop.advance(20ms);
  synth.modifier(0xE1, true);  // events carry the flags held when they are posted
  loop.advance(20ms);
  EXPECT_THAT(times(), ElementsAre(320ms, 320ms, 340ms));
  EXPECT_EQ(sink.events()[2], SynthEvent(KeyEvent{8, false, shift, replaced}));
}

TEST_F(EventSynthTest, DestroyingTheSynthWhileASequencePlaysDoesNotHang) {
  auto other = std::make_unique<EventSynth>(loop, sink, "org.tandemo.Tandemo");
  other->run({Step{Step::Text{"a"}}, Step{Step::Delay{60'000}}, Step{Step::Text{"b"}}});
  other->run({Step{Step::Text{"c"}}});
  loop.advance(30ms);  // the first job is in its long delay
  other.reset();
  loop.advance(120s);
  EXPECT_EQ(sink.events().size(), 2U);  // only the "a" pair

  other = std::make_unique<EventSynth>(loop, sink, "org.tandemo.Tandemo");
  other->run({Step{Step::Text{"d"}}});  // waiting for the main thread when the synth goes
  other.reset();
  loop.runUntilIdle();
  EXPECT_EQ(sink.events().size(), 2U);
}

}  // namespace
}  // namespace tandemo
