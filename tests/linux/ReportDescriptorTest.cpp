#include <gtest/gtest.h>

#include "Descriptors.h"
#include "linux/HidrawSysfs.h"
#include "linux/ReportDescriptor.h"

namespace tandemo::linux_platform {
namespace {

using descriptors::Bytes;
using Collection = ReportDescriptorInfo::Collection;

struct Valid {
  const char* name;
  Bytes bytes;
  std::vector<Collection> topLevel;
  bool numbered;
  InterfaceRole role;
};

const std::vector<Valid>& validCases() {
  static const std::vector<Valid> cases = {
      {"boot mouse example", descriptors::bootMouse, {{1, 2, 1}}, false, InterfaceRole::pointer},
      {"configuration", descriptors::rivalConfiguration, {{0xFFC0, 1, 1}}, false, InterfaceRole::configuration},
      {"keyboard", descriptors::rivalKeyboard, {{1, 6, 1}, {0x0C, 1, 1}}, true, InterfaceRole::keyboard},
      {"pointer", descriptors::rivalPointer, {{1, 2, 1}}, false, InterfaceRole::pointer},
      // A mouse whose pointer collection comes first and a keyboard second: still the pointer.
      {"pointer then keyboard",
       [] {
         Bytes bytes = descriptors::rivalPointer;
         bytes.insert(bytes.end(), descriptors::rivalKeyboard.begin(), descriptors::rivalKeyboard.end());
         return bytes;
       }(),
       {{1, 2, 1}, {1, 6, 1}, {0x0C, 1, 1}}, true, InterfaceRole::pointer},
      // Usage before Usage Page: the page in force at the Collection item applies.
      {"usage before page", {0x09, 0x06, 0x05, 0x01, 0xA1, 0x01, 0xC0}, {{1, 6, 1}}, false, InterfaceRole::keyboard},
      // Usages already on the newest page keep the pages they were declared on.
      {"page change between usages", {0x05, 0x01, 0x09, 0x06, 0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0xC0},
       {{1, 6, 1}}, false, InterfaceRole::keyboard},
      // An extended (four-byte) usage carries its own page, whatever the Usage Page says.
      {"extended usage", {0x05, 0x0C, 0x0B, 0x06, 0x00, 0x01, 0x00, 0xA1, 0x01, 0xC0}, {{1, 6, 1}}, false,
       InterfaceRole::keyboard},
      // A usage range names the collection by its minimum.
      {"usage range", {0x06, 0xC0, 0xFF, 0x19, 0x01, 0x29, 0x05, 0xA1, 0x01, 0xC0}, {{0xFFC0, 1, 1}}, false,
       InterfaceRole::configuration},
      // Push and Pop restore the page; a long item is skipped whole (its data holds 0xC0).
      {"push, pop, long item",
       {0x05, 0x01, 0xA4, 0x05, 0x0C, 0xB4, 0xFE, 0x02, 0x10, 0xC0, 0xC0, 0x09, 0x06, 0xA1, 0x01, 0xC0},
       {{1, 6, 1}}, false, InterfaceRole::keyboard},
      // A collection without a usage, then unknown main and global tags: tolerated as the kernel does.
      {"no usage", {0xA1, 0x01, 0xF0, 0xF4, 0x00, 0xC0}, {{0, 0, 1}}, false, InterfaceRole::other},
  };
  return cases;
}

TEST(ReportDescriptor, ReadsTopLevelCollectionsNumberingAndRole) {
  for (const Valid& c : validCases()) {
    const auto parsed = parseReportDescriptor(c.bytes);
    ASSERT_TRUE(parsed) << c.name << ": " << parsed.error();
    EXPECT_EQ(parsed->topLevel, c.topLevel) << c.name;
    EXPECT_EQ(parsed->numbered, c.numbered) << c.name;
    EXPECT_EQ(roleOf(*parsed), c.role) << c.name;
  }
}

// A read cut short never classifies an interface differently: a prefix is refused unless it
// ends between top-level collections, and then it holds only the leading ones.
TEST(ReportDescriptor, TruncatedDescriptorsAreRefusedOrKeepTheirRole) {
  for (const Valid& c : validCases()) {
    std::size_t accepted = 0;
    for (std::size_t length = 0; length < c.bytes.size(); ++length) {
      const auto parsed = parseReportDescriptor(std::span(c.bytes).first(length));
      if (!parsed) continue;
      ++accepted;
      EXPECT_LT(parsed->topLevel.size(), c.topLevel.size()) << c.name << " cut to " << length;
      EXPECT_EQ(roleOf(*parsed), c.role) << c.name << " cut to " << length;
    }
    if (c.topLevel.size() == 1) {
      EXPECT_EQ(accepted, 0u) << c.name;
    }
  }
}

TEST(ReportDescriptor, HostileDescriptorsAreRefusedWithTheReason) {
  Bytes deep;
  for (int i = 0; i < 33; ++i) deep.insert(deep.end(), {0xA1, 0x01});
  Bytes tooLong = descriptors::rivalConfiguration;
  tooLong.resize(4097, 0x00);
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {{}, "empty descriptor"},
      {{0x09}, "truncated item at byte 0"},
      {{0x05, 0x01, 0x0B, 0x06, 0x00, 0x01}, "truncated item at byte 2"},  // four data bytes promised, three left
      {{0xFE, 0x10, 0x00, 0x01}, "truncated long item at byte 0"},
      {{0xFE, 0x00}, "truncated long item at byte 0"},
      {{0xC0}, "end of a collection that was never opened at byte 0"},
      {{0xA1, 0x01, 0xC0, 0xC0}, "end of a collection that was never opened at byte 3"},
      {{0x09, 0x06, 0xA1, 0x01}, "unbalanced collection at the end"},
      {deep, "collections nested too deep at byte 64"},
      {{0xA4, 0xA4, 0xA4, 0xA4, 0xA4}, "global stack overflow at byte 4"},
      {{0xB4}, "global stack underflow at byte 0"},
      {{0x85, 0x00, 0xA1, 0x01, 0xC0}, "report ID 0 at byte 0"},
      {{0x86, 0x00, 0x01, 0xA1, 0x01, 0xC0}, "report ID 256 at byte 0"},
      {{0x05, 0x01, 0x09, 0x06}, "no collection"},
      {tooLong, "descriptor longer than 4096 bytes"},
  };
  for (const auto& [bytes, reason] : cases) {
    const auto parsed = parseReportDescriptor(bytes);
    ASSERT_FALSE(parsed) << reason;
    EXPECT_EQ(parsed.error(), reason);
  }
  // 4096 bytes is still within the limit.
  Bytes longest = descriptors::rivalConfiguration;
  longest.insert(longest.end(), 4096 - longest.size(), 0xB0);  // Feature items without data
  EXPECT_TRUE(parseReportDescriptor(longest));
}

}  // namespace
}  // namespace tandemo::linux_platform
