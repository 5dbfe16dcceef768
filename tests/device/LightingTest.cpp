#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "device/Rival500.h"

namespace {

using namespace tandemo::Rival500;
using Bytes = std::vector<std::uint8_t>;
using E = LightingError;

// Stops at the given positions, each a different shade of red.
Lighting atPositions(const std::vector<std::int64_t>& positions, std::int64_t durationMs) {
  Lighting lighting{{}, durationMs};
  for (std::int64_t p : positions) lighting.stops.push_back({p, std::uint8_t(10 * lighting.stops.size()), 0, 0});
  return lighting;
}

TEST(Lighting, FactoryCycleOnTheLogoAndWheel) {
  Bytes logo = {
      0x05, 0x00,                                      // command
      0x00,                                            // LED: logo
      0x1D, 0x01, 0x02, 0x31, 0x51, 0xFF, 0xC8, 0x00,  // effect header
      // index, 0, red, green, blue change per ms in sixteenths, 0, length in ms
      0x00, 0x00, 0x00, 0x0B, 0xF6, 0x00, 0x4A, 0x01,  // 0 to 33 %: 330 ms, pink to yellow
      0x01, 0x00, 0xF4, 0xFF, 0x0C, 0x00, 0x4A, 0x01,  // 33 to 66 %: 330 ms, yellow to blue
      0x02, 0x00, 0x0C, 0xF7, 0xFF, 0x00, 0x54, 0x01,  // 66 to 100 %: 340 ms, back to pink
  };
  logo.resize(141, 0x00);  // the segment area is padded to 130 bytes
  logo.insert(logo.end(), {
      0xF0, 0x0F, 0x00, 0x00, 0x10, 0x0E, 0xFF, 0x00,  // start colour 255, 0, 225 in sixteenths
      0xDC, 0x05, 0x8A, 0x02, 0x00, 0x00, 0x00, 0x00,  // 1500, 650
      0x01, 0x00, 0x03, 0x00, 0xE8, 0x03,              // 3 segments, cycle of 1000 ms
  });
  EXPECT_EQ(lightingPacket(LED::logo, Lighting::factory()).value(), (Packet{ReportType::feature, logo}));
  Bytes wheel = logo;
  wheel[2] = 0x01;  // LED: wheel
  EXPECT_EQ(lightingPacket(LED::wheel, Lighting::factory()).value().data, wheel);
}

// Checks run in order: stop count, then cycle length, then stop order.
TEST(Lighting, ValidationClosingStopAndErrorTexts) {
  struct Row { const char* what; Lighting lighting; std::optional<E> error; int segments = 0; };  // no error: valid
  const std::vector<std::int64_t> fifteen = {0, 7, 14, 21, 28, 35, 42, 49, 56, 63, 70, 77, 84, 90, 95};
  const std::vector<std::int64_t> thirteen(fifteen.begin(), fifteen.end() - 2);
  const std::vector<std::int64_t> fourteen(fifteen.begin(), fifteen.end() - 1);
  const Row rows[] = {
      {"no stops", atPositions({}, 1000), E::noStops}, {"no stops, bad duration", atPositions({}, 0), E::noStops},
      // One stop is steady: 33 ms at least. Two stops close to three at 100 %: 99 ms at least.
      {"one stop", atPositions({50}, 33), {}, 0}, {"one stop, 32 ms", atPositions({50}, 32), E::tooShort},
      {"two stops", atPositions({0, 50}, 99), {}, 2}, {"two stops, 66 ms", atPositions({0, 50}, 66), E::tooShort},
      {"last stop at 100 gets no closing stop", atPositions({0, 100}, 66), {}, 1},
      {"thirteen stops close to fourteen, 466 ms minimum", atPositions(thirteen, 465), E::tooShort},
      {"thirteen stops closed", atPositions(thirteen, 466), {}, 13},
      {"fourteen stops get no closing stop", atPositions(fourteen, 466), {}, 13},
      {"fifteen", atPositions(fifteen, 1000), E::tooManyStops},
      {"fifteen, too long", atPositions(fifteen, 40000), E::tooManyStops},  // count is checked before length
      {"30 s", atPositions({0}, 30000), {}, 0}, {"30 s and 1 ms", atPositions({0}, 30001), E::tooLong},
      {"falling, too long", atPositions({50, 10}, 40000), E::tooLong},  // length is checked before order
      {"falling, too short", atPositions({50, 10}, 10), E::tooShort},
      {"equal positions", atPositions({0, 0}, 1000), E::badOrder},
      {"last stop past 100: the closing stop falls back", atPositions({0, 120}, 1000), E::badOrder},
      {"segment of 0.99 ms truncates to 0", atPositions({0, 1}, 99), E::badOrder},
      {"segment of 1 ms", atPositions({0, 1}, 100), {}, 2}, {"not clamped", atPositions({-10, 40}, 1000), {}, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto packet = lightingPacket(LED::logo, row.lighting);
    if (row.error) {
      EXPECT_EQ(packet.error(), *row.error);
    } else {
      ASSERT_TRUE(packet) << describe(packet.error());
      EXPECT_EQ(packet->data[159] | packet->data[160] << 8, row.segments);  // the trailer's segment count
    }
  }
}

TEST(Lighting, ClosingStopReturnsToTheFirstColourAndStepsSaturate) {
  const Bytes data = lightingPacket(LED::logo, {{{0, 10, 20, 30}, {50, 110, 20, 30}}, 1000}).value().data;
  EXPECT_EQ(Bytes(data.begin() + 11, data.begin() + 11 + 3 * 8), (Bytes{
                0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0xF4, 0x01,  // +100 red over 500 ms
                0x01, 0x00, 0xFD, 0x00, 0x00, 0x00, 0xF4, 0x01,  // -100 red over 500 ms
                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // no third segment
            }));
  // The colour change per millisecond saturates to a signed byte.
  struct Row { std::uint8_t from, to; std::int64_t ms; std::uint8_t expected; };
  const Row rows[] = {
      {0, 255, 1, 0x7F}, {255, 0, 1, 0x80},  // +-4080 sixteenths: as steep as the mouse allows
      {0, 8, 1, 0x7F},   {0, 7, 1, 0x70},    // 128 is one past the top, 112 fits
      {8, 0, 1, 0x80},   {9, 0, 1, 0x80},    // -128 fits exactly, -144 does not
      {0, 255, 40, 0x66}, {100, 99, 17, 0x00},  // 102; -0.94 truncates toward zero
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.from) + " to " + std::to_string(row.to) + " in " + std::to_string(row.ms) + " ms");
    // The first segment spans 1 % of the cycle, so the cycle is 100 times the segment.
    const auto packet = lightingPacket(LED::logo, {{{0, row.from, 0, 0}, {1, row.to, 0, 0}}, 100 * row.ms});
    EXPECT_EQ(packet.value().data[13], row.expected);
    EXPECT_EQ(packet->data[17] | packet->data[18] << 8, row.ms);
  }
}

}  // namespace
