#pragma once

// The byte-level rules of hidraw, kept apart from the descriptors so they can be checked alone:
// errno to the link's return codes, and the report number in front of every report.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "hid/HidPlatform.h"

namespace tandemo::linux_platform {

// EACCES/EPERM: not permitted; EBUSY: another holder; ENODEV/ENOENT: not open; any other
// errno travels as itself (systemErrorCode) so that its text reaches the log.
IOReturn ioReturnFromErrno(int errnoValue);

// What write() and HIDIOCSFEATURE take: the report number, 0 for an unnumbered report, then the
// report's data. Absent when the number does not fit in the byte.
std::optional<std::vector<std::uint8_t>> framedReport(std::uint32_t reportID, std::span<const std::uint8_t> data);

// The report ID of an input report as read() returns it: its first byte when the descriptor
// numbers its reports, else 0. The bytes themselves are handed on whole.
std::uint32_t inputReportID(std::span<const std::uint8_t> report, bool numbered);

}  // namespace tandemo::linux_platform
