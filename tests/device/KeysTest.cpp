#include <gtest/gtest.h>

#include "device/Rival500.h"

namespace {

using namespace tandemo::Rival500;

bool absentFromTable(int usage) {
  return usage <= 0x03 || usage == 0x32 || (usage >= 0x46 && usage <= 0x48) ||
         (usage >= 0x64 && usage <= 0x67) || (usage >= 0x74 && usage <= 0xDF) || usage >= 0xE8;
}

TEST(Keys, TableGapsPickerOrderAndLookups) {
  ASSERT_EQ(keys().size(), 112u);  // as many as usages present below, so none is listed twice
  for (const Key& key : keys()) {
    if (key.macKeyCode) { EXPECT_EQ(keyForMacKeyCode(*key.macKeyCode), key); }
  }
  for (int usage = 0; usage <= 0xFF; ++usage) {
    const auto key = keyForUsage(static_cast<std::uint8_t>(usage));
    EXPECT_EQ(key.has_value(), !absentFromTable(usage)) << "usage " << usage;
    if (key) { EXPECT_EQ(key->usage, usage); }
  }
  EXPECT_EQ(keys()[65], (Key{0x68, "F13", 105}));  // F13 to F24 follow F12 in the picker
  EXPECT_EQ(keyForUsage(0x70), (Key{0x70, "F21", std::nullopt}));  // no host key code
  EXPECT_EQ(keyForMacKeyCode(49)->name, "Space");
  EXPECT_EQ(keyForMacKeyCode(10), std::nullopt);
  // Typeable keys leave out the markers and the modifiers, in table order.
  const auto& typeable = typeableKeys();
  EXPECT_EQ(typeable.size(), 92u);
  std::size_t next = 0;
  for (const Key& key : keys()) {
    if (key.usage < 0x68 || (key.usage > 0x73 && key.usage < 0xE0)) { EXPECT_EQ(typeable.at(next++), key); }
  }
  EXPECT_EQ(next, typeable.size());
}

}  // namespace
