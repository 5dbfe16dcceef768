// Report descriptors come from the device: the parser must never crash, hang or read past the
// bytes, and whatever it accepts must be whole items with every collection closed.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "linux/ReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tandemo::linux_platform::parseReportDescriptor;
  // An exact-size copy, so that AddressSanitizer catches a read one byte past the end.
  const std::vector<std::uint8_t> bytes(data, data + size);
  const auto parsed = parseReportDescriptor(bytes);
  if (!parsed) return 0;
  if (parsed->topLevel.empty() || bytes.size() > tandemo::linux_platform::kMaxReportDescriptorSize) std::abort();
  // Accepted means balanced: one more End Collection is always refused.
  std::vector<std::uint8_t> extended = bytes;
  extended.push_back(0xC0);
  if (parseReportDescriptor(extended)) std::abort();
  return 0;
}
