#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "core/VirtualLoop.h"
#include "hid/HIDLink.h"
#include "model/HardwareConfig.h"
#include "sim/VirtualRival500.h"

namespace tandemo::sim {
namespace {

using Rival500::Assignment;
using Rival500::Button;

// The virtual mouse behind a link on virtual time, as the controller holds it.
class VirtualRival500Test : public ::testing::Test {
 protected:
  // Writes and lets the 0.05 s pacing run out; the link's result.
  HIDLink::WriteResult write(std::vector<Rival500::Packet> packets) {
    std::optional<HIDLink::WriteResult> result;
    const auto pacing = seconds(0.05 * static_cast<double>(packets.size()));
    link.write(std::move(packets), [&](HIDLink::WriteResult r) { result = std::move(r); });
    loop.advance(pacing);
    return result.value();  // throws, failing the test, when the write has not finished
  }

  VirtualLoop loop;
  VirtualRival500 mouse{loop};
  HIDLink link{loop, mouse, "org.tandemo.Tandemo"};
  // A configuration far from the factory's, to tell what each write left behind.
  const HardwareConfig config{
      .assignments = {{Button::button4, Assignment::key(0x04)}, {Button::button5, Assignment::media(0xCD)},
                      {Button::button6, Assignment::bridge()}, {Button::button8, Assignment::scrollDown()},
                      {Button::tiltLeft, Assignment::disabled()}},
      .dpi1 = 450, .dpi2 = 12000, .pollingHz = 250,
      .logo = {{{0, 10, 20, 30}}, 33}, .wheel = {{{0, 0, 0, 0}, {50, 255, 128, 1}}, 1000}};
  std::vector<Rival500::Packet> custom = config.packets().value();
};

TEST_F(VirtualRival500Test, WritesDecodeBackToTheirConfigurationAndSaveKeepsACopy) {
  ASSERT_TRUE(write(custom));
  const MouseSettings settings = mouse.settings();
  EXPECT_EQ(std::tuple(settings.dpi1, settings.dpi2, settings.pollingHz), std::tuple(500, 12000, 250));  // 450 rounded
  for (const auto& [button, assignment] : config.assignments) EXPECT_EQ(settings.assignments.at(button), assignment);
  EXPECT_EQ(settings.logo, (LightEffect{10, 20, 30, {}, 33}));
  // 0 -> 50: 500 ms up to (255, 128, 1); closing stop at 100 back to black.
  EXPECT_EQ(settings.wheel, (LightEffect{0, 0, 0, {{500, 8, 4, 0}, {500, -8, -4, 0}}, 1000}));
  EXPECT_EQ(mouse.storedSettings(), VirtualRival500::factorySettings());  // stored only by the save packet
  ASSERT_TRUE(write({Rival500::savePacket()}));
  EXPECT_EQ(mouse.storedSettings(), settings);

  // The factory packets (byte-exact in PacketsTest) decode to the state the mouse starts in.
  ASSERT_TRUE(write(HardwareConfig::factory().packets().value()));
  EXPECT_EQ(mouse.settings(), VirtualRival500::factorySettings());
  EXPECT_EQ(mouse.violations(), std::vector<std::string>{});

  mouse.unplug();  // a mouse plugged in again starts from its memory
  mouse.plugIn();
  loop.runUntilIdle();
  EXPECT_EQ(mouse.settings(), settings);
}

}  // namespace
}  // namespace tandemo::sim
