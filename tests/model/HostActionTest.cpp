#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

#include "model/HostAction.h"

namespace {

using tandemo::HostAction;
using tandemo::KeyChord;
using Step = tandemo::SequenceStep;
using Kind = HostAction::Kind;

HostAction mouse(std::int64_t n) { return {HostAction::MouseButton{n}}; }
HostAction text(std::string s) { return {HostAction::Text{std::move(s)}}; }
HostAction scroll(std::int64_t dx, std::int64_t dy) { return {HostAction::Scroll{dx, dy}}; }
HostAction sequence(std::vector<Step> steps) { return {HostAction::Sequence{std::move(steps)}}; }

constexpr KeyChord commandC{8, false, false, false, true};  // {keyCode, shift, control, option, command}

// Chords show their modifiers in a fixed order, then the key's name.
TEST(HostAction, SummariesAndChordDisplay) {
  const std::pair<KeyChord, std::string> chords[] = {
      {{122}, "F1"}, {{122, true, true, true, true}, "\u2303\u2325\u21E7\u2318F1"},  // control, option, shift, command
      {{0x7F, false, false, false, true}, "\u2318key 0x7F"}, {{0x0A, false, false, true, false}, "\u2325key 0x0A"},
      {{0x1234}, "key 0x1234"},  // no table entry: hexadecimal, two digits at least
  };
  for (const auto& [chord, display] : chords) EXPECT_EQ(chord.display(), display);
  const std::pair<HostAction, std::string> rows[] = {
      {{HostAction::None{}}, "Nothing"},          {mouse(-1), "Mouse button -1"},
      {{HostAction::Key{commandC}}, "\u2318C"},    {text("gg"), "Type \u201Cgg\u201D"},
      {scroll(0, 3), "Scroll up 3"},              {scroll(2, -1), "Scroll down 1"},  // vertical wins
      {scroll(3, 0), "Scroll left 3"},            {scroll(0, 0), "Scroll right 0"},
      {scroll(-3, 0), "Scroll right 3"},          {scroll(INT64_MIN, 0), "Scroll right 9223372036854775808"},
      {scroll(0, INT64_MIN), "Scroll down 9223372036854775808"},
      {sequence({}), "Empty sequence"},
      {sequence({{Step::Chord{commandC}}, {Step::Delay{50}}, {Step::Text{"hi"}}, {Step::Mouse{4}}}),
       "\u2318C \u2192 wait 50 ms \u2192 \u201Chi\u201D \u2192 Mouse 4"},
  };
  for (const auto& [action, summary] : rows) EXPECT_EQ(action.summary(), summary);
}

// One press gives one input: at most one character as the user sees it, at most one step that is no delay.
TEST(HostAction, IsOneToOneAndKinds) {
  const std::pair<HostAction, bool> rows[] = {
      {{HostAction::None{}}, true}, {scroll(5, 5), true}, {text(""), true}, {text("ab"), false},
      {text("\U0001F468\u200D\U0001F469\u200D\U0001F467"), true},  // family, joined
      {text("\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA"), false},    // two flags
      {sequence({}), true}, {sequence({{Step::Mouse{1}}, {Step::Delay{10}}}), true},
      {sequence({{Step::Text{"a long text"}}}), true},  // one step types once per press
      {sequence({{Step::Chord{commandC}}, {Step::Delay{10}}, {Step::Chord{commandC}}}), false},
  };
  for (const auto& [action, oneToOne] : rows) EXPECT_EQ(action.isOneToOne(), oneToOne) << action.summary();
  // Each kind's name, and the blank action that choosing it gives.
  const std::tuple<Kind, const char*, HostAction> kinds[] = {
      {Kind::none, "Nothing", {HostAction::None{}}}, {Kind::mouseButton, "Mouse button", mouse(9)},
      {Kind::key, "Keyboard shortcut", {HostAction::Key{{122}}}}, {Kind::text, "Type text", text("")},
      {Kind::scroll, "Scroll", scroll(0, 3)}, {Kind::sequence, "Sequence", sequence({})},
  };
  for (const auto& [kind, name, blank] : kinds) {
    EXPECT_EQ(tandemo::displayName(kind), name);
    EXPECT_EQ(tandemo::kindFromRawValue(name), kind);
    EXPECT_EQ(HostAction::blank(kind), blank) << name;
    EXPECT_EQ(blank.kind(), kind) << name;
  }
  for (const char* raw : {"key", "none", "Scroll ", ""}) EXPECT_EQ(tandemo::kindFromRawValue(raw), std::nullopt) << raw;
}

}  // namespace
