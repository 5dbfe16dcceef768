#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "device/Rival500.h"

namespace {

using namespace tandemo::Rival500;
using B = Button;

struct ControlRow {
  Button button;
  const char* raw;
  const char* label;
  std::optional<int> native;
  std::optional<std::uint8_t> marker;
  Assignment factory;
};

// The fifteen controls as the mouse ships them.
const ControlRow controls[] = {
    {B::button1, "button1", "Left click", 1, {}, Assignment::mouseButton(1)},
    {B::button2, "button2", "Right click", 2, {}, Assignment::mouseButton(2)},
    {B::button3, "button3", "Wheel click", 3, {}, Assignment::mouseButton(3)},
    {B::button4, "button4", "Thumb \u00B7 middle right", 4, 0x68, Assignment::mouseButton(4)},
    {B::button5, "button5", "Thumb \u00B7 top right", 5, 0x69, Assignment::mouseButton(5)},
    {B::button6, "button6", "Thumb \u00B7 top left", 6, 0x6A, Assignment::mouseButton(6)},
    {B::button7, "button7", "Thumb \u00B7 bottom left", 7, 0x6B, Assignment::mouseButton(7)},
    {B::button8, "button8", "Flick switch (lockable)", 8, 0x6C, Assignment::mouseButton(8)},
    {B::button9, "button9", "Thumb \u00B7 bottom right", {}, 0x6D, Assignment::disabled()},
    {B::button10, "button10", "Behind the wheel", {}, 0x6E, Assignment::dpiSwitch()},
    {B::button11, "button11", "Left edge \u00B7 upper", {}, 0x6F, Assignment::disabled()},
    {B::button12, "button12", "Left edge \u00B7 lower", {}, 0x70, Assignment::disabled()},
    {B::button13, "button13", "Right edge", {}, 0x71, Assignment::disabled()},
    {B::tiltLeft, "tiltLeft", "Wheel tilt left", {}, 0x72, Assignment::tiltLeft()},
    {B::tiltRight, "tiltRight", "Wheel tilt right", {}, 0x73, Assignment::tiltRight()},
};

TEST(Buttons, EachControlHasItsNameLabelMarkerAndFactoryFunction) {
  for (const ControlRow& row : controls) {
    SCOPED_TRACE(row.raw);
    EXPECT_EQ(rawValue(row.button), row.raw);
    EXPECT_EQ(buttonFromRawValue(row.raw), row.button);
    EXPECT_EQ(label(row.button), row.label);
    EXPECT_EQ(nativeMouseButton(row.button), row.native);
    EXPECT_EQ(markerKey(row.button), row.marker);
    EXPECT_EQ(factoryDefault(row.button), row.factory);
    if (row.marker) {
      EXPECT_EQ(forMarker(*row.marker), row.button);
    }
  }
}

TEST(Buttons, NamesOutsideTheFifteenAreRejected) {
  for (const char* raw : {"", "button0", "button14", "Button1", "TiltLeft", "tiltleft", "button1 ", "left"}) {
    EXPECT_EQ(buttonFromRawValue(raw), std::nullopt) << '"' << raw << '"';
  }
}

TEST(Buttons, OnlyF13ToF24AreMarkerKeys) {
  EXPECT_EQ(forMarker(0x6E), B::button10);
  EXPECT_EQ(forMarker(0x73), B::tiltRight);
  for (int usage : {0x00, 0x45 /* F12 */, 0x67, 0x74, 0xE1, 0xFF}) {
    EXPECT_EQ(forMarker(static_cast<std::uint8_t>(usage)), std::nullopt) << usage;
  }
}

TEST(Assignments, Summaries) {
  const std::pair<Assignment, std::string> rows[] = {
      {Assignment::mouseButton(1), "Left click"},
      {Assignment::mouseButton(2), "Right click"},
      {Assignment::mouseButton(3), "Middle click"},  // the control is "Wheel click"; the function is not
      {Assignment::mouseButton(4), "Mouse button 4"},
      {Assignment::mouseButton(-2), "Mouse button -2"},
      {Assignment::key(0x2C), "Type Space"},
      {Assignment::key(0x4F), "Type \u2192 Right"},
      {Assignment::key(0x32), "Type 0x32"},  // no table entry
      {Assignment::media(0xE2), "Mute"},
      {Assignment::media(0xCD), "Play / Pause"},
      {Assignment::media(0x30), "Media key"},
      {Assignment::tiltLeft(), "Scroll left (tilt)"},
      {Assignment::tiltRight(), "Scroll right (tilt)"},
      {Assignment::scrollUp(), "Scroll up"},
      {Assignment::scrollDown(), "Scroll down"},
      {Assignment::dpiSwitch(), "Switch DPI preset"},
      {Assignment::disabled(), "Off"},
      {Assignment::bridge(), "App-controlled"},
  };
  for (const auto& [assignment, summary] : rows) EXPECT_EQ(assignment.summary(), summary);
}

TEST(Assignments, FieldBytes) {
  using Bytes = std::array<std::uint8_t, 2>;
  constexpr auto big = std::numeric_limits<std::int64_t>::max();
  constexpr auto small = std::numeric_limits<std::int64_t>::min();
  // {assignment, control, function code, parameter}
  const std::tuple<Assignment, Button, Bytes> rows[] = {
      {Assignment::mouseButton(5), B::button1, {0x05, 0x00}},
      {Assignment::mouseButton(0), B::button4, {0x01, 0x00}},   // clamped up to 1
      {Assignment::mouseButton(12), B::button4, {0x08, 0x00}},  // clamped down to 8
      {Assignment::mouseButton(small), B::button4, {0x01, 0x00}},
      {Assignment::mouseButton(big), B::button4, {0x08, 0x00}},
      {Assignment::key(0x2C), B::button9, {0x51, 0x2C}},
      {Assignment::media(0xE9), B::button9, {0x61, 0xE9}},
      {Assignment::scrollUp(), B::button9, {0x31, 0x00}},
      {Assignment::scrollDown(), B::button9, {0x32, 0x00}},
      {Assignment::tiltLeft(), B::button9, {0x33, 0x00}},
      {Assignment::tiltRight(), B::button9, {0x34, 0x00}},
      {Assignment::dpiSwitch(), B::button9, {0x30, 0x00}},
      {Assignment::disabled(), B::button9, {0x00, 0x00}},
      {Assignment::bridge(), B::button9, {0x51, 0x6D}},    // types F18, its marker key
      {Assignment::bridge(), B::tiltRight, {0x51, 0x73}},  // F24
      {Assignment::bridge(), B::button2, {0x00, 0x00}},    // no marker key: programmed as disabled
  };
  for (const auto& [assignment, button, bytes] : rows) {
    EXPECT_EQ(assignment.fieldBytes(button), bytes) << assignment.summary() << " on " << rawValue(button);
  }
}

}  // namespace
