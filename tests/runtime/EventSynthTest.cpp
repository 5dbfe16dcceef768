#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "EventPrinting.h"
#include "core/VirtualLoop.h"
#include "runtime/EventSynth.h"
#include "sim/RecordingEventSink.h"

namespace tandemo {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using std::chrono::milliseconds;

constexpr std::uint64_t shift = EventFlags::shift;
constexpr std::uint64_t option = EventFlags::option;

KeyChord chord(std::uint16_t code, bool shiftOn = false, bool commandOn = false) {
  return KeyChord{code, shiftOn, false, false, commandOn};
}

SequenceStep step(SequenceStep::Value value) { return SequenceStep{std::move(value)}; }

UnicodeKeyEvent unicode(bool down, std::u16string text) { return UnicodeKeyEvent{down, std::move(text)}; }

class EventSynthTest : public ::testing::Test {
 protected:
  std::vector<MainLoop::Duration> times() const {
    std::vector<MainLoop::Duration> result;
    for (const auto& entry : sink.recorded()) result.push_back(entry.at);
    return result;
  }

  VirtualLoop loop;
  RecordingEventSink sink{loop};
  EventSynth synth{loop, sink, "org.tandemo.Tandemo"};
};

TEST_F(EventSynthTest, ModifiersAreHeldAndCarriedByPassthroughKeys) {
  synth.modifier(0xE1, true);  // left shift
  synth.passthrough(0x04, true);  // A
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{FlagsChangedEvent{56, true, shift}},
                                         SynthEvent{KeyEvent{0, true, shift, FlagsMode::addToOwn}}));
}

TEST_F(EventSynthTest, LeftAndRightModifiersShareOneFlag) {
  synth.modifier(0xE1, true);
  synth.modifier(0xE5, true);
  synth.modifier(0xE5, false);
  EXPECT_EQ(synth.heldFlags(), 0U);
  EXPECT_EQ(sink.events().back(), SynthEvent(FlagsChangedEvent{60, false, 0}));

  synth.modifier(0x04, true);  // not a modifier: nothing at all
  synth.passthrough(0x70, true);  // F21 has no key code
  synth.passthrough(0x32, true);  // not in the key table
  EXPECT_EQ(sink.events().size(), 3U);
  EXPECT_EQ(synth.heldFlags(), 0U);
}

TEST_F(EventSynthTest, ChordFlagsReplaceTheEventsOwnAndAddHeldOnes) {
  synth.modifier(0xE6, true);  // right option
  synth.key(chord(8, true, true), true);
  synth.key(chord(8, true, true), false);
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{FlagsChangedEvent{61, true, option}},
                                         SynthEvent{KeyEvent{8, true, 0x1A0000, FlagsMode::replace}},
                                         SynthEvent{KeyEvent{8, false, 0x1A0000, FlagsMode::replace}}));
  synth.clearModifiers();
  EXPECT_EQ(synth.heldFlags(), 0U);
  EXPECT_EQ(sink.events().size(), 3U);  // forgetting posts nothing
}

TEST_F(EventSynthTest, MouseButtonsMapToTypesAndClampedNumbers) {
  struct Case {
    std::int64_t number;
    bool down;
    int type;
    int button;
  };
  const Case cases[] = {{0, true, 1, 0},    {-7, false, 2, 0},  {1, true, 1, 0},   {2, true, 3, 1},
                        {2, false, 4, 1},   {3, true, 25, 2},   {9, false, 26, 8}, {32, true, 25, 31},
                        {40, true, 25, 31}, {std::numeric_limits<std::int64_t>::max(), false, 26, 31}};
  sink.setCursor(Point{120.5, 40});
  synth.modifier(0xE1, true);
  sink.clear();
  for (const Case& c : cases) {
    sink.clear();
    synth.mouse(c.number, c.down);
    EXPECT_EQ(sink.events().at(0),
              SynthEvent(MouseButtonEvent{c.type, c.button, 1, Point{120.5, 40}, shift, FlagsMode::addToOwn}))
        << "button " << c.number;
  }
}

