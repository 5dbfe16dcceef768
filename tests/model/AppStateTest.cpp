#include <gtest/gtest.h>

#include <set>

#include "model/AppState.h"

namespace {

using namespace tandemo;
using Rival500::Assignment;
using B = Rival500::Button;

HostAction mouse(std::int64_t n) { return {HostAction::MouseButton{n}}; }

TEST(AppState, DefaultStateBridgesTheExtraControlsForTwoProfiles) {
  const AppState state = AppState::wowDefault();
  // DPI 800 and 1600, 1000 Hz, the three-colour cycle on both lights, mouse buttons 1 to 8 native.
  HardwareConfig expected{{}, 800, 1600, 1000, Rival500::Lighting::factory(), Rival500::Lighting::factory()};
  for (B b : Rival500::allButtons) {
    expected.assignments[b] = int(b) < 8 ? Assignment::mouseButton(int(b) + 1) : Assignment::bridge();
  }
  EXPECT_EQ(state.hardware, expected);
  EXPECT_TRUE(state.autoSwitch && state.writeOnConnect && state.saveToOnboardMemory && state.openWindowAtLaunch);
  EXPECT_EQ(state.pinnedProfileID, std::nullopt);

  ASSERT_EQ(state.profiles.size(), 2u);
  const Profile wow{state.profiles[0].id, "World of Warcraft", {"com.blizzard.worldofwarcraft"},
      {{B::button9, mouse(9)}, {B::button10, mouse(10)}, {B::button11, mouse(11)}, {B::button12, mouse(12)},
       {B::button13, mouse(13)}, {B::tiltLeft, mouse(14)}, {B::tiltRight, mouse(15)}}};
  const Profile fallback{state.profiles[1].id, "Everywhere else", {},
      {{B::button9, mouse(9)}, {B::button11, mouse(11)}, {B::button12, mouse(12)}, {B::button13, mouse(13)},
       {B::tiltLeft, {HostAction::Scroll{3, 0}}}, {B::tiltRight, {HostAction::Scroll{-3, 0}}}}};
  EXPECT_EQ(state.profiles, (std::vector<Profile>{wow, fallback}));
}

TEST(Uuid, EveryDefaultStateHasFreshVersion4IdsAndTheyReadBack) {
  const AppState first = AppState::wowDefault(), second = AppState::wowDefault();
  std::set<Uuid> ids;
  for (const Profile& profile : {first.profiles.at(0), first.profiles.at(1), second.profiles.at(0), second.profiles.at(1)}) {
    ids.insert(profile.id);
    const std::string text = profile.id.string();
    EXPECT_EQ(text[14], '4') << text;                                          // version
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;  // RFC 4122 variant
  }
  EXPECT_EQ(ids.size(), 4u);
  // Written in upper case; read in either case, only in the dashed hexadecimal form.
  const auto lower = Uuid::parse("6b1f0c52-3d7e-4a9b-8c21-5f4e3d2c1b0a");
  EXPECT_EQ(lower.value().string(), "6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A");
  EXPECT_EQ(Uuid::parse("6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A"), lower);
  for (const char* text : {"", "6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0", "6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A0",
                           "6B1F0C523D7E4A9B8C215F4E3D2C1B0A", "6B1F0C52-3D7E-4A9B-8C215-F4E3D2C1B0A",
                           "6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0G", "+B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A"}) {
    EXPECT_EQ(Uuid::parse(text), std::nullopt) << text;
  }
}

// The packets' order and contents: TandemoctlTest's packet list, and VirtualRival500Test, which
// decodes them back into the configuration.
TEST(HardwareConfig, AnInvalidLightFailsThePacketsAndBridgedButtonsInDisplayOrder) {
  using namespace Rival500;
  HardwareConfig config{{}, 400, 1600, 1000, {{{0, 1, 2, 3}}, 2000}, {}};
  EXPECT_EQ(config.packets().error(), LightingError::noStops);
  config.logo.durationMs = 30001;  // the logo is checked first
  EXPECT_EQ(config.packets().error(), LightingError::tooLong);
  config.assignments = {{B::button4, Assignment::bridge()}, {B::tiltLeft, Assignment::bridge()},
                        {B::button8, Assignment::bridge()}, {B::button9, Assignment::key(0x6D)}};
  EXPECT_EQ(config.bridgedButtons(), (std::vector<B>{B::tiltLeft, B::button4, B::button8}));
}

TEST(AppState, ResolvesProfilesByIdThenExactNameAndExplainsMisses) {
  AppState state = AppState::wowDefault();
  Profile twin = state.profiles[1];
  twin.id = Uuid::random();
  state.profiles.push_back(twin);
  const Uuid wow = state.profiles[0].id;

  EXPECT_EQ(resolveProfile(state, "").value(), std::nullopt);
  EXPECT_EQ(resolveProfile(state, "auto").value(), std::nullopt);
  EXPECT_EQ(resolveProfile(state, "World of Warcraft").value(), wow);
  std::string lower = wow.string();
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(resolveProfile(state, lower).value(), wow);

  EXPECT_EQ(resolveProfile(state, "world of warcraft").error(), "No profile is named \"world of warcraft\".");
  EXPECT_EQ(resolveProfile(state, Uuid::random().string()).error().rfind("No profile is named", 0), 0u);
  EXPECT_EQ(resolveProfile(state, "Everywhere else").error(),
            "2 profiles are named \"Everywhere else\": " + state.profiles[1].id.string() + ", " + twin.id.string() +
                ". Pin one by its UUID.");
}

}  // namespace
