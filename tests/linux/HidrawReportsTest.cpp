#include <gtest/gtest.h>

#include <cerrno>

#include "linux/HidrawReports.h"

namespace tandemo::linux_platform {
namespace {

// The link's messages show these texts: "Could not take over the extra buttons: " + text.
TEST(HidrawErrors, ErrnoMapsOntoTheLinkCodesOrTravelsWithTheSystemsText) {
  const std::tuple<int, IOReturn, std::string> cases[] = {
      {EACCES, kIOReturnNotPermitted, "not permitted"},
      {EPERM, kIOReturnNotPermitted, "not permitted"},
      {EBUSY, kIOReturnExclusiveAccess, "another program has the mouse open exclusively"},
      {ENODEV, kIOReturnNotOpen, "device not open"},
      {ENOENT, kIOReturnNotOpen, "device not open"},
      {EIO, systemErrorCode(EIO), "Input/output error"},
      {ENOTTY, systemErrorCode(ENOTTY), "Inappropriate ioctl for device"},
      {ETIMEDOUT, systemErrorCode(ETIMEDOUT), "Connection timed out"},
      {EPIPE, systemErrorCode(EPIPE), "Broken pipe"},
  };
  for (const auto& [error, code, text] : cases) {
    EXPECT_EQ(ioReturnFromErrno(error), code) << error;
    EXPECT_EQ(describe(ioReturnFromErrno(error)), text) << error;
  }
  // System codes never collide with IOKit's own, which keep their hexadecimal text.
  EXPECT_EQ(systemErrno(systemErrorCode(EIO)), EIO);
  EXPECT_EQ(systemErrno(0xE00002C7), std::nullopt);
  EXPECT_EQ(describe(0xE00002C7), "HID error 0xe00002c7");
  EXPECT_EQ(systemErrorCode(0), kIOReturnError);
  EXPECT_EQ(systemErrorCode(-5), kIOReturnError);
  EXPECT_EQ(systemErrno(0xE5000000), std::nullopt);
}

TEST(HidrawReports, ReportNumberGoesFirstAndComesBackFromNumberedInputs) {
  using Bytes = std::vector<std::uint8_t>;
  EXPECT_EQ(framedReport(256, Bytes{0x05}), std::nullopt);  // what goes out on a kernel: the guest's
  const Bytes keyboard = {0x01, 0x00, 0x00, 0x6E, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(inputReportID(keyboard, /*numbered=*/true), 1u);
  EXPECT_EQ(inputReportID(keyboard, /*numbered=*/false), 0u);
  EXPECT_EQ(inputReportID(Bytes{}, /*numbered=*/true), 0u);
}

}  // namespace
}  // namespace tandemo::linux_platform
