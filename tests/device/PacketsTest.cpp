#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "device/Rival500.h"

namespace {

using namespace tandemo::Rival500;
using Bytes = std::vector<std::uint8_t>;
using B = Button;

TEST(Packets, FixedCommandsDpiCodesRoundToHundredsAndClampAndPollingCodes) {
  EXPECT_EQ(savePacket(), (Packet{ReportType::output, {0x09, 0x00}}));
  EXPECT_EQ(firmwareQueryPacket(), (Packet{ReportType::output, {0x10, 0x00}}));
  // DPI preset: command, 0, preset, DPI code, 0, 0x42
  EXPECT_EQ(sensitivity(2, 1600), (Packet{ReportType::output, {0x03, 0x00, 0x02, 0x0F, 0x00, 0x42}}));
  const std::pair<std::int64_t, std::uint8_t> dpiRows[] = {  // {requested DPI, code sent}
      {INT64_MIN, 0}, {-5, 0}, {100, 0}, {149, 0}, {150, 1}, {1249, 11}, {1250, 12}, {11949, 118}, {11950, 119},
      {20000, 119}, {INT64_MAX, 119}};
  for (const auto& [dpi, code] : dpiRows) {
    EXPECT_EQ(sensitivity(7, dpi).data, (Bytes{0x03, 0x00, 0x07, code, 0x00, 0x42})) << dpi << " DPI";
  }
  // {rate in Hz, code sent}; anything the mouse does not offer becomes 1000 Hz
  const std::pair<std::int64_t, std::uint8_t> hzRows[] = {{1000, 1}, {500, 2}, {250, 3}, {125, 4},
                                                           {333, 1},  {0, 1},   {-125, 1}, {2000, 1}};
  // Polling rate: command, 0, rate code
  for (const auto& [hz, code] : hzRows) EXPECT_EQ(pollingRate(hz), (Packet{ReportType::output, {0x04, 0x00, code}})) << hz;
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
  EXPECT_EQ(buttonsPacket({}), (Packet{ReportType::feature, expected}));  // controls left out keep their default
  ButtonMap<Assignment> factory;
  for (Button button : allButtons) factory[button] = factoryDefault(button);
  EXPECT_EQ(buttonsPacket(factory).data, expected);

  const Button slotOrder[] = {B::button1, B::button2,  B::button3,  B::button4,  B::button5,
                              B::button6, B::button7,  B::button9,  B::button10, B::button11,
                              B::button12, B::tiltLeft, B::tiltRight, B::button13, B::button8};
  ButtonMap<Assignment> distinct;  // a different key on every control, so a slot mix-up shows
  for (Button button : allButtons) distinct[button] = Assignment::key(static_cast<std::uint8_t>(0xA0 + int(button)));
  const Bytes data = buttonsPacket(distinct).data;
  ASSERT_EQ(data.size(), 77u);
  for (std::size_t slot = 0; slot < 15; ++slot) {
    const auto usage = static_cast<std::uint8_t>(0xA0 + int(slotOrder[slot]));
    EXPECT_EQ(Bytes(data.begin() + 2 + 5 * slot, data.begin() + 7 + 5 * slot), (Bytes{0x51, usage, 0, 0, 0})) << slot;
  }
}

}  // namespace
