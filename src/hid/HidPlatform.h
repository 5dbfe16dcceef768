#pragma once

// What the HID link needs from the system's HID services, in the link's own terms: devices
// matching the mouse, their "PrimaryUsagePage" property, shared or exclusive opening, input
// reports and SetReport. A backend maps its native errors onto the return codes below
// (for example EACCES/EPERM to kIOReturnNotPermitted, EBUSY to kIOReturnExclusiveAccess) and
// passes any other system error on through systemErrorCode().

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tandemo {

using IOReturn = std::uint32_t;
inline constexpr IOReturn kIOReturnSuccess = 0;
inline constexpr IOReturn kIOReturnNotPermitted = 0xE00002E2;
inline constexpr IOReturn kIOReturnNotPrivileged = 0xE00002C1;
inline constexpr IOReturn kIOReturnExclusiveAccess = 0xE00002C5;
inline constexpr IOReturn kIOReturnNotOpen = 0xE00002CD;
inline constexpr IOReturn kIOReturnBadArgument = 0xE00002C2;
inline constexpr IOReturn kIOReturnNoDevice = 0xE00002C0;
inline constexpr IOReturn kIOReturnError = 0xE00002BC;

// A system error number (errno) travelling as a return code, so that describe() shows the
// system's own text for it ("Input/output error").
IOReturn systemErrorCode(int errnoValue);
std::optional<int> systemErrno(IOReturn code);

// "not permitted", "device not open", ..., a system error's text, or "HID error 0x%08x".
std::string describe(IOReturn code);

inline constexpr std::uint16_t kRival500VendorID = 0x1038;
inline constexpr std::uint16_t kRival500ProductID = 0x170E;
inline constexpr std::int64_t kConfigurationUsagePage = 0xFFC0;
inline constexpr std::size_t kMaxInputReportLength = 64;

// HID report types in the system's numbering.
enum class HidReportType : std::uint32_t { input = 0, output = 1, feature = 2 };

// One HID interface of the mouse. Identity is the object's address.
class HidDevice {
 public:
  using InputHandler = std::function<void(std::uint32_t reportID, std::span<const std::uint8_t> bytes)>;

  virtual ~HidDevice() = default;

  // The "PrimaryUsagePage" property; absent when the device has none or it is not an integer.
  virtual std::optional<std::int64_t> primaryUsagePage() const = 0;
  virtual IOReturn open(bool seize) = 0;
  virtual void close(bool seize) = 0;
  // Starts (handler set) or stops (empty handler) delivery of input reports on the main loop.
  // The bytes passed to the handler are the whole report as the system delivers it.
  virtual void setInputHandler(InputHandler handler) = 0;
  // Called from the write queue's thread; must be safe against a concurrent removal.
  virtual IOReturn setReport(HidReportType type, std::uint32_t reportID, std::span<const std::uint8_t> bytes) = 0;
};

// Finds the interfaces of the Rival 500 (vendor 0x1038, product 0x170E, usage page 0xFFC0 or
// usage page 1 / usage 6) and reports arrivals and removals on the main loop.
class HidManager {
 public:
  using DeviceCallback = std::function<void(const std::shared_ptr<HidDevice>&)>;

  virtual ~HidManager() = default;

  virtual void setCallbacks(DeviceCallback added, DeviceCallback removed) = 0;
  virtual std::vector<std::shared_ptr<HidDevice>> presentDevices() = 0;

  // Input Monitoring: may this program read input devices exclusively?
  virtual bool inputMonitoringGranted() = 0;
  virtual void requestInputMonitoring() = 0;
};

}  // namespace tandemo
