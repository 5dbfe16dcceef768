#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

#include "model/StateCodec.h"

namespace {

using namespace tandemo;
using Json = nlohmann::json;
using Rival500::Assignment;
using B = Rival500::Button;
using Step = SequenceStep;

Uuid id(const char* text) { return *Uuid::parse(text); }

std::string readData(const std::string& name) {
  std::ifstream in(std::string(TANDEMO_TEST_DATA) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Every case of every variant. The decoding rows below refer to array indexes: in hardware.assignments, button4's
// key is [1], button9's bridge [3], tiltLeft [6] with its mouse button [7]; in the first profile's actions, none
// is [1], the chord [3], the text [5], the scroll [7], and tiltRight [8] has the sequence [9].
AppState richState() {
  AppState s;
  s.hardware = {{{B::button4, Assignment::key(0x04)}, {B::button9, Assignment::bridge()},
                 {B::button13, Assignment::media(0xCD)}, {B::tiltLeft, Assignment::mouseButton(8)},
                 {B::tiltRight, Assignment::scrollDown()}},
                450, 12000, 500, {{{0, 255, 0, 225}, {40, 1, 2, 3}}, 2500}, {{{10, 0, 128, 0}}, 33}};
  s.autoSwitch = s.writeOnConnect = s.openWindowAtLaunch = false;
  s.pinnedProfileID = id("6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A");
  Profile desk{*s.pinnedProfileID, "Desk \u00B7 \"main\"", {"com.apple.", "org.mozilla.firefox"}, {}};
  desk.actions = {
      {B::button9, {HostAction::None{}}}, {B::button10, {HostAction::Key{{122, true, true, false, false}}}},
      {B::button11, {HostAction::Text{"line\n\ttab \x01 \U0001F44D"}}}, {B::tiltLeft, {HostAction::Scroll{-2, 0}}},
      {B::tiltRight, {HostAction::Sequence{{{Step::Chord{{8, false, false, false, true}}}, {Step::Mouse{4}},
                                            {Step::Text{"gg"}}, {Step::Delay{50}}}}}},
  };
  s.profiles = {desk, Profile{id("00000000-0000-4000-8000-00000000000F"), "Empty", {}, {}}};
  return s;
}

// encoded-state.json is the exact text: two-space indentation, one member per line, keys ascending
// in every object, button pairs in case order.
TEST(StateCodec, WritesTheExactLayoutAndReadsItBack) {
  const std::string golden = readData("encoded-state.json");
  EXPECT_EQ(encodeState(richState()), golden);
  EXPECT_EQ(decodeState(golden).value(), richState());
  EXPECT_EQ(decodeState(golden.substr(0, golden.size() / 2)).error().path, "");  // a write stopped half-way
  const AppState standard = AppState::wowDefault();
  EXPECT_EQ(decodeState(encodeState(standard)).value(), standard);
  EXPECT_EQ(encodeState(standard).find("pinnedProfileID"), std::string::npos);
  // valid-example.json is the documented example (pairs and keys in any order); unknown-button.json's second
  // profile names button14. tandemoctl's tests show and validate both.
  EXPECT_TRUE(decodeState(readData("valid-example.json")));
  EXPECT_EQ(decodeState(readData("unknown-button.json")).error().path, "profiles[1].actions[6]");
}

Json& act(Json& doc, std::size_t index) { return doc["profiles"][0]["actions"][index]; }
Json& hw(Json& doc) { return doc["hardware"]; }

// One row per decoding rule: an edit of the rich document, and where decoding then fails; rows without a place
// decode to the rich state as `change` alters it.
TEST(StateCodec, DecodingRules) {
  using Change = std::function<void(AppState&)>;
  struct Rule { const char* what; std::function<void(Json&)> edit; const char* path; Change change = {}; };
  const Change unpinned = [](AppState& s) { s.pinnedProfileID.reset(); };
  const Rule rules[] = {
      // Required members: absent or null.
      {"older build", [](Json& d) { d.erase("openWindowAtLaunch"); }, "openWindowAtLaunch"},
      {"writeOnConnect null", [](Json& d) { d["writeOnConnect"] = nullptr; }, "writeOnConnect"},
      {"dpi2 missing", [](Json& d) { hw(d).erase("dpi2"); }, "hardware.dpi2"},
      {"chord flag missing", [](Json& d) { act(d, 3)["key"]["_0"].erase("option"); },
       "profiles[0].actions[3].key._0.option"},
      // Wrong JSON types.
      {"document is an array", [](Json& d) { d = Json::array(); }, ""},
      {"autoSwitch as 1", [](Json& d) { d["autoSwitch"] = 1; }, "autoSwitch"},
      {"dpi1 as text", [](Json& d) { hw(d)["dpi1"] = "800"; }, "hardware.dpi1"},
      {"dpi1 as true", [](Json& d) { hw(d)["dpi1"] = true; }, "hardware.dpi1"},
      {"profiles as object", [](Json& d) { d["profiles"] = Json::object(); }, "profiles"},
      {"bundle id as number", [](Json& d) { d["profiles"][0]["bundleIDs"][1] = 5; }, "profiles[0].bundleIDs[1]"},
      // Ranges: whole numbers that fit the field.
      {"red 256", [](Json& d) { hw(d)["logo"]["stops"][1]["red"] = 256; }, "hardware.logo.stops[1].red"},
      {"blue -1", [](Json& d) { hw(d)["wheel"]["stops"][0]["blue"] = -1; }, "hardware.wheel.stops[0].blue"},
      {"usage 256", [](Json& d) { hw(d)["assignments"][1]["key"]["_0"] = 256; }, "hardware.assignments[1].key._0"},
      {"keyCode 65536", [](Json& d) { act(d, 3)["key"]["_0"]["keyCode"] = 65536; },
       "profiles[0].actions[3].key._0.keyCode"},
      {"dpi1 3.5", [](Json& d) { hw(d)["dpi1"] = 3.5; }, "hardware.dpi1"},
      {"dpi1 2^64 - 1", [](Json& d) { hw(d)["dpi1"] = UINT64_MAX; }, "hardware.dpi1"},
      // Tagged variants: exactly one member, a known case name.
      {"no member", [](Json& d) { act(d, 1) = Json::object(); }, "profiles[0].actions[1]"},
      {"none and text", [](Json& d) { act(d, 1)["text"] = {{"_0", "x"}}; }, "profiles[0].actions[1]"},
      {"only other members", [](Json& d) { act(d, 1) = {{"comment", {}}}; }, "profiles[0].actions[1]"},
      {"other letter case", [](Json& d) { act(d, 1) = {{"None", Json::object()}}; }, "profiles[0].actions[1]"},
      {"none with a number", [](Json& d) { act(d, 1)["none"] = 5; }, "profiles[0].actions[1].none"},
      {"unknown step", [](Json& d) { act(d, 9)["sequence"]["_0"][3] = {{"wait", 5}}; },
       "profiles[0].actions[9].sequence._0[3]"},
      {"payload empty", [](Json& d) { hw(d)["assignments"][7]["mouseButton"] = Json::object(); },
       "hardware.assignments[7].mouseButton._0"},
      {"scroll without dy", [](Json& d) { act(d, 7)["scroll"].erase("dy"); }, "profiles[0].actions[7].scroll.dy"},
      // Button-keyed arrays.
      {"odd length", [](Json& d) { d["profiles"][0]["actions"].push_back("button12"); }, "profiles[0].actions"},
      {"button14", [](Json& d) { act(d, 8) = "button14"; }, "profiles[0].actions[8]"},
      {"TiltLeft", [](Json& d) { hw(d)["assignments"][6] = "TiltLeft"; }, "hardware.assignments[6]"},
      {"actions as object", [](Json& d) { d["profiles"][0]["actions"] = {{"button9", 1}}; }, "profiles[0].actions"},
      // Identifiers.
      {"short id", [](Json& d) { d["profiles"][0]["id"] = "6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0"; }, "profiles[0].id"},
      {"pinned id as number", [](Json& d) { d["pinnedProfileID"] = 7; }, "pinnedProfileID"},
      // Accepted.
      {"pinned id null", [](Json& d) { d["pinnedProfileID"] = nullptr; }, {}, unpinned},
      {"pinned id left out", [](Json& d) { d.erase("pinnedProfileID"); }, {}, unpinned},
      {"unknown members", [](Json& d) { d["theme"] = "dark"; hw(d)["logo"]["stops"][0]["alpha"] = 1; }, {}},
      {"other members beside a case", [](Json& d) { act(d, 5)["note"] = 1; act(d, 7)["scroll"]["dz"] = 1; }, {}},
      {"whole-number floats", [](Json& d) { hw(d)["dpi1"] = 3.0; act(d, 7)["scroll"]["dx"] = -5.0; }, {},
       [](AppState& s) { s.hardware.dpi1 = 3; s.profiles[0].actions[B::tiltLeft] = {HostAction::Scroll{-5, 0}}; }},
      {"later pair wins",
       [](Json& d) { auto& a = d["profiles"][0]["actions"]; a += "button9"; a += {{"mouseButton", {{"_0", 42}}}}; }, {},
       [](AppState& s) { s.profiles[0].actions[B::button9] = {HostAction::MouseButton{42}}; }},
      {"empty lists", [](Json& d) { hw(d)["assignments"] = d["profiles"] = Json::array(); }, {},
       [](AppState& s) { s.hardware.assignments.clear(); s.profiles.clear(); }},
      {"widest integers", [](Json& d) { hw(d)["dpi1"] = INT64_MIN; hw(d)["dpi2"] = INT64_MAX; }, {},
       [](AppState& s) { s.hardware.dpi1 = INT64_MIN; s.hardware.dpi2 = INT64_MAX; }},
  };
  for (const Rule& rule : rules) {
    Json doc = Json::parse(encodeState(richState()));
    rule.edit(doc);
    const auto decoded = decodeState(doc.dump());
    if (rule.path) {
      ASSERT_FALSE(decoded) << rule.what;
      EXPECT_EQ(decoded.error().path, rule.path) << rule.what << ": " << decoded.error().describe();
    } else {
      ASSERT_TRUE(decoded) << rule.what << ": " << decoded.error().describe();
      AppState expected = richState();
      if (rule.change) rule.change(expected);
      EXPECT_EQ(*decoded, expected) << rule.what;
    }
  }
  Json doc = Json::parse(encodeState(richState()));
  act(doc, 1)["text"] = {{"_0", "x"}};
  EXPECT_NE(decodeState(doc.dump()).error().reason.find("Invalid number of keys found, expected one"), std::string::npos);
}

// Files a user could have: each must load (with the dpi1 it holds) or fail, for the reason given.
TEST(StateCodec, FixturesLoadOrFailForTheirReason) {
  struct Fixture { const char* file; std::optional<std::int64_t> dpi1; const char* why; };
  const Fixture fixtures[] = {
      {"dpi-exponent-overflow.json", {}, "10e9223372036854775807 is far beyond any integer: the old reader read 0"},
      {"dpi-exponent-underflow.json", 0, "0.0001e-9223372036854775807 is a tiny number, whole as 0: no overflow"},
      {"dpi-below-int64.json", {}, "-9223372036854775809 is below the signed 64-bit range, not its minimum"},
      {"dpi-above-int64.json", {}, "9223372036854775808 (dpi2) is above the signed 64-bit range"},
      {"dpi-int64-extremes.json", INT64_MIN, "both ends of the signed 64-bit range are integers"},
      {"dpi-float-int64-min.json", {}, "a float of magnitude 2^63 may stand for a wider integer: refused on both ends"},
      {"invalid-utf8-name.json", {}, "a byte 0xFF in a string is not UTF-8"},
      {"garbage.json", {}, "not JSON at all"},
      {"valid-example.json", 800, "the documented example"},
  };
  for (const Fixture& f : fixtures) {
    const auto decoded = decodeState(readData(f.file));
    if (!f.dpi1) {
      EXPECT_FALSE(decoded) << f.file << ": " << f.why;
      continue;
    }
    ASSERT_TRUE(decoded) << f.file << ": " << f.why << ": " << decoded.error().describe();
    EXPECT_EQ(decoded->hardware.dpi1, *f.dpi1) << f.file << ": " << f.why;
  }
  EXPECT_EQ(decodeState(readData("dpi-above-int64.json")).error().describe(),
            "hardware.dpi2: 9223372036854775808 is outside the field's range -9223372036854775808 to "
            "9223372036854775807");
  EXPECT_EQ(decodeState(readData("dpi-exponent-overflow.json")).error().describe(),
            "(document): not valid JSON: number overflow parsing '10e9223372036854775807'");
  // The reason quotes where parsing stopped, but never the bad byte itself: it is printed.
  const std::string reason = decodeState(readData("invalid-utf8-name.json")).error().reason;
  EXPECT_THAT(reason, ::testing::HasSubstr("ill-formed UTF-8 byte"));
  EXPECT_EQ(reason.find('\xFF'), std::string::npos);
}

// What the JSON text itself may hold: each value stands as an unknown member of a valid document.
TEST(StateCodec, JsonGrammarOfTheFile) {
  const std::string valid = readData("valid-example.json");
  const auto withMember = [&](const std::string& value) { return "{\"x\": " + value + "," + valid.substr(1); };
  const std::pair<std::string, bool> cases[] = {
      {"[1,]", false}, {"01", false}, {"1.", false}, {"+1", false}, {"NaN", false}, {"// c\n1", false},
      {"'a'", false}, {"\"\\ud800\"", false}, {"\"\\udc00\"", false}, {"\"\xC0\xAF\"", false},
      {"\"\xED\xA0\x80\"", false}, {"\"tab\there\"", false}, {"1e400", false}, {"-1e400", false},
      {"1e-400", true}, {"-0", true}, {"\"\\ud83d\\ude00\xF0\x9F\x98\x80\"", true}, {"\"\x7F\"", true},
      {"18446744073709551616", true}, {"{\"a\": 1, \"a\": 2}", true},
  };
  for (const auto& [value, accepted] : cases) {
    const auto decoded = decodeState(withMember(value));
    EXPECT_EQ(static_cast<bool>(decoded), accepted) << value;
    if (!decoded) {
      EXPECT_THAT(decoded.error().reason, ::testing::StartsWith("not valid JSON: ")) << value;
    }
  }
  EXPECT_TRUE(decodeState("\xEF\xBB\xBF" + valid));                         // a byte order mark
  EXPECT_TRUE(decodeState(valid + std::string("\0junk", 5)));                 // a NUL byte ends the text
  EXPECT_FALSE(decodeState(valid + "x"));
  // A repeated member: the later one counts.
  EXPECT_EQ(decodeState(withMember("1").replace(1, 6, "\"autoSwitch\": false")).value().autoSwitch, true);
}

TEST(StateCodec, RefusesNestingBeyondTheLimitWithoutExhaustingTheStack) {
  const std::string valid = readData("valid-example.json");
  const auto nested = [&](std::size_t depth) {
    return "{\"x\": " + std::string(depth, '[') + std::string(depth, ']') + "," + valid.substr(1);
  };
  EXPECT_TRUE(decodeState(nested(maxJsonDepth - 1)));  // the document itself is the first level
  const auto deep = decodeState(nested(maxJsonDepth));
  ASSERT_FALSE(deep);
  EXPECT_EQ(deep.error().reason, "not valid JSON: nesting deeper than 512 levels");
  EXPECT_FALSE(decodeState(std::string(1'000'000, '[')));
  EXPECT_FALSE(decodeState(std::string(100'000, '{')));
}

// Text that is not UTF-8 gets U+FFFD for each bad sequence, so the file still reads back.
TEST(StateCodec, WritesMalformedUtf8AsReplacementCharacters) {
  AppState s;
  s.profiles = {Profile{id("00000000-0000-4000-8000-00000000000F"), "a\xFF\xC3" "b", {"com.\xE2\x82"}, {}}};
  const auto decoded = decodeState(encodeState(s));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->profiles[0].name, "a\xEF\xBF\xBD\xEF\xBF\xBD" "b");
  EXPECT_EQ(decoded->profiles[0].bundleIDs[0], "com.\xEF\xBF\xBD");
}

}  // namespace
