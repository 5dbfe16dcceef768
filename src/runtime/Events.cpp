#include "runtime/Events.h"

#include <cstdio>

#include "core/Overloaded.h"

namespace tandemo {
namespace {

std::string hex(std::uint64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llX", static_cast<unsigned long long>(value));
  return buffer;
}

std::string flagsText(std::uint64_t flags, FlagsMode mode) {
  return "flags " + hex(flags) + (mode == FlagsMode::replace ? "" : " added");
}

std::string unitsText(const std::u16string& units) {
  std::string text;
  for (char16_t unit : units) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%sU+%04X", text.empty() ? "" : " ", static_cast<unsigned>(unit));
    text += buffer;
  }
  return text;
}

}  // namespace

std::string describeEvent(const SynthEvent& event) {
  return std::visit(
      Overloaded{
          [](const KeyEvent& e) {
            return std::string("key ") + (e.down ? "down " : "up ") + std::to_string(e.keyCode) + " " +
                   flagsText(e.flags, e.flagsMode);
          },
          [](const FlagsChangedEvent& e) {
            return std::string("flags-changed ") + (e.down ? "down " : "up ") + std::to_string(e.keyCode) +
                   " " + flagsText(e.flags, FlagsMode::replace);
          },
          [](const MouseButtonEvent& e) {
            return "mouse type " + std::to_string(e.type) + " button " + std::to_string(e.button) + " clicks " +
                   std::to_string(e.clickState) + " at (" + std::to_string(e.location.x) + ", " +
                   std::to_string(e.location.y) + ") " + flagsText(e.flags, e.flagsMode);
          },
          [](const ScrollEvent& e) {
            return "scroll lines " + std::to_string(e.wheel1) + " " + std::to_string(e.wheel2) + " " +
                   std::to_string(e.wheel3);
          },
          [](const UnicodeKeyEvent& e) {
            return std::string("unicode ") + (e.down ? "down " : "up ") + unitsText(e.text);
          },
          [](const MediaKeyEvent& e) {
            return "media data1 " + hex(static_cast<std::uint64_t>(e.data1)) + " data2 " + std::to_string(e.data2) +
                   " modifiers " + hex(e.modifierFlags) + " subtype " + std::to_string(e.subtype);
          },
      },
      event);
}

}  // namespace tandemo
