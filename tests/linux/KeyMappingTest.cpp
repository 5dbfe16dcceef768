#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <map>
#include <string_view>

#include "device/Rival500.h"
#include "linux/HidUsageKeyCodes.h"
#include "linux/KeyMapping.h"
#include "runtime/Events.h"

namespace tandemo::linux_platform {
namespace {

// What a real keyboard's key of each name gives on Linux, written from the kernel's names.
const std::map<std::string_view, std::uint16_t> kExpected = {
    {"A", KEY_A}, {"B", KEY_B}, {"C", KEY_C}, {"D", KEY_D}, {"E", KEY_E}, {"F", KEY_F}, {"G", KEY_G},
    {"H", KEY_H}, {"I", KEY_I}, {"J", KEY_J}, {"K", KEY_K}, {"L", KEY_L}, {"M", KEY_M}, {"N", KEY_N},
    {"O", KEY_O}, {"P", KEY_P}, {"Q", KEY_Q}, {"R", KEY_R}, {"S", KEY_S}, {"T", KEY_T}, {"U", KEY_U},
    {"V", KEY_V}, {"W", KEY_W}, {"X", KEY_X}, {"Y", KEY_Y}, {"Z", KEY_Z},
    {"1", KEY_1}, {"2", KEY_2}, {"3", KEY_3}, {"4", KEY_4}, {"5", KEY_5}, {"6", KEY_6}, {"7", KEY_7},
    {"8", KEY_8}, {"9", KEY_9}, {"0", KEY_0},
    {"Return", KEY_ENTER}, {"Escape", KEY_ESC}, {"Delete (backspace)", KEY_BACKSPACE}, {"Tab", KEY_TAB},
    {"Space", KEY_SPACE}, {"- (minus)", KEY_MINUS}, {"= (equals)", KEY_EQUAL}, {"[", KEY_LEFTBRACE},
    {"]", KEY_RIGHTBRACE}, {"\\ (backslash)", KEY_BACKSLASH}, {"; (semicolon)", KEY_SEMICOLON},
    {"' (quote)", KEY_APOSTROPHE}, {"` (backtick)", KEY_GRAVE}, {", (comma)", KEY_COMMA}, {". (period)", KEY_DOT},
    {"/ (slash)", KEY_SLASH}, {"Caps Lock", KEY_CAPSLOCK},
    {"F1", KEY_F1}, {"F2", KEY_F2}, {"F3", KEY_F3}, {"F4", KEY_F4}, {"F5", KEY_F5}, {"F6", KEY_F6},
    {"F7", KEY_F7}, {"F8", KEY_F8}, {"F9", KEY_F9}, {"F10", KEY_F10}, {"F11", KEY_F11}, {"F12", KEY_F12},
    {"F13", KEY_F13}, {"F14", KEY_F14}, {"F15", KEY_F15}, {"F16", KEY_F16}, {"F17", KEY_F17}, {"F18", KEY_F18},
    {"F19", KEY_F19}, {"F20", KEY_F20},
    {"Insert / Help", KEY_INSERT}, {"Home", KEY_HOME}, {"Page Up", KEY_PAGEUP}, {"Forward Delete", KEY_DELETE},
    {"End", KEY_END}, {"Page Down", KEY_PAGEDOWN}, {"\u2192 Right", KEY_RIGHT}, {"\u2190 Left", KEY_LEFT},
    {"\u2193 Down", KEY_DOWN}, {"\u2191 Up", KEY_UP}, {"Num Lock / Clear", KEY_NUMLOCK},
    {"Keypad /", KEY_KPSLASH}, {"Keypad *", KEY_KPASTERISK}, {"Keypad -", KEY_KPMINUS}, {"Keypad +", KEY_KPPLUS},
    {"Keypad Enter", KEY_KPENTER}, {"Keypad 1", KEY_KP1}, {"Keypad 2", KEY_KP2}, {"Keypad 3", KEY_KP3},
    {"Keypad 4", KEY_KP4}, {"Keypad 5", KEY_KP5}, {"Keypad 6", KEY_KP6}, {"Keypad 7", KEY_KP7},
    {"Keypad 8", KEY_KP8}, {"Keypad 9", KEY_KP9}, {"Keypad 0", KEY_KP0}, {"Keypad .", KEY_KPDOT},
    {"Left Control", KEY_LEFTCTRL}, {"Left Shift", KEY_LEFTSHIFT}, {"Left Option", KEY_LEFTALT},
    {"Left Command", KEY_LEFTMETA}, {"Right Control", KEY_RIGHTCTRL}, {"Right Shift", KEY_RIGHTSHIFT},
    {"Right Option", KEY_RIGHTALT}, {"Right Command", KEY_RIGHTMETA},
};

TEST(KeyMapping, EveryKeyTableEntryReachesTheKernelsKeyOfTheSameName) {
  std::size_t mapped = 0;
  for (const Rival500::Key& entry : Rival500::keys()) {
    SCOPED_TRACE(entry.name);
    EXPECT_TRUE(isDeclaredKey(linuxKeyForUsage(entry.usage).value_or(0)));  // F21 to F24 as well
    if (!entry.macKeyCode) {
      EXPECT_GE(entry.usage, 0x70);  // F21 to F24 only
      continue;
    }
    const auto expected = kExpected.find(entry.name);
    ASSERT_NE(expected, kExpected.end());
    EXPECT_EQ(linuxKeyForHostKeyCode(*entry.macKeyCode), expected->second);
    ++mapped;
  }
  EXPECT_EQ(mapped, kExpected.size());
  EXPECT_FALSE(linuxKeyForHostKeyCode(10));  // a key code outside the table
}

TEST(KeyMapping, MouseButtonsOneToSixteenHaveCodesTheRestNone) {
  const std::map<int, std::optional<std::uint16_t>> cases = {
      {-1, std::nullopt}, {0, BTN_LEFT},   {1, BTN_RIGHT},   {2, BTN_MIDDLE}, {3, BTN_SIDE},
      {4, BTN_EXTRA},     {5, BTN_FORWARD}, {6, BTN_BACK},   {7, BTN_TASK},   {8, 0x118},
      {15, 0x11F},        {16, std::nullopt}, {31, std::nullopt}};
  for (const auto& [button, code] : cases) EXPECT_EQ(linuxButtonForEventButton(button), code) << button;
}

TEST(KeyMapping, MediaKeysAndDeclaredKeys) {
  const std::map<std::int32_t, std::optional<std::uint16_t>> media = {
      {16, KEY_PLAYPAUSE}, {17, KEY_NEXTSONG}, {18, KEY_PREVIOUSSONG}, {0, KEY_VOLUMEUP},
      {1, KEY_VOLUMEDOWN}, {7, KEY_MUTE},      {2, std::nullopt}};
  for (const auto& [type, code] : media) {
    EXPECT_EQ(linuxKeyForMediaKeyType(type), code) << type;
    if (code) {
      EXPECT_TRUE(isDeclaredKey(*code));
    }
  }
  // No joystick, gamepad or BTN_0 codes: desktops would take the device for a joystick.
  for (std::uint16_t key : declaredKeys()) EXPECT_LT(key, BTN_MISC) << key;
  EXPECT_TRUE(isDeclaredKey(KEY_F24) && isDeclaredKey(KEY_102ND));
  EXPECT_FALSE(isDeclaredKey(KEY_POWER));
  EXPECT_EQ(flagOfModifierKey(KEY_RIGHTALT), EventFlags::option);
  EXPECT_EQ(flagOfModifierKey(KEY_A), 0U);
}

}  // namespace
}  // namespace tandemo::linux_platform
