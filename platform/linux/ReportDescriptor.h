#pragma once

// What the backend needs to know from a HID report descriptor: the usage of each top-level
// collection (the first one classifies the interface) and whether reports are numbered. The
// bytes come from a device, so every length, nesting and stack depth is checked. No I/O.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/Expected.h"

namespace tandemo::linux_platform {

struct ReportDescriptorInfo {
  struct Collection {
    std::uint32_t usagePage = 0;
    std::uint32_t usage = 0;
    std::uint8_t type = 0;  // 0 physical, 1 application, ...
    bool operator==(const Collection&) const = default;
  };

  std::vector<Collection> topLevel;  // in descriptor order; never empty in a parsed result
  // Some Report ID item appears: every report then starts with its ID byte on hidraw.
  bool numbered = false;

  std::uint32_t primaryUsagePage() const { return topLevel.front().usagePage; }
  std::uint32_t primaryUsage() const { return topLevel.front().usage; }
};

// The kernel's limit for a report descriptor.
inline constexpr std::size_t kMaxReportDescriptorSize = 4096;

// Fails with a short reason ("truncated item at byte 12", "unbalanced collection", ...).
Expected<ReportDescriptorInfo, std::string> parseReportDescriptor(std::span<const std::uint8_t> bytes);

}  // namespace tandemo::linux_platform
