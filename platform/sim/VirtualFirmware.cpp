#include "sim/VirtualFirmware.h"

#include <array>
#include <cstdio>

namespace tandemo::sim {
namespace {

using Rival500::Assignment;
using Rival500::Button;
using Bytes = std::span<const std::uint8_t>;

constexpr std::size_t outputLength = 32;
constexpr std::size_t lightLength = 163;
constexpr std::size_t buttonMapLength = 77;
constexpr std::size_t slotSize = 5;
constexpr std::size_t maxSegments = 13;

// Slot of each control in the button map, in case order: the device puts button8 last.
constexpr std::array<std::size_t, 15> slotOf = {0, 1, 2, 3, 4, 5, 6, 14, 7, 8, 9, 10, 13, 11, 12};

// Offsets into the light packet's data (command byte at 0).
constexpr std::size_t lightHeader = 2;
constexpr std::size_t lightSegments = 11;
constexpr std::size_t lightStart = 141;
constexpr std::size_t lightTail = 147;
constexpr std::array<std::uint8_t, 8> lightHeaderBytes = {0x1D, 0x01, 0x02, 0x31, 0x51, 0xFF, 0xC8, 0x00};
constexpr std::array<std::uint8_t, 10> lightTailBytes = {0xFF, 0x00, 0xDC, 0x05, 0x8A, 0x02, 0x00, 0x00, 0x00, 0x00};

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::int64_t le16(Bytes data, std::size_t offset) {
  return data[offset] | (std::int64_t{data[offset + 1]} << 8);
}

bool allZero(Bytes data) {
  for (std::uint8_t byte : data) {
    if (byte != 0) return false;
  }
  return true;
}

Expected<void, std::string> checkLength(Bytes data, std::size_t expected, const char* what) {
  if (data.size() == expected) return {};
  return unexpected(std::string(what) + " of " + std::to_string(data.size()) + " bytes (expected " +
                    std::to_string(expected) + ")");
}

Expected<FirmwareCommand, std::string> applyDpi(MouseSettings& settings, Bytes data) {
  const std::uint8_t preset = data[2];
  const std::uint8_t code = data[3];
  if (preset != 1 && preset != 2) return unexpected("DPI preset " + std::to_string(preset));
  if (code > 119) return unexpected("DPI code " + std::to_string(code));
  if (data[4] != 0x00 || data[5] != 0x42 || !allZero(data.subspan(6))) {
    return unexpected(std::string("DPI packet with unexpected trailing bytes"));
  }
  (preset == 1 ? settings.dpi1 : settings.dpi2) = (code + 1) * 100;
  return FirmwareCommand::configure;
}

Expected<FirmwareCommand, std::string> applyPolling(MouseSettings& settings, Bytes data) {
  static constexpr std::array<std::int64_t, 5> rates = {0, 1000, 500, 250, 125};
  const std::uint8_t code = data[2];
  if (code < 1 || code > 4) return unexpected("polling code " + std::to_string(code));
  if (!allZero(data.subspan(3))) return unexpected(std::string("polling packet with trailing bytes"));
  settings.pollingHz = rates[code];
  return FirmwareCommand::configure;
}

Expected<FirmwareCommand, std::string> applyOutput(MouseSettings& settings, Bytes data) {
  if (auto length = checkLength(data, outputLength, "output report"); !length) return unexpected(length.error());
  if (data[1] != 0x00) return unexpected("second byte " + hex(data[1]));
  switch (data[0]) {
    case 0x03: return applyDpi(settings, data);
    case 0x04: return applyPolling(settings, data);
    case 0x09:
    case 0x10:
      if (!allZero(data.subspan(2))) return unexpected("command " + hex(data[0]) + " with trailing bytes");
      return data[0] == 0x09 ? FirmwareCommand::save : FirmwareCommand::firmwareQuery;
    default: return unexpected("unknown output command " + hex(data[0]));
  }
}

Expected<FirmwareCommand, std::string> applyFeature(MouseSettings& settings, Bytes data) {
  if (data.size() < 2) return unexpected(std::string("feature report of ") + std::to_string(data.size()) + " bytes");
  if (data[0] == 0x05) {
    if (auto length = checkLength(data, lightLength, "light packet"); !length) return unexpected(length.error());
    Rival500::LED led{};
    auto light = decodeLight(data, led);
    if (!light) return unexpected(light.error());
    (led == Rival500::LED::logo ? settings.logo : settings.wheel) = std::move(*light);
    return FirmwareCommand::configure;
  }
  if (data[0] == 0x31) {
    if (auto length = checkLength(data, buttonMapLength, "button map"); !length) return unexpected(length.error());
    auto map = decodeButtonMap(data);
    if (!map) return unexpected(map.error());
    settings.assignments = std::move(*map);
    return FirmwareCommand::configure;
  }
  return unexpected("unknown feature command " + hex(data[0]));
}

Expected<Assignment, std::string> decodeField(Button button, std::uint8_t code, std::uint8_t parameter) {
  if (code >= 1 && code <= 8) return Assignment::mouseButton(code);
  switch (code) {
    case 0x00: return Assignment::disabled();
    case 0x30: return Assignment::dpiSwitch();
    case 0x31: return Assignment::scrollUp();
    case 0x32: return Assignment::scrollDown();
    case 0x33: return Assignment::tiltLeft();
    case 0x34: return Assignment::tiltRight();
    case 0x51:
      // A control that types its own hidden key is what the host calls app-controlled.
      if (Rival500::markerKey(button) == parameter) return Assignment::bridge();
      return Assignment::key(parameter);
    case 0x61: return Assignment::media(parameter);
    default: return unexpected("function code " + hex(code) + " for " + std::string(Rival500::rawValue(button)));
  }
}

}  // namespace

Expected<LightEffect, std::string> decodeLight(Bytes data, Rival500::LED& led) {
  if (data.size() != lightLength || data[0] != 0x05 || data[1] != 0x00) {
    return unexpected(std::string("not a light packet"));
  }
  if (data[lightHeader] > 1) return unexpected("light " + hex(data[lightHeader]));
  led = data[lightHeader] == 0 ? Rival500::LED::logo : Rival500::LED::wheel;
  for (std::size_t i = 0; i < lightHeaderBytes.size(); ++i) {
    if (data[lightHeader + 1 + i] != lightHeaderBytes[i]) return unexpected(std::string("light header differs"));
  }
  for (std::size_t i = 0; i < lightTailBytes.size(); ++i) {
    if (data[lightTail + i] != lightTailBytes[i]) return unexpected(std::string("light trailer differs"));
  }
  if (data[157] != 0x01 || data[158] != 0x00) return unexpected(std::string("light trailer differs"));
  const auto count = static_cast<std::size_t>(le16(data, 159));
  if (count > maxSegments) return unexpected("light with " + std::to_string(count) + " segments");

  LightEffect light;
  light.durationMs = le16(data, 161);
  const std::int64_t red = le16(data, lightStart), green = le16(data, lightStart + 2), blue = le16(data, lightStart + 4);
  if (red % 16 || green % 16 || blue % 16 || red > 255 * 16 || green > 255 * 16 || blue > 255 * 16) {
    return unexpected(std::string("start colour is not a whole colour"));
  }
  light.red = static_cast<std::uint8_t>(red / 16);
  light.green = static_cast<std::uint8_t>(green / 16);
  light.blue = static_cast<std::uint8_t>(blue / 16);
  for (std::size_t i = 0; i < count; ++i) {
    const Bytes segment = data.subspan(lightSegments + 8 * i, 8);
    if (segment[0] != i || segment[1] != 0 || segment[5] != 0) {
      return unexpected("light segment " + std::to_string(i) + " is malformed");
    }
    light.segments.push_back({le16(segment, 6), static_cast<std::int8_t>(segment[2]),
                              static_cast<std::int8_t>(segment[3]), static_cast<std::int8_t>(segment[4])});
  }
  if (!allZero(data.subspan(lightSegments + 8 * count, lightStart - lightSegments - 8 * count))) {
    return unexpected(std::string("light padding is not zero"));
  }
  return light;
}

Expected<Rival500::ButtonMap<Assignment>, std::string> decodeButtonMap(Bytes data) {
  if (data.size() != buttonMapLength || data[0] != 0x31 || data[1] != 0x00) {
    return unexpected(std::string("not a button map"));
  }
  Rival500::ButtonMap<Assignment> map;
  for (Button button : Rival500::allButtons) {
    const Bytes slot = data.subspan(2 + slotOf[static_cast<std::size_t>(button)] * slotSize, slotSize);
    if (!allZero(slot.subspan(2))) return unexpected("slot of " + std::string(Rival500::rawValue(button)) + " has extra bytes");
    auto assignment = decodeField(button, slot[0], slot[1]);
    if (!assignment) return unexpected(assignment.error());
    map.emplace(button, *assignment);
  }
  return map;
}

Expected<FirmwareCommand, std::string> applyReport(MouseSettings& settings, HidReportType type,
                                                   std::uint32_t reportID, Bytes bytes) {
  if (reportID != 0) return unexpected("report ID " + std::to_string(reportID) + " (expected 0)");
  if (bytes.empty()) return unexpected(std::string("empty report"));
  MouseSettings next = settings;
  Expected<FirmwareCommand, std::string> result =
      type == HidReportType::output    ? applyOutput(next, bytes)
      : type == HidReportType::feature ? applyFeature(next, bytes)
                                       : Expected<FirmwareCommand, std::string>(unexpected(std::string("input report sent")));
  if (!result) return unexpected(hex(bytes[0]) + ": " + result.error());
  settings = std::move(next);
  return result;
}

}  // namespace tandemo::sim
