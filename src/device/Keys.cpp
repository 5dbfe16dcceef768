#include <unordered_map>

#include "device/Rival500.h"

namespace tandemo::Rival500 {
namespace {

using Code = std::optional<std::uint16_t>;
constexpr Code none = std::nullopt;

std::vector<Key> buildKeys() {
  std::vector<Key> table;
  table.reserve(112);
  // Letters A-Z (0x04-0x1D).
  static constexpr std::array<std::string_view, 26> letters = {
      "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M",
      "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z"};
  static constexpr std::array<std::uint16_t, 26> letterCodes = {
      0, 11, 8, 2, 14, 3, 5, 4, 34, 38, 40, 37, 46, 45, 31, 35, 12, 15, 1, 17, 32, 9, 13, 7, 16, 6};
  for (std::size_t i = 0; i < letters.size(); ++i) {
    table.push_back({static_cast<std::uint8_t>(0x04 + i), letters[i], letterCodes[i]});
  }
  // Digits 1-9 then 0 (0x1E-0x27).
  static constexpr std::array<std::string_view, 10> digits = {"1", "2", "3", "4", "5",
                                                              "6", "7", "8", "9", "0"};
  static constexpr std::array<std::uint16_t, 10> digitCodes = {18, 19, 20, 21, 23, 22, 26, 28, 25, 29};
  for (std::size_t i = 0; i < digits.size(); ++i) {
    table.push_back({static_cast<std::uint8_t>(0x1E + i), digits[i], digitCodes[i]});
  }
  // Editing and punctuation; 0x32 (non-US #) has no entry.
  const std::array<Key, 17> punctuation = {{
      {0x28, "Return", 36},        {0x29, "Escape", 53},        {0x2A, "Delete (backspace)", 51},
      {0x2B, "Tab", 48},           {0x2C, "Space", 49},         {0x2D, "- (minus)", 27},
      {0x2E, "= (equals)", 24},    {0x2F, "[", 33},             {0x30, "]", 30},
      {0x31, "\\ (backslash)", 42}, {0x33, "; (semicolon)", 41}, {0x34, "' (quote)", 39},
      {0x35, "` (backtick)", 50},  {0x36, ", (comma)", 43},     {0x37, ". (period)", 47},
      {0x38, "/ (slash)", 44},     {0x39, "Caps Lock", 57},
  }};
  table.insert(table.end(), punctuation.begin(), punctuation.end());
  // F1-F12 (0x3A-0x45).
  static constexpr std::array<std::string_view, 12> fNames = {
      "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12"};
  static constexpr std::array<std::uint16_t, 12> fCodes = {122, 120, 99, 118, 96, 97,
                                                           98,  100, 101, 109, 103, 111};
  for (std::size_t i = 0; i < fNames.size(); ++i) {
    table.push_back({static_cast<std::uint8_t>(0x3A + i), fNames[i], fCodes[i]});
  }
  // F13-F24 (0x68-0x73): the hidden keys of app-controlled buttons; F21-F24 have no key code.
  const std::array<Key, 12> highF = {{
      {0x68, "F13", 105}, {0x69, "F14", 107}, {0x6A, "F15", 113}, {0x6B, "F16", 106},
      {0x6C, "F17", 64},  {0x6D, "F18", 79},  {0x6E, "F19", 80},  {0x6F, "F20", 90},
      {0x70, "F21", none}, {0x71, "F22", none}, {0x72, "F23", none}, {0x73, "F24", none},
  }};
  table.insert(table.end(), highF.begin(), highF.end());
  const std::array<Key, 16> navigation = {{
      {0x49, "Insert / Help", 114},   {0x4A, "Home", 115},     {0x4B, "Page Up", 116},
      {0x4C, "Forward Delete", 117},  {0x4D, "End", 119},      {0x4E, "Page Down", 121},
      {0x4F, "\u2192 Right", 124},    {0x50, "\u2190 Left", 123}, {0x51, "\u2193 Down", 125},
      {0x52, "\u2191 Up", 126},       {0x53, "Num Lock / Clear", 71}, {0x54, "Keypad /", 75},
      {0x55, "Keypad *", 67},         {0x56, "Keypad -", 78},  {0x57, "Keypad +", 69},
      {0x58, "Keypad Enter", 76},
  }};
  table.insert(table.end(), navigation.begin(), navigation.end());
  static constexpr std::array<std::string_view, 9> keypad = {"Keypad 1", "Keypad 2", "Keypad 3",
                                                             "Keypad 4", "Keypad 5", "Keypad 6",
                                                             "Keypad 7", "Keypad 8", "Keypad 9"};
  static constexpr std::array<std::uint16_t, 9> keypadCodes = {83, 84, 85, 86, 87, 88, 89, 91, 92};
  for (std::size_t i = 0; i < keypad.size(); ++i) {
    table.push_back({static_cast<std::uint8_t>(0x59 + i), keypad[i], keypadCodes[i]});
  }
  const std::array<Key, 10> modifiers = {{
      {0x62, "Keypad 0", 82},      {0x63, "Keypad .", 65},      {0xE0, "Left Control", 59},
      {0xE1, "Left Shift", 56},    {0xE2, "Left Option", 58},   {0xE3, "Left Command", 55},
      {0xE4, "Right Control", 62}, {0xE5, "Right Shift", 60},   {0xE6, "Right Option", 61},
      {0xE7, "Right Command", 54},
  }};
  table.insert(table.end(), modifiers.begin(), modifiers.end());
  return table;
}

struct Indexes {
  std::array<std::optional<std::size_t>, 256> byUsage{};
  std::unordered_map<std::uint16_t, std::size_t> byMacKeyCode;
};

const Indexes& indexes() {
  static const Indexes built = [] {
    Indexes result;
    const auto& table = keys();
    for (std::size_t i = 0; i < table.size(); ++i) {
      result.byUsage[table[i].usage] = i;
      if (table[i].macKeyCode) result.byMacKeyCode.try_emplace(*table[i].macKeyCode, i);
    }
    return result;
  }();
  return built;
}

}  // namespace

const std::vector<Key>& keys() {
  static const std::vector<Key> table = buildKeys();
  return table;
}

const std::vector<Key>& typeableKeys() {
  static const std::vector<Key> typeable = [] {
    std::vector<Key> result;
    for (const Key& key : keys()) {
      if (key.usage < 0x68 || (key.usage >= 0x74 && key.usage < 0xE0)) result.push_back(key);
    }
    return result;
  }();
  return typeable;
}

const std::vector<MediaKey>& mediaKeys() {
  static const std::vector<MediaKey> table = {
      {0xCD, "Play / Pause", 16}, {0xB5, "Next track", 17}, {0xB6, "Previous track", 18},
      {0xE9, "Volume up", 0},     {0xEA, "Volume down", 1}, {0xE2, "Mute", 7},
  };
  return table;
}

std::optional<Key> keyForUsage(std::uint8_t usage) {
  if (auto index = indexes().byUsage[usage]) return keys()[*index];
  return std::nullopt;
}

std::optional<Key> keyForMacKeyCode(std::uint16_t macKeyCode) {
  const auto& map = indexes().byMacKeyCode;
  if (auto it = map.find(macKeyCode); it != map.end()) return keys()[it->second];
  return std::nullopt;
}

}  // namespace tandemo::Rival500
