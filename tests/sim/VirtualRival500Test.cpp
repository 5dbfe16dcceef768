#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/VirtualLoop.h"
#include "hid/HIDLink.h"
#include "model/HardwareConfig.h"
#include "sim/VirtualFirmware.h"
#include "sim/VirtualRival500.h"

namespace tandemo::sim {
namespace {

using Rival500::Assignment;
using Rival500::Button;
using Bytes = std::vector<std::uint8_t>;

// A link to the virtual mouse on virtual time, as the controller would hold it.
struct LinkedMouse {
  VirtualLoop loop;
  VirtualRival500 mouse{loop};
  HIDLink link{loop, mouse, "org.tandemo.Tandemo"};
  std::vector<std::pair<std::uint32_t, Bytes>> keyboardReports;

  LinkedMouse() {
    link.onKeyboardReport = [this](std::uint32_t id, Bytes bytes) { keyboardReports.emplace_back(id, std::move(bytes)); };
  }

  // Writes and lets the pacing run out; the link's result.
  HIDLink::WriteResult write(std::vector<Rival500::Packet> packets) {
    std::optional<HIDLink::WriteResult> result;
    const double pacing = 0.05 * static_cast<double>(packets.size());
    link.write(std::move(packets), [&](HIDLink::WriteResult r) { result = std::move(r); });
    loop.advance(seconds(pacing));
    EXPECT_TRUE(result.has_value());
    return result.value_or(HIDLink::WriteResult{});
  }
};

HardwareConfig customConfig() {
  HardwareConfig config;
  config.dpi1 = 450;
  config.dpi2 = 12000;
  config.pollingHz = 250;
  config.assignments = {
      {Button::button1, Assignment::mouseButton(1)}, {Button::button4, Assignment::key(0x04)},
      {Button::button5, Assignment::media(0xCD)},    {Button::button6, Assignment::bridge()},
      {Button::button8, Assignment::scrollDown()},   {Button::button9, Assignment::key(0xE1)},
      {Button::button10, Assignment::bridge()},      {Button::button13, Assignment::scrollUp()},
      {Button::tiltLeft, Assignment::disabled()},
  };
  config.logo = {{{0, 10, 20, 30}}, 33};
  config.wheel = {{{0, 0, 0, 0}, {50, 255, 128, 1}}, 1000};
  return config;
}

// The whole map as the firmware must hold it: given assignments, factory defaults elsewhere.
Rival500::ButtonMap<Assignment> completed(const HardwareConfig& config) {
  Rival500::ButtonMap<Assignment> all;
  for (Button button : Rival500::allButtons) {
    auto found = config.assignments.find(button);
    all.emplace(button, found != config.assignments.end() ? found->second : Rival500::factoryDefault(button));
  }
  return all;
}

TEST(VirtualRival500, FactoryWriteDecodesToTheFactoryConfiguration) {
  LinkedMouse m;
  auto custom = customConfig().packets();
  auto packets = HardwareConfig::factory().packets();
  ASSERT_TRUE(custom && packets);
  ASSERT_TRUE(m.write(*custom));  // so that the state must come from the factory packets
  ASSERT_TRUE(m.write(*packets));

  const MouseSettings settings = m.mouse.settings();
  EXPECT_EQ(settings.dpi1, 800);
  EXPECT_EQ(settings.dpi2, 1600);
  EXPECT_EQ(settings.pollingHz, 1000);
  EXPECT_EQ(settings.assignments, completed(HardwareConfig::factory()));
  // The factory cycle: 330, 330 and 340 ms from magenta, deltas in sixteenths per millisecond.
  const LightEffect factory{255, 0, 225, {{330, 0, 11, -10}, {330, -12, -1, 12}, {340, 12, -9, -1}}, 1000};
  EXPECT_EQ(settings.logo, factory);
  EXPECT_EQ(settings.wheel, factory);
  EXPECT_EQ(settings, VirtualRival500::factorySettings());
  EXPECT_TRUE(m.mouse.violations().empty()) << m.mouse.violations().front();
}

TEST(VirtualRival500, CustomWriteDecodesEveryField) {
  LinkedMouse m;
  const HardwareConfig config = customConfig();
  auto packets = config.packets();
  ASSERT_TRUE(packets);
  ASSERT_TRUE(m.write(*packets));

  const MouseSettings settings = m.mouse.settings();
  EXPECT_EQ(settings.dpi1, 500);  // rounded to hundreds
  EXPECT_EQ(settings.dpi2, 12000);
  EXPECT_EQ(settings.pollingHz, 250);
  EXPECT_EQ(settings.assignments, completed(config));
  EXPECT_EQ(settings.logo, (LightEffect{10, 20, 30, {}, 33}));
  // 0 -> 50: 500 ms up to (255, 128, 1); closing stop at 100 back to black.
  EXPECT_EQ(settings.wheel, (LightEffect{0, 0, 0, {{500, 8, 4, 0}, {500, -8, -4, 0}}, 1000}));
  EXPECT_TRUE(m.mouse.violations().empty());
  // Nothing stored without the save packet.
  EXPECT_EQ(m.mouse.saveCount(), 0);
  EXPECT_EQ(m.mouse.storedSettings(), VirtualRival500::factorySettings());
}

TEST(VirtualRival500, SaveKeepsACopyThatSurvivesReplugging) {
  LinkedMouse m;
  auto custom = customConfig().packets();
  ASSERT_TRUE(custom);
  custom->push_back(Rival500::savePacket());
  ASSERT_TRUE(m.write(*custom));
  const MouseSettings saved = m.mouse.settings();
  EXPECT_EQ(m.mouse.saveCount(), 1);
  EXPECT_EQ(m.mouse.storedSettings(), saved);

  ASSERT_TRUE(m.write({Rival500::sensitivity(1, 3000)}));
  EXPECT_EQ(m.mouse.settings().dpi1, 3000);
  EXPECT_EQ(m.mouse.storedSettings().dpi1, 500);

  m.mouse.unplug();
  m.mouse.plugIn();
  m.loop.runUntilIdle();
  EXPECT_TRUE(m.link.isConnected());
  EXPECT_EQ(m.mouse.settings(), saved);
}

TEST(VirtualRival500, RefusedThirdPacketStopsTheWrite) {
  LinkedMouse m;
  auto packets = customConfig().packets();
  ASSERT_TRUE(packets);
  m.mouse.refuseReport(3, kIOReturnExclusiveAccess);
  const auto result = m.write(*packets);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().description(),
            "The mouse refused a packet (04 00): another program has the mouse open exclusively");

