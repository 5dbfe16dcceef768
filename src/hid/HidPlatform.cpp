#include "hid/HidPlatform.h"

#include <cstdio>
#include <system_error>

namespace tandemo {
namespace {

// Outside IOKit's own code space (0xE0000000 to 0xE0003FFF); the low 16 bits hold errno.
constexpr IOReturn kSystemErrorBase = 0xE5000000;
constexpr IOReturn kSystemErrorMask = 0xFFFF0000;

}  // namespace

IOReturn systemErrorCode(int errnoValue) {
  if (errnoValue <= 0 || errnoValue > 0xFFFF) return kIOReturnError;
  return kSystemErrorBase | static_cast<IOReturn>(errnoValue);
}

std::optional<int> systemErrno(IOReturn code) {
  if ((code & kSystemErrorMask) != kSystemErrorBase || (code & 0xFFFF) == 0) return std::nullopt;
  return static_cast<int>(code & 0xFFFF);
}

std::string describe(IOReturn code) {
  switch (code) {
    case kIOReturnNotPermitted:
    case kIOReturnNotPrivileged:
      return "not permitted";
    case kIOReturnExclusiveAccess:
      return "another program has the mouse open exclusively";
    case kIOReturnNotOpen:
      return "device not open";
    case kIOReturnBadArgument:
      return "bad argument";
    default:
      break;
  }
  if (const auto error = systemErrno(code)) return std::generic_category().message(*error);
  char text[32];
  std::snprintf(text, sizeof text, "HID error 0x%08x", static_cast<unsigned>(code));
  return text;
}

}  // namespace tandemo
