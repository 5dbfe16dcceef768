#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include "linux/XkbText.h"

namespace tandemo::linux_platform {
namespace {

constexpr std::uint16_t shift = KEY_LEFTSHIFT;
constexpr std::uint16_t altGr = KEY_RIGHTALT;

XkbNames named(std::string layout) {
  XkbNames names;
  names.layout = std::move(layout);
  return names;
}

struct Case {
  char32_t c;
  std::optional<KeyStroke> stroke;
};

void expectStrokes(const XkbText& text, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(text.strokeFor(c.c), c.stroke) << "U+" << std::hex << static_cast<std::uint32_t>(c.c);
  }
}

TEST(XkbText, UsLayoutTypesAsciiWithShiftOnlyAndAnUnknownLayoutNothing) {
  const auto us = XkbText::fromNames(named("us"));
  ASSERT_TRUE(us.has_value());
  // Digits and / from the main block, not the keypad; < from the comma key, not the ISO key.
  expectStrokes(*us, {{U'a', KeyStroke{KEY_A, {}}},       {U'A', KeyStroke{KEY_A, {shift}}},
                      {U'1', KeyStroke{KEY_1, {}}},       {U'!', KeyStroke{KEY_1, {shift}}},
                      {U'/', KeyStroke{KEY_SLASH, {}}},   {U'<', KeyStroke{KEY_COMMA, {shift}}},
                      {U' ', KeyStroke{KEY_SPACE, {}}},   {U'\n', KeyStroke{KEY_ENTER, {}}},
                      {U'\t', KeyStroke{KEY_TAB, {}}},    {U'~', KeyStroke{KEY_GRAVE, {shift}}},
                      {U'\u00E9', std::nullopt},          {U'\u20AC', std::nullopt},  // é, €
                      {U'\U0001F600', std::nullopt}});
  for (char32_t c = 0x20; c < 0x7F; ++c) EXPECT_TRUE(us->strokeFor(c).has_value()) << static_cast<char>(c);
  EXPECT_FALSE(XkbText::fromNames(named("no-such-layout")).has_value());
}

TEST(XkbText, GermanLayoutUsesAltGrTheIsoKeyAndSwapsYAndZ) {
  const auto de = XkbText::fromNames(named("de"));
  ASSERT_TRUE(de.has_value());
  // ä, ß, €; / on the main block before the keypad's; é needs the dead acute, ` is a dead key.
  expectStrokes(*de, {{U'z', KeyStroke{KEY_Y, {}}},           {U'Y', KeyStroke{KEY_Z, {shift}}},
                      {U'\u00E4', KeyStroke{KEY_APOSTROPHE, {}}}, {U'\u00DF', KeyStroke{KEY_MINUS, {}}},
                      {U'@', KeyStroke{KEY_Q, {altGr}}},       {U'\u20AC', KeyStroke{KEY_E, {altGr}}},
                      {U'{', KeyStroke{KEY_7, {altGr}}},       {U'/', KeyStroke{KEY_7, {shift}}},
                      {U'<', KeyStroke{KEY_102ND, {}}},        {U'>', KeyStroke{KEY_102ND, {shift}}},
                      {U'|', KeyStroke{KEY_102ND, {altGr}}},   {U'\u00E9', std::nullopt},
                      {U'`', std::nullopt}});
}

// With Caps Lock on, Shift gives the lower case of letters and changes nothing else.
TEST(XkbText, CapsLockTurnsShiftAroundForLettersOnly) {
  const auto us = XkbText::fromNames(named("us"), true);
  const auto de = XkbText::fromNames(named("de"), true);
  ASSERT_TRUE(us.has_value() && de.has_value());
  expectStrokes(*us, {{U'a', KeyStroke{KEY_A, {shift}}}, {U'A', KeyStroke{KEY_A, {}}},
                      {U'1', KeyStroke{KEY_1, {}}},        {U'!', KeyStroke{KEY_1, {shift}}}});
  expectStrokes(*de, {{U'\u00E4', KeyStroke{KEY_APOSTROPHE, {shift}}}, {U'\u00C4', KeyStroke{KEY_APOSTROPHE, {}}},
                      {U'@', KeyStroke{KEY_Q, {altGr}}}});  // ä, Ä
}

}  // namespace
}  // namespace tandemo::linux_platform
