#include <algorithm>

#include "device/Rival500.h"

namespace tandemo::Rival500 {
namespace {

// Slot of each control in the button-map packet, indexed by case order; button8 comes last.
constexpr std::array<std::size_t, 15> slotOf = {0, 1, 2, 3, 4, 5, 6, 14, 7, 8, 9, 10, 13, 11, 12};
constexpr std::size_t slotSize = 5;

}  // namespace

Packet sensitivity(std::uint8_t preset, std::int64_t dpi) {
  const std::int64_t clamped = std::clamp<std::int64_t>(dpi, 100, 12000);
  const auto code = static_cast<std::uint8_t>((clamped + 50) / 100 - 1);
  return {ReportType::output, {0x03, 0x00, preset, code, 0x00, 0x42}};
}

Packet pollingRate(std::int64_t hz) {
  std::uint8_t code = 1;
  switch (hz) {
    case 500: code = 2; break;
    case 250: code = 3; break;
    case 125: code = 4; break;
    default: code = 1; break;  // 1000 Hz, and every rate the mouse does not offer
  }
  return {ReportType::output, {0x04, 0x00, code}};
}

Packet buttonsPacket(const ButtonMap<Assignment>& assignments) {
  std::vector<std::uint8_t> data(2 + slotOf.size() * slotSize, 0x00);
  data[0] = 0x31;
  for (Button button : allButtons) {
    const auto found = assignments.find(button);
    const Assignment assignment = found != assignments.end() ? found->second : factoryDefault(button);
    const auto bytes = assignment.fieldBytes(button);
    const std::size_t offset = 2 + slotOf[static_cast<std::size_t>(button)] * slotSize;
    data[offset] = bytes[0];
    data[offset + 1] = bytes[1];
  }
  return {ReportType::feature, std::move(data)};
}

Packet savePacket() { return {ReportType::output, {0x09, 0x00}}; }

Packet firmwareQueryPacket() { return {ReportType::output, {0x10, 0x00}}; }

}  // namespace tandemo::Rival500
