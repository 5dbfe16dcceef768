#include <algorithm>
#include <cmath>

#include "device/Bytes.h"
#include "device/Rival500.h"

namespace tandemo::Rival500 {
namespace {

constexpr std::size_t maxStops = 14;
constexpr std::int64_t maxDurationMs = 30000;
constexpr std::size_t bodyPaddedLength = 139;

// A whole number of milliseconds from a double, safe for any magnitude.
std::int64_t truncateToInt64(double value) {
  constexpr double limit = 9.2e18;
  if (value >= limit) return static_cast<std::int64_t>(limit);
  if (value <= -limit) return -static_cast<std::int64_t>(limit);
  return static_cast<std::int64_t>(value);
}

// Colour change per millisecond in sixteenths, saturated to one signed byte: a steep ramp keeps
// rising as fast as the mouse allows instead of wrapping round and running the other way.
std::uint8_t deltaByte(int from, int to, std::int64_t ms) {
  const double delta = std::trunc(static_cast<double>(to - from) / static_cast<double>(ms) * 16.0);
  const auto saturated = static_cast<int>(std::clamp(delta, -128.0, 127.0));
  return static_cast<std::uint8_t>(saturated);
}

}  // namespace

Lighting Lighting::factory() {
  return Lighting{{{0, 255, 0, 225}, {33, 255, 234, 0}, {66, 0, 204, 255}}, 1000};
}

std::string_view describe(LightingError error) {
  switch (error) {
    case LightingError::noStops: return "A light needs at least one color.";
    case LightingError::tooManyStops: return "At most 14 colors per light.";
    case LightingError::badOrder: return "Gradient stops must be in increasing order.";
    case LightingError::tooShort:
      return "Cycle too short for that many colors (33 ms per color minimum).";
    case LightingError::tooLong: return "Cycle can be at most 30 seconds.";
  }
  return "Unknown lighting error.";
}

Expected<Packet, LightingError> lightingPacket(LED led, const Lighting& lighting) {
  if (lighting.stops.empty()) return unexpected(LightingError::noStops);
  std::vector<ColorStop> stops = lighting.stops;
  if (stops.size() >= 2 && stops.size() <= maxStops - 1 && stops.back().position != 100) {
    const ColorStop& first = stops.front();
    stops.push_back({100, first.red, first.green, first.blue});
  }
  if (stops.size() > maxStops) return unexpected(LightingError::tooManyStops);
  const auto minimum = static_cast<std::int64_t>(static_cast<double>(stops.size()) * 33.3);
  if (lighting.durationMs < minimum) return unexpected(LightingError::tooShort);
  if (lighting.durationMs > maxDurationMs) return unexpected(LightingError::tooLong);

  std::vector<std::uint8_t> data;
  data.reserve(163);
  data.insert(data.end(), {0x05, 0x00});
  data.insert(data.end(), {static_cast<std::uint8_t>(led), 0x1D, 0x01, 0x02, 0x31, 0x51, 0xFF, 0xC8, 0x00});
  for (std::size_t i = 0; i + 1 < stops.size(); ++i) {
    const ColorStop& from = stops[i];
    const ColorStop& to = stops[i + 1];
    if (to.position <= from.position) return unexpected(LightingError::badOrder);
    // Positions are unbounded integers: take the span in double so it cannot overflow.
    const double span = static_cast<double>(to.position) - static_cast<double>(from.position);
    const std::int64_t ms =
        truncateToInt64(static_cast<double>(lighting.durationMs) / 100.0 * span);
    if (ms < 1) return unexpected(LightingError::badOrder);
    data.insert(data.end(), {static_cast<std::uint8_t>(i), 0x00, deltaByte(from.red, to.red, ms),
                             deltaByte(from.green, to.green, ms), deltaByte(from.blue, to.blue, ms),
                             0x00});
    appendLE16(data, ms);
  }
  data.resize(2 + bodyPaddedLength, 0x00);
  const ColorStop& start = stops.front();
  for (std::uint8_t channel : {start.red, start.green, start.blue}) appendLE16(data, channel * 16);
  data.insert(data.end(), {0xFF, 0x00});
  appendLE16(data, 1500);
  appendLE16(data, 650);
  data.insert(data.end(), {0x00, 0x00, 0x00, 0x00, 0x01, 0x00});
  appendLE16(data, static_cast<std::int64_t>(stops.size() - 1));
  appendLE16(data, lighting.durationMs);
  return Packet{ReportType::feature, std::move(data)};
}

}  // namespace tandemo::Rival500
