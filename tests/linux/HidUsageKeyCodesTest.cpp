#include <gtest/gtest.h>

#include "linux/HidUsageKeyCodes.h"

namespace tandemo::linux_platform {
namespace {

// Several usages share a key (0x31 and 0x32 both give KEY_BACKSLASH, the vendor media usages
// 0xE8 and up repeat 0x7F to 0x81): the way back gives the lowest usage with that key.
TEST(HidUsageKeyCodes, WayBackGivesTheLowestUsageOfTheSameKey) {
  for (unsigned usage = 0; usage < 256; ++usage) {
    const auto code = linuxKeyForUsage(static_cast<std::uint8_t>(usage));
    if (!code) continue;
    const auto back = usageForLinuxKey(*code);
    ASSERT_TRUE(back.has_value()) << usage;
    EXPECT_LE(*back, usage);
    EXPECT_EQ(linuxKeyForUsage(*back), code) << "usage 0x" << std::hex << usage;
  }
  EXPECT_EQ(usageForLinuxKey(43), 0x31);   // KEY_BACKSLASH
  EXPECT_EQ(usageForLinuxKey(113), 0x7F);  // KEY_MUTE
  EXPECT_EQ(linuxKeyForUsage(0x04), 30);   // A → KEY_A
  EXPECT_EQ(linuxKeyForUsage(0x68), 183);  // F13 → KEY_F13
  EXPECT_EQ(linuxKeyForUsage(0x73), 194);  // F24 → KEY_F24
  EXPECT_EQ(linuxKeyForUsage(0xE3), 125);  // left GUI → KEY_LEFTMETA
  EXPECT_FALSE(linuxKeyForUsage(0x00));
  EXPECT_FALSE(linuxKeyForUsage(0xA0));
}

}  // namespace
}  // namespace tandemo::linux_platform