  const auto reports = m.mouse.reports();
  ASSERT_EQ(reports.size(), 3u);  // packets four to six never reach the mouse
  EXPECT_EQ(reports[2].answer, kIOReturnExclusiveAccess);
  const MouseSettings settings = m.mouse.settings();
  EXPECT_EQ(settings.dpi1, 500);
  EXPECT_EQ(settings.dpi2, 12000);
  EXPECT_EQ(settings.pollingHz, 1000);  // refused, so not applied
  EXPECT_EQ(settings.assignments, VirtualRival500::factorySettings().assignments);
}

TEST(VirtualRival500, ChecksReportShapes) {
  LinkedMouse m;
  ASSERT_TRUE(m.write({Rival500::firmwareQueryPacket(), Rival500::buttonsPacket({})}));
  const auto reports = m.mouse.reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].type, HidReportType::output);
  EXPECT_EQ(reports[0].bytes.size(), 32u);
  EXPECT_EQ(reports[1].type, HidReportType::feature);
  EXPECT_EQ(reports[1].bytes.size(), 77u);
  EXPECT_TRUE(m.mouse.violations().empty());

  // Sent directly, bypassing the link's padding: recorded and not applied.
  auto device = m.mouse.configurationInterface();
  const Bytes shortDpi = Rival500::sensitivity(1, 5000).data;
  EXPECT_EQ(device->setReport(HidReportType::output, 0, shortDpi), kIOReturnSuccess);
  Bytes longMap = Rival500::buttonsPacket({{Button::button2, Assignment::disabled()}}).data;
  longMap.push_back(0);
  EXPECT_EQ(device->setReport(HidReportType::feature, 0, longMap), kIOReturnSuccess);
  Bytes badCode(32, 0);
  badCode[0] = 0x03;
  badCode[2] = 1;
  badCode[3] = 120;
  badCode[5] = 0x42;
  EXPECT_EQ(device->setReport(HidReportType::output, 0, badCode), kIOReturnSuccess);
  EXPECT_EQ(device->setReport(HidReportType::output, 1, Bytes(32, 0)), kIOReturnSuccess);
  EXPECT_EQ(m.mouse.violations(), (std::vector<std::string>{
                                      "0x03: output report of 6 bytes (expected 32)",
                                      "0x31: button map of 78 bytes (expected 77)",
                                      "0x03: DPI code 120",
                                      "report ID 1 (expected 0)",
                                  }));
  EXPECT_EQ(m.mouse.settings(), VirtualRival500::factorySettings());
}

