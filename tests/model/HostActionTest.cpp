#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "model/HostAction.h"

namespace {

using tandemo::HostAction;
using tandemo::KeyChord;
using tandemo::SequenceStep;
using Kind = HostAction::Kind;

HostAction mouse(std::int64_t n) { return {HostAction::MouseButton{n}}; }
HostAction key(KeyChord chord) { return {HostAction::Key{chord}}; }
HostAction text(std::string s) { return {HostAction::Text{std::move(s)}}; }
HostAction scroll(std::int64_t dx, std::int64_t dy) { return {HostAction::Scroll{dx, dy}}; }
HostAction sequence(std::vector<SequenceStep> steps) { return {HostAction::Sequence{std::move(steps)}}; }
SequenceStep chordStep(KeyChord chord) { return {SequenceStep::Chord{chord}}; }
SequenceStep mouseStep(std::int64_t n) { return {SequenceStep::Mouse{n}}; }
SequenceStep textStep(std::string s) { return {SequenceStep::Text{std::move(s)}}; }
SequenceStep delayStep(std::int64_t ms) { return {SequenceStep::Delay{ms}}; }

// {keyCode, shift, control, option, command}
constexpr KeyChord commandC{8, false, false, false, true};
constexpr KeyChord allModifiersF1{122, true, true, true, true};

TEST(KeyChord, ModifiersInFixedOrderThenKeyName) {
  const std::pair<KeyChord, std::string> rows[] = {
      {{122}, "F1"},
      {{122, true, true, false, false}, "\u2303\u21E7F1"},             // control, shift
      {allModifiersF1, "\u2303\u2325\u21E7\u2318F1"},                  // always control, option, shift, command
      {{0x7F, false, false, false, true}, "\u2318key 0x7F"},           // no table entry
      {{0x0A, false, false, true, false}, "\u2325key 0x0A"},           // two digits at least
      {{0x1234}, "key 0x1234"},
      {{49}, "Space"},
      {{124, false, false, false, false}, "\u2192 Right"},
  };
  for (const auto& [chord, display] : rows) EXPECT_EQ(chord.display(), display);
}

TEST(HostAction, Summaries) {
  constexpr auto lowest = std::numeric_limits<std::int64_t>::min();
  const std::pair<HostAction, std::string> rows[] = {
      {{HostAction::None{}}, "Nothing"},
      {mouse(4), "Mouse button 4"},
      {mouse(-1), "Mouse button -1"},
      {key(commandC), "\u2318C"},
      {text("gg"), "Type \u201Cgg\u201D"},
      {text(""), "Type \u201C\u201D"},
      {scroll(0, 3), "Scroll up 3"},
      {scroll(2, -1), "Scroll down 1"},  // vertical wins, dx unmentioned
      {scroll(3, 0), "Scroll left 3"},
      {scroll(1, 0), "Scroll left 1"},
      {scroll(0, 0), "Scroll right 0"},
      {scroll(-3, 0), "Scroll right 3"},
      {scroll(lowest, 0), "Scroll right 9223372036854775808"},
      {scroll(0, lowest), "Scroll down 9223372036854775808"},
      {sequence({}), "Empty sequence"},
      {sequence({delayStep(100)}), "wait 100 ms"},
      {sequence({chordStep(commandC), delayStep(50), textStep("hi")}), "\u2318C \u2192 wait 50 ms \u2192 \u201Chi\u201D"},
      {sequence({mouseStep(4), textStep("")}), "Mouse 4 \u2192 \u201C\u201D"},
  };
  for (const auto& [action, summary] : rows) EXPECT_EQ(action.summary(), summary);
}

TEST(HostAction, OnePressOneInputCountsCharactersAsSeenAndStepsThatAreNotDelays) {
  const std::pair<HostAction, bool> rows[] = {
      {{HostAction::None{}}, true},
      {mouse(12), true},
      {key(allModifiersF1), true},
      {scroll(5, 5), true},
      {text(""), true},
      {text("a"), true},
      {text("ab"), false},
      {text("e\u0301"), true},                                    // e with a combining accent
      {text("\U0001F44D\U0001F3FD"), true},                       // thumbs up, skin tone
      {text("\U0001F468\u200D\U0001F469\u200D\U0001F467"), true}, // family, joined
      {text("\U0001F1EB\U0001F1F7"), true},                       // one flag
      {text("\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA"), false},  // two flags
      {text("\r\n"), true},
      {text("\U0001F44D!"), false},
      {sequence({}), true},
      {sequence({delayStep(100)}), true},
      {sequence({mouseStep(1), delayStep(10)}), true},
      {sequence({textStep("a long text")}), true},  // one step types once per press
      {sequence({chordStep(commandC), delayStep(10), chordStep(commandC)}), false},
      {sequence({mouseStep(1), mouseStep(1)}), false},
  };
  for (const auto& [action, oneToOne] : rows) EXPECT_EQ(action.isOneToOne(), oneToOne) << action.summary();
}

TEST(HostAction, BlankActionOfEachKind) {
  const std::tuple<Kind, HostAction, std::string> rows[] = {
      {Kind::none, {HostAction::None{}}, "Nothing"},
      {Kind::mouseButton, mouse(9), "Mouse button 9"},
      {Kind::key, key({122}), "F1"},
      {Kind::text, text(""), "Type \u201C\u201D"},
      {Kind::scroll, scroll(0, 3), "Scroll up 3"},
      {Kind::sequence, sequence({}), "Empty sequence"},
  };
  for (const auto& [kind, action, summary] : rows) {
    const HostAction blank = HostAction::blank(kind);
    EXPECT_EQ(blank, action);
    EXPECT_EQ(blank.kind(), kind);
    EXPECT_EQ(blank.summary(), summary);
  }
}

TEST(HostAction, KindRawValuesAreTheDisplayTexts) {
  const std::pair<Kind, const char*> rows[] = {
      {Kind::none, "Nothing"},       {Kind::mouseButton, "Mouse button"}, {Kind::key, "Keyboard shortcut"},
      {Kind::text, "Type text"},     {Kind::scroll, "Scroll"},            {Kind::sequence, "Sequence"},
  };
  for (const auto& [kind, raw] : rows) {
    EXPECT_EQ(tandemo::displayName(kind), raw);
    EXPECT_EQ(tandemo::kindFromRawValue(raw), kind);
  }
  for (const char* raw : {"key", "none", "keyboard shortcut", "Scroll ", ""}) {
    EXPECT_EQ(tandemo::kindFromRawValue(raw), std::nullopt) << raw;
  }
}

}  // namespace