TEST_F(EventSynthTest, MouseEventsSitAtOriginWhenThePointerCannotBeRead) {
  sink.setCursor(std::nullopt);
  synth.mouse(1, true);
  EXPECT_EQ(std::get<MouseButtonEvent>(sink.events().at(0)).location, (Point{0, 0}));
}

TEST_F(EventSynthTest, ScrollAmountsAreClampedToThirtyTwoBits) {
  synth.scroll(2, -3);
  synth.scroll(std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min());
  const auto max32 = std::numeric_limits<std::int32_t>::max();
  const auto min32 = std::numeric_limits<std::int32_t>::min();
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{ScrollEvent{-3, 2, 0}}, SynthEvent{ScrollEvent{min32, max32, 0}}));
}

TEST_F(EventSynthTest, TypingSendsOneKeyPairPerScalar) {
  synth.type("");
  EXPECT_THAT(sink.events(), IsEmpty());

  synth.type("\u00E9");  // precomposed e with acute
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{unicode(true, u"\u00E9")}, SynthEvent{unicode(false, u"\u00E9")}));

  sink.clear();
  synth.type("e\u0301\U0001F600");  // e, combining acute, an emoji beyond U+FFFF
  EXPECT_THAT(sink.events(),
              ElementsAre(SynthEvent{unicode(true, u"e")}, SynthEvent{unicode(false, u"e")},
                          SynthEvent{unicode(true, u"\u0301")}, SynthEvent{unicode(false, u"\u0301")},
                          SynthEvent{unicode(true, u"\xD83D\xDE00")}, SynthEvent{unicode(false, u"\xD83D\xDE00")}));
}

TEST_F(EventSynthTest, InvalidUtf8TypesReplacementCharacters) {
  synth.type(std::string("a\xFF\xE2\x82", 4));  // a stray byte, then a cut-off three-byte form
  std::vector<SynthEvent> expected;
  for (char16_t unit : std::u16string(u"a\uFFFD\uFFFD\uFFFD")) {
    expected.push_back(unicode(true, std::u16string(1, unit)));
    expected.push_back(unicode(false, std::u16string(1, unit)));
  }
  EXPECT_EQ(sink.events(), expected);
}

TEST_F(EventSynthTest, RefusedEventIsSkippedAndTheRestStillPosted) {
  sink.refuse(1);
  synth.type("ab");
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{unicode(false, u"a")}, SynthEvent{unicode(true, u"b")},
                                         SynthEvent{unicode(false, u"b")}));
}

TEST_F(EventSynthTest, MediaKeysUseTheSystemDefinedEncoding) {
  synth.modifier(0xE3, true);  // held modifiers do not reach media keys
  sink.clear();
  synth.media(0xE9, true);   // Volume up, key type 0
  synth.media(0xCD, false);  // Play / Pause, key type 16
  synth.media(0x10, true);   // not a media key
  EXPECT_THAT(sink.events(), ElementsAre(SynthEvent{MediaKeyEvent{0xA00, -1, 0xA00, 8}},
                                         SynthEvent{MediaKeyEvent{(16 << 16) | 0xB00, -1, 0xB00, 8}}));
}

TEST_F(EventSynthTest, OnlyMouseButtonsAndChordsHaveARelease) {
  synth.release(HostAction{HostAction::Text{"hi"}});
  synth.release(HostAction{HostAction::Scroll{0, 3}});
  synth.release(HostAction{HostAction::Sequence{{step(SequenceStep::Text{"x"})}}});
  synth.release(HostAction{});
  loop.advance(seconds(1));
  EXPECT_THAT(sink.events(), IsEmpty());

  synth.press(HostAction{HostAction::MouseButton{9}});
  synth.release(HostAction{HostAction::MouseButton{9}});
  synth.press(HostAction{HostAction::Key{chord(122)}});
  synth.release(HostAction{HostAction::Key{chord(122)}});
  EXPECT_THAT(sink.lines(), ElementsAre("mouse type 25 button 8 clicks 1 at (0.000000, 0.000000) flags 0x0 added",
                                        "mouse type 26 button 8 clicks 1 at (0.000000, 0.000000) flags 0x0 added",
                                        "key down 122 flags 0x0", "key up 122 flags 0x0"));
}

