#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "device/Rival500.h"

namespace {

using namespace tandemo::Rival500;
using Bytes = std::vector<std::uint8_t>;
using E = LightingError;

constexpr std::size_t segmentCountOffset = 159;  // two bytes, after the padded body and the trailer

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Stops at the given positions, each a different shade of red.
Lighting atPositions(std::initializer_list<std::int64_t> positions, std::int64_t durationMs) {
  Lighting lighting{{}, durationMs};
  for (std::int64_t position : positions) {
    lighting.stops.push_back({position, static_cast<std::uint8_t>(10 * lighting.stops.size()), 0, 0});
  }
  return lighting;
}

int segmentCount(const Packet& packet) {
  return packet.data[segmentCountOffset] | packet.data[segmentCountOffset + 1] << 8;
}

TEST(Lighting, FactoryCycleOnTheLogoAndWheel) {
  const Bytes header = {
      0x05, 0x00,                                      // command
      0x00,                                            // LED: logo
      0x1D, 0x01, 0x02, 0x31, 0x51, 0xFF, 0xC8, 0x00,  // effect header
  };
  const Bytes segments = {
      // index, 0, red, green, blue change per ms in sixteenths, 0, length in ms
      0x00, 0x00, 0x00, 0x0B, 0xF6, 0x00, 0x4A, 0x01,  // 0 to 33 %: 330 ms, pink to yellow
      0x01, 0x00, 0xF4, 0xFF, 0x0C, 0x00, 0x4A, 0x01,  // 33 to 66 %: 330 ms, yellow to blue
      0x02, 0x00, 0x0C, 0xF7, 0xFF, 0x00, 0x54, 0x01,  // 66 to 100 %: 340 ms, back to pink
  };
  const Bytes trailer = {
      0xF0, 0x0F, 0x00, 0x00, 0x10, 0x0E,  // start colour 255, 0, 225 in sixteenths
      0xFF, 0x00,                          //
      0xDC, 0x05, 0x8A, 0x02,              // 1500, 650
      0x00, 0x00, 0x00, 0x00, 0x01, 0x00,  //
      0x03, 0x00,                          // 3 segments
      0xE8, 0x03,                          // cycle of 1000 ms
  };
  const Bytes logo = concat({header, segments, Bytes(139 - 9 - segments.size(), 0x00), trailer});
  ASSERT_EQ(logo.size(), 163u);

  const auto logoPacket = lightingPacket(LED::logo, Lighting::factory());
  ASSERT_TRUE(logoPacket);
  EXPECT_EQ(*logoPacket, (Packet{ReportType::feature, logo}));

  Bytes wheel = logo;
  wheel[2] = 0x01;  // LED: wheel
  const auto wheelPacket = lightingPacket(LED::wheel, Lighting::factory());
  ASSERT_TRUE(wheelPacket);
  EXPECT_EQ(wheelPacket->data, wheel);
}

TEST(Lighting, ValidationAndClosingStop) {
  struct Row {
    const char* what;
    Lighting lighting;
    std::optional<E> error;  // none: valid
    int segments = 0;
  };
  std::initializer_list<std::int64_t> thirteen = {0, 7, 14, 21, 28, 35, 42, 49, 56, 63, 70, 77, 84};
  std::initializer_list<std::int64_t> fourteen = {0, 7, 14, 21, 28, 35, 42, 49, 56, 63, 70, 77, 84, 90};
  const Row rows[] = {
      {"no stops", atPositions({}, 1000), E::noStops},
      {"no stops beats a bad duration", atPositions({}, 0), E::noStops},
      {"one stop is steady, 33 ms minimum", atPositions({50}, 33), {}, 0},
      {"one stop, 32 ms", atPositions({50}, 32), E::tooShort},
      {"negative cycle", atPositions({0}, -1), E::tooShort},
      {"two stops close to three, 99 ms minimum", atPositions({0, 50}, 66), E::tooShort},
      {"two stops closed at 100", atPositions({0, 50}, 99), {}, 2},
      {"last stop at 100 gets no closing stop", atPositions({0, 100}, 66), {}, 1},
      {"thirteen stops close to fourteen, 466 ms minimum", atPositions(thirteen, 465), E::tooShort},
      {"thirteen stops closed", atPositions(thirteen, 466), {}, 13},
      {"fourteen stops get no closing stop", atPositions(fourteen, 466), {}, 13},
      {"fourteen stops, 465 ms", atPositions(fourteen, 465), E::tooShort},
      {"fifteen stops", atPositions({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1000), E::tooManyStops},
      {"twenty stops and too long: count checked first",
       atPositions({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}, 40000),
       E::tooManyStops},
      {"30 s", atPositions({0}, 30000), {}, 0},
      {"30 s and 1 ms", atPositions({0}, 30001), E::tooLong},
      {"falling and too long: length checked first", atPositions({50, 10}, 40000), E::tooLong},
      {"falling and too short: length checked first", atPositions({50, 10}, 10), E::tooShort},
      {"equal positions", atPositions({0, 0}, 1000), E::badOrder},
      {"falling positions", atPositions({0, 60, 30}, 1000), E::badOrder},
      {"last stop past 100: the closing stop falls back", atPositions({0, 120}, 1000), E::badOrder},
      {"segment of 0.99 ms truncates to 0", atPositions({0, 1}, 99), E::badOrder},
      {"segment of exactly 1 ms", atPositions({0, 1}, 100), {}, 2},
      {"positions are not clamped", atPositions({-10, 40}, 1000), {}, 2},
      {"first stop past 0 covers less of the cycle", atPositions({40, 60}, 1000), {}, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto packet = lightingPacket(LED::logo, row.lighting);
    if (row.error) {
      ASSERT_FALSE(packet);
      EXPECT_EQ(packet.error(), *row.error) << describe(packet.error());
    } else {
      ASSERT_TRUE(packet) << describe(packet.error());
      EXPECT_EQ(packet->data.size(), 163u);
      EXPECT_EQ(segmentCount(*packet), row.segments);
    }
  }
}

TEST(Lighting, ClosingStopReturnsToTheFirstColour) {
  const Lighting lighting{{{0, 10, 20, 30}, {50, 110, 20, 30}}, 1000};
  const auto packet = lightingPacket(LED::logo, lighting);
  ASSERT_TRUE(packet);
  const Bytes segments(packet->data.begin() + 11, packet->data.begin() + 11 + 3 * 8);
  EXPECT_EQ(segments, (Bytes{
                          0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0xF4, 0x01,  // +100 red over 500 ms
                          0x01, 0x00, 0xFD, 0x00, 0x00, 0x00, 0xF4, 0x01,  // -100 red over 500 ms
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // no third segment
                      }));
}

TEST(Lighting, ColourChangePerMillisecondSaturatesToASignedByte) {
  struct Row {
    std::uint8_t from, to;
    std::int64_t ms;
    std::uint8_t expected;
  };
  const Row rows[] = {
      {0, 255, 1, 0x7F},    // 4080 sixteenths: as steep as the mouse allows
      {255, 0, 1, 0x80},    // -4080
      {0, 8, 1, 0x7F},      // 128 is one past the top
      {0, 7, 1, 0x70},      // 112 fits
      {8, 0, 1, 0x80},      // -128 fits exactly
      {9, 0, 1, 0x80},      // -144
      {0, 255, 10, 0x7F},   // 408
      {0, 255, 40, 0x66},   // 102
      {100, 99, 17, 0x00},  // -0.94 truncates toward zero
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.from) + " to " + std::to_string(row.to) + " in " + std::to_string(row.ms) + " ms");
    // The first segment spans 1 % of the cycle, so the cycle is 100 times the segment.
    const Lighting lighting{{{0, row.from, 0, 0}, {1, row.to, 0, 0}}, 100 * row.ms};
    const auto packet = lightingPacket(LED::logo, lighting);
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->data[13], row.expected);
    EXPECT_EQ(packet->data[17] | packet->data[18] << 8, row.ms);
  }
}

TEST(Lighting, ErrorDescriptions) {
  EXPECT_EQ(describe(E::noStops), "A light needs at least one color.");
  EXPECT_EQ(describe(E::tooManyStops), "At most 14 colors per light.");
  EXPECT_EQ(describe(E::badOrder), "Gradient stops must be in increasing order.");
  EXPECT_EQ(describe(E::tooShort), "Cycle too short for that many colors (33 ms per color minimum).");
  EXPECT_EQ(describe(E::tooLong), "Cycle can be at most 30 seconds.");
}

}  // namespace
