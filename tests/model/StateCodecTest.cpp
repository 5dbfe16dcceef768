#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "model/StateCodec.h"

namespace {

using namespace tandemo;
using Json = nlohmann::json;
using Rival500::Assignment;
using B = Rival500::Button;

Uuid id(const char* text) { return *Uuid::parse(text); }

std::string readData(const std::string& name) {
  std::ifstream in(std::string(TANDEMO_TEST_DATA) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A state that uses every case of every variant. The array indexes noted below are the ones the
// decoding tests refer to.
AppState richState() {
  AppState s;
  s.hardware.assignments = {
      {B::button4, Assignment::key(0x04)},        // assignments[0], [1]
      {B::button9, Assignment::bridge()},         // [2], [3]
      {B::button13, Assignment::media(0xCD)},     // [4], [5]
      {B::tiltLeft, Assignment::mouseButton(8)},  // [6], [7]
      {B::tiltRight, Assignment::scrollDown()},   // [8], [9]
  };
  s.hardware.dpi1 = 450;
  s.hardware.dpi2 = 12000;
  s.hardware.pollingHz = 500;
  s.hardware.logo = {{{0, 255, 0, 225}, {40, 1, 2, 3}}, 2500};
  s.hardware.wheel = {{{10, 0, 128, 0}}, 33};
  s.autoSwitch = false;
  s.writeOnConnect = false;
  s.openWindowAtLaunch = false;
  const Uuid desk = id("6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A");
  s.pinnedProfileID = desk;
  const KeyChord controlShiftF1{122, true, true, false, false};
  const KeyChord commandC{8, false, false, false, true};
  Profile profile{desk, "Desk \u00B7 \"main\"", {"com.apple.", "org.mozilla.firefox"}, {}};
  profile.actions = {
      {B::button9, {HostAction::None{}}},                                   // actions[0], [1]
      {B::button10, {HostAction::Key{controlShiftF1}}},                     // [2], [3]
      {B::button11, {HostAction::Text{"line\n\ttab \x01 \U0001F44D"}}},     // [4], [5]
      {B::tiltLeft, {HostAction::Scroll{-2, 0}}},                           // [6], [7]
      {B::tiltRight, {HostAction::Sequence{{{SequenceStep::Chord{commandC}},  // [8], [9]
                                            {SequenceStep::Mouse{4}},
                                            {SequenceStep::Text{"gg"}},
                                            {SequenceStep::Delay{50}}}}}},
  };
  s.profiles = {profile, Profile{id("00000000-0000-4000-8000-00000000000F"), "Empty", {}, {}}};
  return s;
}

TEST(StateCodec, RoundTripsTheDefaultState) {
  const AppState state = AppState::wowDefault();
  const auto decoded = decodeState(encodeState(state));
  ASSERT_TRUE(decoded) << decoded.error().describe();
  EXPECT_EQ(*decoded, state);
  EXPECT_EQ(encodeState(state).find("pinnedProfileID"), std::string::npos);
}

// The file holds the exact text: two-space indentation, one member per line, keys ascending in
// every object, button pairs in case order.
TEST(StateCodec, WritesTheRichStateExactlyAndReadsItBack) {
  const std::string golden = readData("encoded-state.json");
  ASSERT_FALSE(golden.empty());
  EXPECT_EQ(encodeState(richState()), golden);
  const auto decoded = decodeState(golden);
  ASSERT_TRUE(decoded) << decoded.error().describe();
  EXPECT_EQ(*decoded, richState());
}

struct Edit {
  const char* what;
  std::function<void(Json&)> change;
};

Json richDocument() { return Json::parse(encodeState(richState())); }

Json& action(Json& doc, std::size_t index) { return doc["profiles"][0]["actions"][index]; }

TEST(StateCodec, RejectsBrokenDocumentsAndNamesThePlace) {
  struct Row : Edit {
    const char* path;
  };
  const Row rows[] = {
      // Required members: absent or null.
      {{"autoSwitch missing", [](Json& d) { d.erase("autoSwitch"); }}, "autoSwitch"},
      {{"writeOnConnect null", [](Json& d) { d["writeOnConnect"] = nullptr; }}, "writeOnConnect"},
      {{"hardware missing", [](Json& d) { d.erase("hardware"); }}, "hardware"},
      {{"dpi2 missing", [](Json& d) { d["hardware"].erase("dpi2"); }}, "hardware.dpi2"},
      {{"wheel stops null", [](Json& d) { d["hardware"]["wheel"]["stops"] = nullptr; }}, "hardware.wheel.stops"},
      {{"profile id missing", [](Json& d) { d["profiles"][1].erase("id"); }}, "profiles[1].id"},
      {{"chord flag missing", [](Json& d) { action(d, 3)["key"]["_0"].erase("option"); }},
       "profiles[0].actions[3].key._0.option"},
      // Wrong JSON types.
      {{"document is an array", [](Json& d) { d = Json::array(); }}, ""},
      {{"autoSwitch as 1", [](Json& d) { d["autoSwitch"] = 1; }}, "autoSwitch"},
      {{"dpi1 as text", [](Json& d) { d["hardware"]["dpi1"] = "800"; }}, "hardware.dpi1"},
      {{"dpi1 as true", [](Json& d) { d["hardware"]["dpi1"] = true; }}, "hardware.dpi1"},
      {{"logo as array", [](Json& d) { d["hardware"]["logo"] = Json::array(); }}, "hardware.logo"},
      {{"profiles as object", [](Json& d) { d["profiles"] = Json::object(); }}, "profiles"},
      {{"bundle id as number", [](Json& d) { d["profiles"][0]["bundleIDs"][1] = 5; }}, "profiles[0].bundleIDs[1]"},
      {{"text payload as number", [](Json& d) { action(d, 5)["text"]["_0"] = 5; }}, "profiles[0].actions[5].text._0"},
      // Ranges.
      {{"red 256", [](Json& d) { d["hardware"]["logo"]["stops"][1]["red"] = 256; }}, "hardware.logo.stops[1].red"},
      {{"blue -1", [](Json& d) { d["hardware"]["wheel"]["stops"][0]["blue"] = -1; }}, "hardware.wheel.stops[0].blue"},
      {{"key usage 256", [](Json& d) { d["hardware"]["assignments"][1]["key"]["_0"] = 256; }},
       "hardware.assignments[1].key._0"},
      {{"keyCode -1", [](Json& d) { action(d, 3)["key"]["_0"]["keyCode"] = -1; }}, "profiles[0].actions[3].key._0.keyCode"},
      {{"keyCode 65536", [](Json& d) { action(d, 3)["key"]["_0"]["keyCode"] = 65536; }},
       "profiles[0].actions[3].key._0.keyCode"},
      {{"dpi1 3.5", [](Json& d) { d["hardware"]["dpi1"] = 3.5; }}, "hardware.dpi1"},
      {{"dpi1 1e300", [](Json& d) { d["hardware"]["dpi1"] = 1e300; }}, "hardware.dpi1"},
      {{"dpi1 2^64 - 1", [](Json& d) { d["hardware"]["dpi1"] = std::numeric_limits<std::uint64_t>::max(); }}, "hardware.dpi1"},
      {{"delay 2.5 ms", [](Json& d) { action(d, 9)["sequence"]["_0"][3]["delay"]["_0"] = 2.5; }},
       "profiles[0].actions[9].sequence._0[3].delay._0"},
      // Tagged variants.
      {{"action with no member", [](Json& d) { action(d, 1) = Json::object(); }}, "profiles[0].actions[1]"},
      {{"action none and text", [](Json& d) { action(d, 1)["text"] = {{"_0", "x"}}; }}, "profiles[0].actions[1]"},
      {{"action with only other members", [](Json& d) { action(d, 1) = {{"comment", {}}}; }}, "profiles[0].actions[1]"},
      {{"case name in other letter case", [](Json& d) { action(d, 1) = {{"None", Json::object()}}; }},
       "profiles[0].actions[1]"},
      {{"none with a number", [](Json& d) { action(d, 1)["none"] = 5; }}, "profiles[0].actions[1].none"},
      {{"bridge and disabled", [](Json& d) { d["hardware"]["assignments"][3]["disabled"] = Json::object(); }},
       "hardware.assignments[3]"},
      {{"unknown step", [](Json& d) { action(d, 9)["sequence"]["_0"][3] = {{"wait", {{"_0", 5}}}}; }},
       "profiles[0].actions[9].sequence._0[3]"},
      {{"mouse button payload empty", [](Json& d) { d["hardware"]["assignments"][7]["mouseButton"] = Json::object(); }},
       "hardware.assignments[7].mouseButton._0"},
      {{"scroll without dy", [](Json& d) { action(d, 7)["scroll"].erase("dy"); }}, "profiles[0].actions[7].scroll.dy"},
      {{"sequence steps as object", [](Json& d) { action(d, 9)["sequence"]["_0"] = Json::object(); }},
       "profiles[0].actions[9].sequence._0"},
      // Button-keyed arrays.
      {{"odd length", [](Json& d) { d["profiles"][0]["actions"].push_back("button12"); }}, "profiles[0].actions"},
      {{"button14", [](Json& d) { action(d, 8) = "button14"; }}, "profiles[0].actions[8]"},
      {{"TiltLeft", [](Json& d) { d["hardware"]["assignments"][6] = "TiltLeft"; }}, "hardware.assignments[6]"},
      {{"button name as number", [](Json& d) { action(d, 0) = 9; }}, "profiles[0].actions[0]"},
      {{"actions as object", [](Json& d) { d["profiles"][0]["actions"] = {{"button9", {{"none", Json::object()}}}}; }},
       "profiles[0].actions"},
      // Identifiers.
      {{"short profile id", [](Json& d) { d["profiles"][0]["id"] = "6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0"; }},
       "profiles[0].id"},
      {{"pinned id without dashes", [](Json& d) { d["pinnedProfileID"] = "6B1F0C523D7E4A9B8C215F4E3D2C1B0A0000"; }},
       "pinnedProfileID"},
      {{"pinned id as number", [](Json& d) { d["pinnedProfileID"] = 7; }}, "pinnedProfileID"},
  };
  for (const Row& row : rows) {
    Json doc = richDocument();
    row.change(doc);
    const auto decoded = decodeState(doc.dump());
    ASSERT_FALSE(decoded) << row.what;
    EXPECT_EQ(decoded.error().path, row.path) << row.what << ": " << decoded.error().describe();
  }
}

TEST(StateCodec, TwoCaseMembersIsTheInvalidNumberOfKeysError) {
  Json doc = richDocument();
  action(doc, 1)["text"] = {{"_0", "x"}};
  const auto decoded = decodeState(doc.dump());
  ASSERT_FALSE(decoded);
  EXPECT_NE(decoded.error().reason.find("Invalid number of keys found, expected one"), std::string::npos);
}

TEST(StateCodec, AcceptsWhatTheRulesAllow) {
  struct Row : Edit {
    std::function<void(AppState&)> expect;  // the rich state, changed as the edit should read
  };
  const Row rows[] = {
      {{"pinned id null", [](Json& d) { d["pinnedProfileID"] = nullptr; }},
       [](AppState& s) { s.pinnedProfileID.reset(); }},
      {{"pinned id left out", [](Json& d) { d.erase("pinnedProfileID"); }}, [](AppState& s) { s.pinnedProfileID.reset(); }},
      {{"ids in lower case", [](Json& d) {
          d["pinnedProfileID"] = "6b1f0c52-3d7e-4a9b-8c21-5f4e3d2c1b0a";
          d["profiles"][0]["id"] = "6b1f0c52-3d7e-4a9b-8c21-5f4e3d2c1b0a";
        }},
       [](AppState&) {}},
      {{"unknown members everywhere", [](Json& d) {
          d["theme"] = "dark";
          d["hardware"]["angleSnapping"] = true;
          d["hardware"]["logo"]["stops"][0]["alpha"] = 1;
          d["profiles"][0]["icon"] = nullptr;
        }},
       [](AppState&) {}},
      {{"text and comment", [](Json& d) { action(d, 5)["comment"] = "old note"; }}, [](AppState&) {}},
      {{"extra payload members", [](Json& d) {
          action(d, 7)["scroll"]["dz"] = 1;
          action(d, 1)["none"]["_0"] = 1;
        }},
       [](AppState&) {}},
      {{"whole-number floats", [](Json& d) {
          d["hardware"]["dpi1"] = 3.0;
          d["hardware"]["logo"]["stops"][0]["red"] = 255.0;
          action(d, 3)["key"]["_0"]["keyCode"] = 65535.0;
        }},
       [](AppState& s) {
         s.hardware.dpi1 = 3;
         s.profiles[0].actions[B::button10] = {HostAction::Key{{65535, true, true, false, false}}};
       }},
      {{"later pair wins", [](Json& d) {
          d["profiles"][0]["actions"].push_back("button9");
          d["profiles"][0]["actions"].push_back({{"mouseButton", {{"_0", 42}}}});
        }},
       [](AppState& s) { s.profiles[0].actions[B::button9] = {HostAction::MouseButton{42}}; }},
      {{"empty maps and lists", [](Json& d) {
          d["hardware"]["assignments"] = Json::array();
          d["profiles"] = Json::array();
        }},
       [](AppState& s) {
         s.hardware.assignments.clear();
         s.profiles.clear();
       }},
      {{"widest integers", [](Json& d) {
          d["hardware"]["dpi1"] = std::numeric_limits<std::int64_t>::min();
          d["hardware"]["dpi2"] = std::numeric_limits<std::int64_t>::max();
        }},
       [](AppState& s) {
         s.hardware.dpi1 = std::numeric_limits<std::int64_t>::min();
         s.hardware.dpi2 = std::numeric_limits<std::int64_t>::max();
       }},
  };
  for (const Row& row : rows) {
    Json doc = richDocument();
    row.change(doc);
    AppState expected = richState();
    row.expect(expected);
    const auto decoded = decodeState(doc.dump());
    ASSERT_TRUE(decoded) << row.what << ": " << decoded.error().describe();
    EXPECT_EQ(*decoded, expected) << row.what;
  }
}

// Settings files as users may have them on disk.
TEST(SettingsFiles, EachLoadsOrFailsForItsReason) {
  struct Row {
    const char* file;
    const char* why;
    std::optional<std::string> path;  // where decoding stops; none when the file loads
  };
  const Row rows[] = {
      {"valid-example.json", "the documented example: pairs in any order, keys in any order", std::nullopt},
      {"lenient.json", "null pin, lower-case ids, unknown members, whole-number floats, repeated button",
       std::nullopt},
      {"older-build.json", "written before openWindowAtLaunch existed: a required member is missing",
       "openWindowAtLaunch"},
      {"odd-length-actions.json", "a button name without its action", "profiles[0].actions"},
      {"none-and-text.json", "an action object with two case members", "profiles[0].actions[1]"},
      {"unknown-button.json", "the second profile names button14", "profiles[1].actions[6]"},
      {"truncated.json", "the write stopped half-way: not JSON at all", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.file) + ": " + row.why);
    const std::string text = readData(row.file);
    ASSERT_FALSE(text.empty());
    const auto decoded = decodeState(text);
    if (row.path) {
      ASSERT_FALSE(decoded);
      EXPECT_EQ(decoded.error().path, *row.path) << decoded.error().describe();
    } else {
      EXPECT_TRUE(decoded) << decoded.error().describe();
    }
  }
}

TEST(SettingsFiles, DocumentedExampleReadsAsWritten) {
  const auto decoded = decodeState(readData("valid-example.json"));
  ASSERT_TRUE(decoded) << decoded.error().describe();
  AppState expected;
  expected.hardware.assignments = {{B::button9, Assignment::bridge()}};
  expected.hardware.logo = expected.hardware.wheel = {{{0, 255, 0, 225}}, 1000};
  Profile wow{id("6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A"), "World of Warcraft", {"com.blizzard.worldofwarcraft"}, {}};
  wow.actions = {
      {B::button9, {HostAction::MouseButton{9}}},
      {B::tiltLeft, {HostAction::Scroll{3, 0}}},
      {B::button11, {HostAction::Key{{122, false, false, false, true}}}},
      {B::button12, {HostAction::Sequence{{{SequenceStep::Text{"gg"}}, {SequenceStep::Delay{50}}, {SequenceStep::Mouse{4}}}}}},
      {B::button13, {HostAction::None{}}},
  };
  expected.profiles = {wow};
  EXPECT_EQ(*decoded, expected);
}

TEST(SettingsFiles, LenientFileKeepsTheLaterPairAndIgnoresTheRest) {
  const auto decoded = decodeState(readData("lenient.json"));
  ASSERT_TRUE(decoded) << decoded.error().describe();
  EXPECT_EQ(decoded->pinnedProfileID, std::nullopt);
  EXPECT_EQ(decoded->hardware.dpi1, 800);
  ASSERT_EQ(decoded->profiles.size(), 1u);
  EXPECT_EQ(decoded->profiles[0].id, id("6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A"));
  EXPECT_EQ(decoded->profiles[0].actions,
            (Rival500::ButtonMap<HostAction>{{B::button9, {HostAction::MouseButton{10}}},
                                             {B::button11, {HostAction::Text{"/cast"}}}}));
}

}  // namespace