TEST(VirtualRival500, ButtonMapDecodingTellsBridgeFromKeys) {
  // button6's own marker is bridge; another control's marker on it is a plain key.
  const auto map = decodeButtonMap(Rival500::buttonsPacket({{Button::button6, Assignment::bridge()},
                                                            {Button::button7, Assignment::key(0x6A)}})
                                       .data);
  ASSERT_TRUE(map);
  EXPECT_EQ(map->at(Button::button6), Assignment::bridge());
  EXPECT_EQ(map->at(Button::button7), Assignment::key(0x6A));
  EXPECT_EQ(map->at(Button::button8), Assignment::mouseButton(8));  // the last slot

  Bytes broken = Rival500::buttonsPacket({}).data;
  broken[2 + 5 * 9] = 0x77;  // button11's slot
  EXPECT_EQ(decodeButtonMap(broken).error(), "function code 0x77 for button11");
}

TEST(VirtualRival500, AnswersTheFirmwareQueryThroughTheLoop) {
  LinkedMouse m;
  m.mouse.setFirmwareVersion(107);
  std::optional<std::optional<std::string>> answer;
  m.link.readFirmware([&](std::optional<std::string> version) { answer = version; });
  m.loop.runUntilIdle();
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, "1.07");
  EXPECT_EQ(m.loop.elapsed(), MainLoop::Duration::zero());
  EXPECT_EQ(m.mouse.firmwareQueries(), 1);

  m.mouse.setFirmwareAnswer(std::nullopt);
  answer.reset();
  m.link.readFirmware([&](std::optional<std::string> version) { answer = version; });
  m.loop.advance(seconds(0.49));
  EXPECT_FALSE(answer.has_value());
  m.loop.advance(seconds(0.01));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, std::nullopt);
  EXPECT_EQ(m.mouse.firmwareQueries(), 2);
}

TEST(VirtualRival500, UnplugRemovesBothInterfacesAndRefusesReports) {
  LinkedMouse m;
  std::vector<bool> connections;
  m.link.onVendorConnection = [&](bool connected) { connections.push_back(connected); };
  auto oldDevice = m.mouse.configurationInterface();
  m.mouse.unplug();
  EXPECT_EQ(oldDevice->setReport(HidReportType::output, 0, Bytes(32, 0)), kIOReturnNoDevice);
  EXPECT_TRUE(m.link.isConnected());  // the removal arrives through the loop
  m.loop.runUntilIdle();
  EXPECT_FALSE(m.link.isConnected());
  EXPECT_TRUE(m.link.keyboardState().is<HIDLink::KeyboardState::Absent>());

  // A configuration interface that cannot be opened leaves the link unconnected until the next plug.
  std::vector<std::string> log;
  m.link.log = [&](const std::string& line) { log.push_back(line); };
  m.mouse.setConfigurationOpenResult(kIOReturnExclusiveAccess);
  m.mouse.plugIn();
  m.loop.runUntilIdle();
  EXPECT_FALSE(m.link.isConnected());
  EXPECT_EQ(log.front(), "Could not open the configuration interface: another program has the mouse open exclusively");
  m.mouse.unplug();
  m.mouse.setConfigurationOpenResult(kIOReturnSuccess);
  m.mouse.plugIn();
  m.loop.runUntilIdle();
  EXPECT_EQ(connections, (std::vector<bool>{false, true}));
  EXPECT_NE(m.mouse.configurationInterface(), oldDevice);
  EXPECT_TRUE(m.link.keyboardState().is<HIDLink::KeyboardState::Idle>());
}

