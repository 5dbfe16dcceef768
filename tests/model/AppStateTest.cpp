#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/AppState.h"

namespace {

using namespace tandemo;
using Rival500::Assignment;
using B = Rival500::Button;

HostAction mouse(std::int64_t n) { return {HostAction::MouseButton{n}}; }

TEST(AppState, DefaultStateProgramsExtraControlsForTheBridge) {
  const AppState state = AppState::wowDefault();
  // DPI 800 and 1600, 1000 Hz, the three-colour cycle on both lights.
  HardwareConfig expected{{}, 800, 1600, 1000, Rival500::Lighting::factory(), Rival500::Lighting::factory()};
  for (B button : {B::button1, B::button2, B::button3, B::button4, B::button5, B::button6, B::button7, B::button8}) {
    expected.assignments[button] = Assignment::mouseButton(static_cast<int>(button) + 1);
  }
  for (B button : {B::button9, B::button10, B::button11, B::button12, B::button13, B::tiltLeft, B::tiltRight}) {
    expected.assignments[button] = Assignment::bridge();
  }
  EXPECT_EQ(state.hardware, expected);
  EXPECT_TRUE(state.autoSwitch);
  EXPECT_EQ(state.pinnedProfileID, std::nullopt);
  EXPECT_TRUE(state.writeOnConnect);
  EXPECT_TRUE(state.saveToOnboardMemory);
  EXPECT_TRUE(state.openWindowAtLaunch);
}

TEST(AppState, DefaultProfiles) {
  const AppState state = AppState::wowDefault();
  ASSERT_EQ(state.profiles.size(), 2u);
  const Profile& wow = state.profiles[0];
  EXPECT_EQ(wow.name, "World of Warcraft");
  EXPECT_EQ(wow.bundleIDs, std::vector<std::string>{"com.blizzard.worldofwarcraft"});
  const Rival500::ButtonMap<HostAction> wowActions = {
      {B::button9, mouse(9)},   {B::button10, mouse(10)}, {B::button11, mouse(11)}, {B::button12, mouse(12)},
      {B::button13, mouse(13)}, {B::tiltLeft, mouse(14)}, {B::tiltRight, mouse(15)},
  };
  EXPECT_EQ(wow.actions, wowActions);

  const Profile& fallback = state.profiles[1];
  EXPECT_EQ(fallback.name, "Everywhere else");
  EXPECT_TRUE(fallback.bundleIDs.empty());
  const Rival500::ButtonMap<HostAction> fallbackActions = {
      {B::button9, mouse(9)},   {B::button11, mouse(11)}, {B::button12, mouse(12)}, {B::button13, mouse(13)},
      {B::tiltLeft, {HostAction::Scroll{3, 0}}}, {B::tiltRight, {HostAction::Scroll{-3, 0}}},
  };
  EXPECT_EQ(fallback.actions, fallbackActions);
  EXPECT_EQ(fallback.actions.at(B::tiltLeft).summary(), "Scroll left 3");
  EXPECT_EQ(fallback.actions.at(B::tiltRight).summary(), "Scroll right 3");
}

TEST(AppState, EveryDefaultStateHasFreshVersion4Ids) {
  const AppState first = AppState::wowDefault();
  const AppState second = AppState::wowDefault();
  std::set<Uuid> ids;
  for (const AppState* state : {&first, &second}) {
    for (const Profile& profile : state->profiles) {
      ids.insert(profile.id);
      const std::string text = profile.id.string();
      EXPECT_EQ(text[14], '4') << text;                        // version
      EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;  // RFC 4122 variant
    }
  }
  EXPECT_EQ(ids.size(), 4u);

  Profile renamed = first.profiles[0];
  renamed.id = second.profiles[0].id;
  EXPECT_EQ(renamed, second.profiles[0]);       // same apart from the id ...
  EXPECT_NE(first.profiles[0], second.profiles[0]);  // ... and the id alone tells them apart
}

TEST(Uuid, FormatsUpperCaseAndParsesEitherCase) {
  const auto parsed = Uuid::parse("6b1f0c52-3d7e-4a9b-8c21-5f4e3d2c1b0a");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->string(), "6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A");
  EXPECT_EQ(parsed->bytes()[0], 0x6B);
  EXPECT_EQ(parsed->bytes()[15], 0x0A);
  EXPECT_EQ(Uuid::parse("6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A"), parsed);
  EXPECT_EQ(Uuid::parse("00000000-0000-0000-0000-000000000000")->string(), "00000000-0000-0000-0000-000000000000");
  const Uuid fresh = Uuid::random();
  EXPECT_EQ(Uuid::parse(fresh.string()), fresh);
}

TEST(Uuid, RejectsAnythingButTheDashedHexForm) {
  for (const char* text : {
           "",
           "6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0",     // 35 characters
           "6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A0",   // 37
           "6B1F0C523D7E4A9B8C215F4E3D2C1B0A",        // no dashes
           "6B1F0C52-3D7E-4A9B-8C215-F4E3D2C1B0A",    // dash out of place
           "6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0G",    // not hexadecimal
           "{B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A",
           " 6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0",
           "+B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A",
       }) {
    EXPECT_EQ(Uuid::parse(text), std::nullopt) << text;
  }
}

TEST(HardwareConfig, FullWriteIsSixPacketsInOrder) {
  const auto packets = HardwareConfig::factory().packets();
  ASSERT_TRUE(packets);
  ASSERT_EQ(packets->size(), 6u);
  const std::vector<std::uint8_t> heads[] = {
      {0x03, 0x00, 0x01, 0x07},  // DPI preset 1: 800
      {0x03, 0x00, 0x02, 0x0F},  // DPI preset 2: 1600
      {0x04, 0x00, 0x01},        // 1000 Hz
      {0x05, 0x00, 0x00},        // logo light
      {0x05, 0x00, 0x01},        // wheel light
      {0x31, 0x00, 0x01},        // button map, button1 is mouse button 1
  };
  for (std::size_t i = 0; i < 6; ++i) {
    const auto& data = (*packets)[i].data;
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + heads[i].size()), heads[i]) << "packet " << i;
  }
  EXPECT_EQ((*packets)[3].data.size(), 163u);
  EXPECT_EQ((*packets)[5].data.size(), 77u);
}

TEST(HardwareConfig, AnInvalidLightFailsTheWholeWriteLogoFirst) {
  HardwareConfig config = HardwareConfig::factory();
  config.wheel.stops.clear();
  auto packets = config.packets();
  ASSERT_FALSE(packets);
  EXPECT_EQ(packets.error(), Rival500::LightingError::noStops);

  config.logo.durationMs = 30001;
  packets = config.packets();
  ASSERT_FALSE(packets);
  EXPECT_EQ(packets.error(), Rival500::LightingError::tooLong);
}

TEST(HardwareConfig, BridgedButtonsInDisplayOrder) {
  HardwareConfig config;
  EXPECT_TRUE(config.bridgedButtons().empty());
  config.assignments = {{B::button4, Assignment::bridge()}, {B::tiltLeft, Assignment::bridge()},
                        {B::button8, Assignment::bridge()}, {B::button9, Assignment::key(0x6D)}};
  EXPECT_EQ(config.bridgedButtons(), (std::vector<B>{B::tiltLeft, B::button4, B::button8}));
  EXPECT_EQ(AppState::wowDefault().hardware.bridgedButtons(),
            (std::vector<B>{B::tiltLeft, B::tiltRight, B::button10, B::button11, B::button12, B::button13, B::button9}));
}

}  // namespace
