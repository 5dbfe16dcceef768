#include "hid/HidPlatform.h"

#include <cstdio>

namespace tandemo {

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
  char text[32];
  std::snprintf(text, sizeof text, "IOKit error 0x%08x", static_cast<unsigned>(code));
  return text;
}

}  // namespace tandemo