TEST(VirtualRival500, SeizingFollowsThePermissionAndTheScript) {
  LinkedMouse m;
  m.mouse.setInputMonitoringGranted(false);
  m.link.setSeizeWanted(true);
  EXPECT_EQ(m.link.keyboardState(), HIDLink::KeyboardState::needsInputMonitoring());
  EXPECT_FALSE(m.mouse.keyboardSeized());

  m.mouse.setInputMonitoringGranted(true);
  m.mouse.setSeizeResult(kIOReturnExclusiveAccess);
  m.link.retrySeize();
  EXPECT_EQ(m.link.keyboardState(),
            HIDLink::KeyboardState::failed("another program has the mouse open exclusively"));

  m.mouse.setSeizeResult(std::nullopt);
  m.link.retrySeize();
  EXPECT_EQ(m.link.keyboardState(), HIDLink::KeyboardState::seized());
  EXPECT_TRUE(m.mouse.keyboardSeized());
}

TEST(VirtualRival500, PressSendsWhatTheProgrammedAssignmentMakesTheMouseSend) {
  LinkedMouse m;
  HardwareConfig config = customConfig();
  auto packets = config.packets();
  ASSERT_TRUE(packets);
  ASSERT_TRUE(m.write(*packets));
  m.link.setSeizeWanted(true);

  m.mouse.press(Button::button10);  // bridge: F19
  m.mouse.press(Button::button9);   // key: left shift, a modifier bit
  m.mouse.press(Button::button4);   // key: A
  m.mouse.release(Button::button10);
  m.mouse.press(Button::button5);  // media: play/pause
  m.mouse.release(Button::button5);
  m.mouse.press(Button::button1);  // native click: nothing on the keyboard interface
  m.mouse.release(Button::button1);
  m.mouse.press(Button::tiltLeft);  // disabled: nothing at all
  EXPECT_TRUE(m.keyboardReports.empty());  // delivered through the loop
  m.loop.runUntilIdle();

  // The link strips the leading report-ID byte.
  using Report = std::pair<std::uint32_t, Bytes>;
  EXPECT_EQ(m.keyboardReports, (std::vector<Report>{
                                   {1, {0x00, 0x00, 0x6E, 0, 0, 0, 0, 0}},
                                   {1, {0x02, 0x00, 0x6E, 0, 0, 0, 0, 0}},
                                   {1, {0x02, 0x00, 0x04, 0x6E, 0, 0, 0, 0}},
                                   {1, {0x02, 0x00, 0x04, 0, 0, 0, 0, 0}},
                                   {2, {0xCD, 0x00, 0x00, 0x00}},
                                   {2, {0x00, 0x00, 0x00, 0x00}},
                               }));
  EXPECT_EQ(m.mouse.nativeActions(), (std::vector<NativeAction>{
                                         {Button::button1, Assignment::mouseButton(1), true},
                                         {Button::button1, Assignment::mouseButton(1), false},
                                     }));
  EXPECT_TRUE(m.mouse.systemReports().empty());
}

TEST(VirtualRival500, UnseizedKeyboardReportsGoToTheSystem) {
  LinkedMouse m;
  ASSERT_TRUE(m.write({Rival500::buttonsPacket({{Button::button7, Assignment::key(0x2C)},
                                                {Button::button10, Assignment::dpiSwitch()}})}));
  m.mouse.press(Button::button7);
  m.mouse.release(Button::button7);
  m.mouse.press(Button::button10);
  m.loop.runUntilIdle();
  EXPECT_TRUE(m.keyboardReports.empty());
  EXPECT_EQ(m.mouse.systemReports(), (std::vector<SystemReport>{
                                         {1, {0x01, 0x00, 0x00, 0x2C, 0, 0, 0, 0, 0}},
                                         {1, {0x01, 0x00, 0x00, 0, 0, 0, 0, 0, 0}},
                                     }));
  EXPECT_EQ(m.mouse.activeDpiPreset(), 2);

  // Unplugged, the controls send nothing.
  m.mouse.unplug();
  m.mouse.press(Button::button7);
  m.loop.runUntilIdle();
  EXPECT_EQ(m.mouse.systemReports().size(), 2u);
}

}  // namespace
}  // namespace tandemo::sim
