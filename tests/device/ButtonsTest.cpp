#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

#include "device/Rival500.h"

namespace {

using namespace tandemo::Rival500;
using B = Button;

TEST(Buttons, NamesNativeButtonsAndMarkerKeys) {
  for (Button button : allButtons) {
    SCOPED_TRACE(rawValue(button));
    EXPECT_EQ(buttonFromRawValue(rawValue(button)), button);
    const int n = int(button);
    EXPECT_EQ(nativeMouseButton(button), n < 8 ? std::optional<int>(n + 1) : std::nullopt);
    // F13 (0x68) for button4 up to F24 (0x73) for tiltRight; the first three controls have none.
    EXPECT_EQ(markerKey(button), n >= 3 ? std::optional<std::uint8_t>(0x65 + n) : std::nullopt);
  }
  for (const char* raw : {"", "button0", "button14", "Button1", "tiltleft", "button1 "}) {
    EXPECT_EQ(buttonFromRawValue(raw), std::nullopt) << '"' << raw << '"';
  }
  for (int usage = 0; usage <= 0xFF; ++usage) {
    const auto button = forMarker(static_cast<std::uint8_t>(usage));
    ASSERT_EQ(button.has_value(), usage >= 0x68 && usage <= 0x73) << usage;
    if (button) { EXPECT_EQ(markerKey(*button), usage); }
  }
}

TEST(Assignments, SummariesAndFieldBytes) {
  // Summaries that depend on the payload; the fixed ones are plain labels.
  const std::pair<Assignment, std::string> rows[] = {
      {Assignment::mouseButton(1), "Left click"},   {Assignment::mouseButton(3), "Middle click"},
      {Assignment::mouseButton(-2), "Mouse button -2"}, {Assignment::key(0x2C), "Type Space"},
      {Assignment::key(0x32), "Type 0x32"},         {Assignment::media(0xE2), "Mute"},
      {Assignment::media(0x30), "Media key"},
  };
  for (const auto& [assignment, summary] : rows) EXPECT_EQ(assignment.summary(), summary);

  using Bytes = std::array<std::uint8_t, 2>;
  const std::tuple<Assignment, Button, Bytes> bytesRows[] = {  // {assignment, control, function code and parameter}
      {Assignment::mouseButton(5), B::button1, {0x05, 0x00}},  {Assignment::mouseButton(0), B::button4, {0x01, 0x00}},
      {Assignment::mouseButton(12), B::button4, {0x08, 0x00}}, {Assignment::key(0x2C), B::button9, {0x51, 0x2C}},
      {Assignment::mouseButton(INT64_MIN), B::button4, {0x01, 0x00}},  // mouse buttons clamped to 1 to 8
      {Assignment::mouseButton(INT64_MAX), B::button4, {0x08, 0x00}}, {Assignment::media(0xE9), B::button9, {0x61, 0xE9}},
      {Assignment::scrollUp(), B::button9, {0x31, 0x00}},      {Assignment::scrollDown(), B::button9, {0x32, 0x00}},
      {Assignment::tiltLeft(), B::button9, {0x33, 0x00}},      {Assignment::tiltRight(), B::button9, {0x34, 0x00}},
      {Assignment::dpiSwitch(), B::button9, {0x30, 0x00}},     {Assignment::disabled(), B::button9, {0x00, 0x00}},
      {Assignment::bridge(), B::button9, {0x51, 0x6D}},        {Assignment::bridge(), B::tiltRight, {0x51, 0x73}},
      {Assignment::bridge(), B::button2, {0x00, 0x00}},  // bridge types the marker key; none: disabled
  };
  for (const auto& [assignment, button, bytes] : bytesRows) {
    EXPECT_EQ(assignment.fieldBytes(button), bytes) << assignment.summary() << " on " << rawValue(button);
  }
}

}  // namespace
