#include "linux/HidrawReports.h"

#include <cerrno>

namespace tandemo::linux_platform {

IOReturn ioReturnFromErrno(int errnoValue) {
  switch (errnoValue) {
    case EACCES:
    case EPERM:
      return kIOReturnNotPermitted;
    case EBUSY:
      return kIOReturnExclusiveAccess;
    case ENODEV:
    case ENOENT:
      return kIOReturnNotOpen;
    default:
      return systemErrorCode(errnoValue);
  }
}

std::optional<std::vector<std::uint8_t>> framedReport(std::uint32_t reportID, std::span<const std::uint8_t> data) {
  if (reportID > 0xFF) return std::nullopt;
  std::vector<std::uint8_t> framed;
  framed.reserve(data.size() + 1);
  framed.push_back(static_cast<std::uint8_t>(reportID));
  framed.insert(framed.end(), data.begin(), data.end());
  return framed;
}

std::uint32_t inputReportID(std::span<const std::uint8_t> report, bool numbered) {
  return numbered && !report.empty() ? report.front() : 0;
}

}  // namespace tandemo::linux_platform
