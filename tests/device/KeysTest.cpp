#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "device/Rival500.h"

namespace {

using namespace tandemo::Rival500;

bool absentFromTable(int usage) {
  return usage <= 0x03 || usage == 0x32 || (usage >= 0x46 && usage <= 0x48) ||
         (usage >= 0x64 && usage <= 0x67) || (usage >= 0x74 && usage <= 0xDF) || usage >= 0xE8;
}

TEST(Keys, TableCoversExactlyTheListedUsagesOnceEach) {
  ASSERT_EQ(keys().size(), 112u);
  std::set<std::uint8_t> usages;
  std::set<std::uint16_t> codes;
  for (const Key& key : keys()) {
    EXPECT_TRUE(usages.insert(key.usage).second) << "usage listed twice: " << int{key.usage};
    if (key.macKeyCode) {
      EXPECT_TRUE(codes.insert(*key.macKeyCode).second) << key.name;
    }
  }
  for (int usage = 0; usage <= 0xFF; ++usage) {
    const auto key = keyForUsage(static_cast<std::uint8_t>(usage));
    EXPECT_EQ(key.has_value(), !absentFromTable(usage)) << "usage " << usage;
    if (key) {
      EXPECT_EQ(key->usage, usage);
    }
  }
}

TEST(Keys, GroupsAppearInPickerOrder) {
  // {index in the table, usage, name, host key code}
  const std::tuple<std::size_t, std::uint8_t, std::string, std::optional<std::uint16_t>> rows[] = {
      {0, 0x04, "A", 0},           {25, 0x1D, "Z", 6},
      {26, 0x1E, "1", 18},         {35, 0x27, "0", 29},
      {36, 0x28, "Return", 36},    {52, 0x39, "Caps Lock", 57},
      {53, 0x3A, "F1", 122},       {64, 0x45, "F12", 111},
      {65, 0x68, "F13", 105},      {72, 0x6F, "F20", 90},
      {73, 0x70, "F21", {}},       {76, 0x73, "F24", {}},
      {77, 0x49, "Insert / Help", 114}, {92, 0x58, "Keypad Enter", 76},
      {93, 0x59, "Keypad 1", 83}, {101, 0x61, "Keypad 9", 92},
      {102, 0x62, "Keypad 0", 82}, {111, 0xE7, "Right Command", 54},
  };
  for (const auto& [index, usage, name, code] : rows) {
    SCOPED_TRACE(name);
    EXPECT_EQ(keys()[index], (Key{usage, name, code}));
  }
}

TEST(Keys, LookupsByUsageAndHostKeyCode) {
  EXPECT_EQ(keyForUsage(0x2A), (Key{0x2A, "Delete (backspace)", 51}));
  EXPECT_EQ(keyForUsage(0x4F), (Key{0x4F, "\u2192 Right", 124}));
  EXPECT_EQ(keyForUsage(0x31), (Key{0x31, "\\ (backslash)", 42}));
  EXPECT_EQ(keyForUsage(0x70), (Key{0x70, "F21", std::nullopt}));

  EXPECT_EQ(keyForMacKeyCode(49)->name, "Space");
  EXPECT_EQ(keyForMacKeyCode(122)->name, "F1");
  EXPECT_EQ(keyForMacKeyCode(54)->name, "Right Command");
  EXPECT_EQ(keyForMacKeyCode(10), std::nullopt);
  EXPECT_EQ(keyForMacKeyCode(0xFFFF), std::nullopt);
  for (const Key& key : keys()) {
    if (key.macKeyCode) {
      EXPECT_EQ(keyForMacKeyCode(*key.macKeyCode), key);
    }
  }
}

TEST(Keys, TypeableKeysLeaveOutMarkersAndModifiers) {
  const auto& typeable = typeableKeys();
  EXPECT_EQ(typeable.size(), 92u);
  std::set<std::string> names;
  for (const Key& key : typeable) {
    names.emplace(key.name);
    EXPECT_FALSE(key.usage >= 0x68 && key.usage <= 0x73) << key.name;
    EXPECT_LT(key.usage, 0xE0) << key.name;
  }
  EXPECT_TRUE(names.count("Caps Lock"));
  EXPECT_TRUE(names.count("Keypad Enter"));
  EXPECT_TRUE(names.count("F12"));
  EXPECT_FALSE(names.count("F13"));
  EXPECT_FALSE(names.count("Left Shift"));
  // Same order as the full table.
  std::size_t next = 0;
  for (const Key& key : keys()) {
    if (next < typeable.size() && typeable[next] == key) ++next;
  }
  EXPECT_EQ(next, typeable.size());
}

TEST(Keys, MediaKeyTable) {
  // {consumer usage, name, host auxiliary-key type}
  const std::vector<MediaKey> expected = {
      {0xCD, "Play / Pause", 16}, {0xB5, "Next track", 17}, {0xB6, "Previous track", 18},
      {0xE9, "Volume up", 0},     {0xEA, "Volume down", 1}, {0xE2, "Mute", 7},
  };
  EXPECT_EQ(mediaKeys(), expected);
}

}  // namespace
