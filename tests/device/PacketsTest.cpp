#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "device/Rival500.h"

namespace {

using namespace tandemo::Rival500;
using Bytes = std::vector<std::uint8_t>;
using B = Button;

TEST(Packets, FixedCommandsOfAFactoryWrite) {
  // DPI preset: command, 0, preset, DPI code, 0, 0x42
  EXPECT_EQ(sensitivity(1, 800), (Packet{ReportType::output, {0x03, 0x00, 0x01, 0x07, 0x00, 0x42}}));
  EXPECT_EQ(sensitivity(2, 1600), (Packet{ReportType::output, {0x03, 0x00, 0x02, 0x0F, 0x00, 0x42}}));
  // Polling rate: command, 0, rate code
  EXPECT_EQ(pollingRate(1000), (Packet{ReportType::output, {0x04, 0x00, 0x01}}));
  EXPECT_EQ(savePacket(), (Packet{ReportType::output, {0x09, 0x00}}));
  EXPECT_EQ(firmwareQueryPacket(), (Packet{ReportType::output, {0x10, 0x00}}));
}

TEST(Packets, DpiIsRoundedToHundredsAndClamped) {
  // {requested DPI, code sent}
  const std::pair<std::int64_t, std::uint8_t> rows[] = {
      {std::numeric_limits<std::int64_t>::min(), 0},
      {-5, 0}, {50, 0}, {100, 0}, {149, 0}, {150, 1}, {800, 7}, {1249, 11}, {1250, 12},
      {1600, 15}, {11949, 118}, {11950, 119}, {12000, 119}, {20000, 119},
      {std::numeric_limits<std::int64_t>::max(), 119},
  };
  for (const auto& [dpi, code] : rows) {
    EXPECT_EQ(sensitivity(7, dpi).data, (Bytes{0x03, 0x00, 0x07, code, 0x00, 0x42})) << dpi << " DPI";
  }
  EXPECT_EQ(sensitivity(255, 800).data[2], 0xFF);
}

TEST(Packets, PollingRateCodes) {
  // {rate in Hz, code sent}; anything the mouse does not offer becomes 1000 Hz
  const std::pair<std::int64_t, std::uint8_t> rows[] = {
      {1000, 1}, {500, 2}, {250, 3}, {125, 4}, {333, 1}, {0, 1}, {-125, 1}, {2000, 1},
  };
  for (const auto& [hz, code] : rows) EXPECT_EQ(pollingRate(hz).data, (Bytes{0x04, 0x00, code})) << hz;
  EXPECT_EQ(pollingChoices, (std::array<std::int64_t, 4>{125, 250, 500, 1000}));
}

TEST(Packets, ButtonMapOfTheMouseAsShipped) {
  const Bytes expected = {
      0x31, 0x00,                    // command
      0x01, 0x00, 0x00, 0x00, 0x00,  // slot 0:  button1   mouse button 1
      0x02, 0x00, 0x00, 0x00, 0x00,  // slot 1:  button2   mouse button 2
      0x03, 0x00, 0x00, 0x00, 0x00,  // slot 2:  button3   mouse button 3
      0x04, 0x00, 0x00, 0x00, 0x00,  // slot 3:  button4   mouse button 4
      0x05, 0x00, 0x00, 0x00, 0x00,  // slot 4:  button5   mouse button 5
      0x06, 0x00, 0x00, 0x00, 0x00,  // slot 5:  button6   mouse button 6
      0x07, 0x00, 0x00, 0x00, 0x00,  // slot 6:  button7   mouse button 7
      0x00, 0x00, 0x00, 0x00, 0x00,  // slot 7:  button9   off
      0x30, 0x00, 0x00, 0x00, 0x00,  // slot 8:  button10  DPI switch
      0x00, 0x00, 0x00, 0x00, 0x00,  // slot 9:  button11  off
      0x00, 0x00, 0x00, 0x00, 0x00,  // slot 10: button12  off
      0x33, 0x00, 0x00, 0x00, 0x00,  // slot 11: tiltLeft  tilt left
      0x34, 0x00, 0x00, 0x00, 0x00,  // slot 12: tiltRight tilt right
      0x00, 0x00, 0x00, 0x00, 0x00,  // slot 13: button13  off
      0x08, 0x00, 0x00, 0x00, 0x00,  // slot 14: button8   mouse button 8
  };
  EXPECT_EQ(buttonsPacket({}), (Packet{ReportType::feature, expected}));

  ButtonMap<Assignment> factory;
  for (Button button : allButtons) factory[button] = factoryDefault(button);
  EXPECT_EQ(buttonsPacket(factory).data, expected);
}

TEST(Packets, EachControlWritesIntoItsOwnSlot) {
  // {control, data offset of its slot}
  const std::pair<Button, std::size_t> slots[] = {
      {B::button1, 2},   {B::button2, 7},    {B::button3, 12},   {B::button4, 17},
      {B::button5, 22},  {B::button6, 27},   {B::button7, 32},   {B::button9, 37},
      {B::button10, 42}, {B::button11, 47},  {B::button12, 52},  {B::tiltLeft, 57},
      {B::tiltRight, 62}, {B::button13, 67}, {B::button8, 72},
  };
  // Give every control a distinct key so a slot mix-up shows.
  ButtonMap<Assignment> keysMap;
  for (Button button : allButtons) keysMap[button] = Assignment::key(static_cast<std::uint8_t>(0xA0 + int(button)));
  const Bytes keyData = buttonsPacket(keysMap).data;
  // Bridge everywhere: the first three controls have no marker and fall back to off.
  ButtonMap<Assignment> bridged;
  for (Button button : allButtons) bridged[button] = Assignment::bridge();
  const Bytes bridgeData = buttonsPacket(bridged).data;

  ASSERT_EQ(keyData.size(), 77u);
  for (const auto& [button, offset] : slots) {
    SCOPED_TRACE(rawValue(button));
    EXPECT_EQ(Bytes(keyData.begin() + offset, keyData.begin() + offset + 5),
              (Bytes{0x51, static_cast<std::uint8_t>(0xA0 + int(button)), 0x00, 0x00, 0x00}));
    const auto marker = markerKey(button);
    const Bytes bridgeBytes = marker ? Bytes{0x51, *marker} : Bytes{0x00, 0x00};
    EXPECT_EQ(Bytes(bridgeData.begin() + offset, bridgeData.begin() + offset + 2), bridgeBytes);
  }
}

TEST(Packets, MissingAssignmentsFallBackToFactoryDefaults) {
  const Bytes data = buttonsPacket({{B::button10, Assignment::bridge()}, {B::button1, Assignment::bridge()}}).data;
  EXPECT_EQ(data[42], 0x51);  // button10 types F19
  EXPECT_EQ(data[43], 0x6E);
  EXPECT_EQ(data[2], 0x00);   // button1 cannot be bridged: off
  EXPECT_EQ(data[3], 0x00);
  EXPECT_EQ(data[7], 0x02);   // button2 untouched: mouse button 2
  EXPECT_EQ(data[72], 0x08);  // button8 untouched: mouse button 8
}

}  // namespace