TEST_F(EventSynthTest, SequencePlaysAtExactGapsAndTheNextRunQueuesBehind) {
  EXPECT_EQ(synth.sequenceQueueLabel(), "org.tandemo.Tandemo.sequence");
  const std::vector<SequenceStep> steps = {step(SequenceStep::Chord{chord(8, false, true)}),
                                           step(SequenceStep::Delay{100}),
                                           step(SequenceStep::Chord{chord(9, false, true)})};
  synth.run(steps);
  synth.run({step(SequenceStep::Mouse{2}), step(SequenceStep::Text{"z"})});
  loop.runUntilIdle();
  ASSERT_EQ(sink.events().size(), 1U);
  EXPECT_EQ(sink.events()[0], SynthEvent(KeyEvent{8, true, EventFlags::command, FlagsMode::replace}));

  loop.advance(milliseconds(199));
  EXPECT_THAT(times(), ElementsAre(milliseconds(0), milliseconds(20), milliseconds(160), milliseconds(180)));
  loop.advance(milliseconds(1));  // the first run ends at 0.2 s; the second starts at once
  loop.advance(milliseconds(100));
  EXPECT_THAT(times(), ElementsAre(milliseconds(0), milliseconds(20), milliseconds(160), milliseconds(180),
                                   milliseconds(200), milliseconds(220), milliseconds(240), milliseconds(240)));
  EXPECT_EQ(std::get<MouseButtonEvent>(sink.events()[4]).type, 3);
  EXPECT_EQ(sink.events()[6], SynthEvent(unicode(true, u"z")));
}

TEST_F(EventSynthTest, NegativeDelayWaitsNotAtAllAndEmptySequenceDoesNothing) {
  synth.run({});
  synth.run({step(SequenceStep::Delay{-500}), step(SequenceStep::Text{"a"})});
  loop.advance(milliseconds(20));
  EXPECT_THAT(times(), ElementsAre(milliseconds(20), milliseconds(20)));
}

TEST_F(EventSynthTest, SequenceEventsCarryTheFlagsHeldWhenTheyArePosted) {
  synth.run({step(SequenceStep::Chord{chord(8)})});
  loop.runUntilIdle();
  synth.modifier(0xE1, true);
  loop.advance(milliseconds(40));
  EXPECT_EQ(sink.events().at(0), SynthEvent(KeyEvent{8, true, 0, FlagsMode::replace}));
  EXPECT_EQ(sink.events().at(2), SynthEvent(KeyEvent{8, false, shift, FlagsMode::replace}));
}

TEST(EventSynthLifetime, DestroyingTheSynthWhileASequencePlaysDoesNotHang) {
  VirtualLoop loop;
  RecordingEventSink sink{loop};
  auto synth = std::make_unique<EventSynth>(loop, sink, "org.tandemo.Tandemo");
  synth->run({step(SequenceStep::Text{"a"}), step(SequenceStep::Delay{60'000}), step(SequenceStep::Text{"b"})});
  synth->run({step(SequenceStep::Text{"c"})});
  loop.advance(milliseconds(30));  // the first job is in its long delay
  synth.reset();
  loop.advance(seconds(120));
  EXPECT_EQ(sink.events().size(), 2U);  // only the "a" pair

  // A job waiting for the main thread when the synth goes.
  synth = std::make_unique<EventSynth>(loop, sink, "org.tandemo.Tandemo");
  synth->run({step(SequenceStep::Text{"d"})});
  synth.reset();
  loop.runUntilIdle();
  EXPECT_EQ(sink.events().size(), 2U);
}

}  // namespace
}  // namespace tandemo
