#include <cstdio>

#include "core/Overloaded.h"
#include "device/Rival500.h"

namespace tandemo::Rival500 {
namespace {

struct ButtonInfo {
  std::string_view raw;
  std::string_view label;
};

// Indexed by case order.
constexpr std::array<ButtonInfo, 15> buttonInfo = {{
    {"button1", "Left click"},
    {"button2", "Right click"},
    {"button3", "Wheel click"},
    {"button4", "Thumb \u00B7 middle right"},
    {"button5", "Thumb \u00B7 top right"},
    {"button6", "Thumb \u00B7 top left"},
    {"button7", "Thumb \u00B7 bottom left"},
    {"button8", "Flick switch (lockable)"},
    {"button9", "Thumb \u00B7 bottom right"},
    {"button10", "Behind the wheel"},
    {"button11", "Left edge \u00B7 upper"},
    {"button12", "Left edge \u00B7 lower"},
    {"button13", "Right edge"},
    {"tiltLeft", "Wheel tilt left"},
    {"tiltRight", "Wheel tilt right"},
}};

constexpr std::size_t indexOf(Button button) { return static_cast<std::size_t>(button); }
constexpr std::uint8_t firstMarker = 0x68;  // F13, sent by button4
constexpr std::size_t firstMarkedIndex = 3;

}  // namespace

std::string_view rawValue(Button button) { return buttonInfo[indexOf(button)].raw; }

std::optional<Button> buttonFromRawValue(std::string_view raw) {
  for (Button button : allButtons) {
    if (rawValue(button) == raw) return button;
  }
  return std::nullopt;
}

std::string_view label(Button button) { return buttonInfo[indexOf(button)].label; }

std::optional<int> nativeMouseButton(Button button) {
  if (button <= Button::button8) return static_cast<int>(indexOf(button)) + 1;
  return std::nullopt;
}

std::optional<std::uint8_t> markerKey(Button button) {
  if (indexOf(button) < firstMarkedIndex) return std::nullopt;
  return static_cast<std::uint8_t>(firstMarker + indexOf(button) - firstMarkedIndex);
}

std::optional<Button> forMarker(std::uint8_t usage) {
  if (usage < firstMarker || usage > firstMarker + (allButtons.size() - 1 - firstMarkedIndex)) {
    return std::nullopt;
  }
  return allButtons[firstMarkedIndex + (usage - firstMarker)];
}

Assignment factoryDefault(Button button) {
  if (auto native = nativeMouseButton(button)) return Assignment::mouseButton(*native);
  switch (button) {
    case Button::button10: return Assignment::dpiSwitch();
    case Button::tiltLeft: return Assignment::tiltLeft();
    case Button::tiltRight: return Assignment::tiltRight();
    default: return Assignment::disabled();
  }
}

std::string_view Assignment::caseName() const {
  static constexpr std::array<std::string_view, std::variant_size_v<Value>> names = {
      "mouseButton", "key",       "media",     "tiltLeft", "tiltRight",
      "scrollUp",    "scrollDown", "dpiSwitch", "disabled", "bridge"};
  return names[value.index()];
}

std::string Assignment::summary() const {
  return std::visit(
      Overloaded{
          [](const MouseButton& m) -> std::string {
            if (m.number == 1) return "Left click";
            if (m.number == 2) return "Right click";
            if (m.number == 3) return "Middle click";
            return "Mouse button " + std::to_string(m.number);
          },
          [](const Key& k) -> std::string {
            if (auto entry = keyForUsage(k.usage)) return "Type " + std::string(entry->name);
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(k.usage));
            return "Type " + std::string(hex);
          },
          [](const Media& m) -> std::string {
            for (const MediaKey& entry : mediaKeys()) {
              if (entry.usage == m.usage) return std::string(entry.name);
            }
            return "Media key";
          },
          [](const TiltLeft&) -> std::string { return "Scroll left (tilt)"; },
          [](const TiltRight&) -> std::string { return "Scroll right (tilt)"; },
          [](const ScrollUp&) -> std::string { return "Scroll up"; },
          [](const ScrollDown&) -> std::string { return "Scroll down"; },
          [](const DpiSwitch&) -> std::string { return "Switch DPI preset"; },
          [](const Disabled&) -> std::string { return "Off"; },
          [](const Bridge&) -> std::string { return "App-controlled"; },
      },
      value);
}

std::array<std::uint8_t, 2> Assignment::fieldBytes(Button button) const {
  using Bytes = std::array<std::uint8_t, 2>;
  return std::visit(
      Overloaded{
          [](const MouseButton& m) -> Bytes {
            const std::int64_t clamped = m.number < 1 ? 1 : (m.number > 8 ? 8 : m.number);
            return {static_cast<std::uint8_t>(clamped), 0x00};
          },
          [](const Key& k) -> Bytes { return {0x51, k.usage}; },
          [](const Media& m) -> Bytes { return {0x61, m.usage}; },
          [](const TiltLeft&) -> Bytes { return {0x33, 0x00}; },
          [](const TiltRight&) -> Bytes { return {0x34, 0x00}; },
          [](const ScrollUp&) -> Bytes { return {0x31, 0x00}; },
          [](const ScrollDown&) -> Bytes { return {0x32, 0x00}; },
          [](const DpiSwitch&) -> Bytes { return {0x30, 0x00}; },
          [](const Disabled&) -> Bytes { return {0x00, 0x00}; },
          [button](const Bridge&) -> Bytes {
            // The mouse knows nothing of the bridge: it simply types the control's hidden key.
            if (auto marker = markerKey(button)) return {0x51, *marker};
            return {0x00, 0x00};
          },
      },
      value);
}

}  // namespace tandemo::Rival500
