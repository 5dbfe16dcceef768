#pragma once

// A minimal HID manager with the mouse's two interfaces, enough to drive the controller through
// a real HIDLink: it records SetReports, can refuse them, answers the firmware query and lets
// the test deliver keyboard reports.

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/MainLoop.h"
#include "hid/HidPlatform.h"

namespace tandemo::fake {

class FakeMouse;

class FakeInterface final : public HidDevice, public std::enable_shared_from_this<FakeInterface> {
 public:
  FakeInterface(FakeMouse& mouse, std::optional<std::int64_t> page) : mouse_(mouse), page_(page) {}

  std::optional<std::int64_t> primaryUsagePage() const override { return page_; }
  IOReturn open(bool seize) override;
  void close(bool seize) override {
    if (seize) seized_ = false;
  }
  void setInputHandler(InputHandler handler) override { handler_ = std::move(handler); }
  IOReturn setReport(HidReportType type, std::uint32_t reportID, std::span<const std::uint8_t> bytes) override;

  // An input report as the system delivers it (main loop).
  void deliver(std::uint32_t reportID, std::vector<std::uint8_t> bytes) {
    if (handler_) handler_(reportID, bytes);
  }
  bool seized() const { return seized_; }

 private:
  FakeMouse& mouse_;
  std::optional<std::int64_t> page_;
  InputHandler handler_;
  bool seized_ = false;
};

class FakeMouse final : public HidManager {
 public:
  FakeMouse(MainLoop& loop, bool pluggedIn) : loop_(loop) {
    if (pluggedIn) makeInterfaces();
  }

  void setCallbacks(DeviceCallback added, DeviceCallback removed) override {
    added_ = std::move(added);
    removed_ = std::move(removed);
  }
  std::vector<std::shared_ptr<HidDevice>> presentDevices() override {
    if (!vendor_) return {};
    return {vendor_, keyboard_};
  }
  bool inputMonitoringGranted() override { return inputMonitoring_; }
  void requestInputMonitoring() override { ++inputMonitoringRequests_; }

  void plugIn() {
    makeInterfaces();
    if (added_) {
      added_(vendor_);
      added_(keyboard_);
    }
  }
  void unplug() {
    auto vendor = std::exchange(vendor_, nullptr);
    auto keyboard = std::exchange(keyboard_, nullptr);
    if (removed_) {
      removed_(vendor);
      removed_(keyboard);
    }
  }

  FakeInterface& vendor() { return *vendor_; }
  FakeInterface& keyboard() { return *keyboard_; }
  MainLoop& loop() { return loop_; }

  void setInputMonitoring(bool granted) { inputMonitoring_ = granted; }
  // What opening the keyboard interface exclusively answers; absent: decided by Input Monitoring.
  void refuseSeize(std::optional<IOReturn> code) { seizeRefusal_ = code; }
  std::optional<IOReturn> seizeRefusal() const { return seizeRefusal_; }
  int inputMonitoringRequests() const { return inputMonitoringRequests_; }

  // Firmware answer report; absent: the query goes unanswered.
  void answerFirmware(std::optional<std::vector<std::uint8_t>> answer) {
    std::lock_guard lock(mutex_);
    firmwareAnswer_ = std::move(answer);
  }
  std::optional<std::vector<std::uint8_t>> firmwareAnswer() const {
    std::lock_guard lock(mutex_);
    return firmwareAnswer_;
  }
  // Refuses every SetReport from now on with `code` (success: accept again).
  void refuseWith(IOReturn code) {
    std::lock_guard lock(mutex_);
    refusal_ = code;
  }
  // Command bytes (first data byte) of the reports that reached the mouse, in order.
  std::vector<std::uint8_t> commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
  }
  void clearCommands() {
    std::lock_guard lock(mutex_);
    commands_.clear();
  }
  IOReturn recordReport(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    if (refusal_ != kIOReturnSuccess) return refusal_;
    commands_.push_back(bytes.empty() ? 0 : bytes[0]);
    return kIOReturnSuccess;
  }

 private:
  void makeInterfaces() {
    vendor_ = std::make_shared<FakeInterface>(*this, kConfigurationUsagePage);
    keyboard_ = std::make_shared<FakeInterface>(*this, 1);
  }

  MainLoop& loop_;
  DeviceCallback added_;
  DeviceCallback removed_;
  std::shared_ptr<FakeInterface> vendor_;
  std::shared_ptr<FakeInterface> keyboard_;
  bool inputMonitoring_ = true;
  std::optional<IOReturn> seizeRefusal_;
  int inputMonitoringRequests_ = 0;
  mutable std::mutex mutex_;
  std::optional<std::vector<std::uint8_t>> firmwareAnswer_ = std::vector<std::uint8_t>{107, 0};
  IOReturn refusal_ = kIOReturnSuccess;
  std::vector<std::uint8_t> commands_;
};

inline IOReturn FakeInterface::open(bool seize) {
  if (!seize) return kIOReturnSuccess;
  if (auto refusal = mouse_.seizeRefusal()) return *refusal;
  if (!mouse_.inputMonitoringGranted()) return kIOReturnNotPermitted;
  seized_ = true;
  return kIOReturnSuccess;
}

// Runs on the link's write queue; the firmware answer comes back through the loop.
inline IOReturn FakeInterface::setReport(HidReportType, std::uint32_t, std::span<const std::uint8_t> bytes) {
  const IOReturn code = mouse_.recordReport(bytes);
  if (code == kIOReturnSuccess && !bytes.empty() && bytes[0] == 0x10) {
    if (auto answer = mouse_.firmwareAnswer()) {
      mouse_.loop().post([self = weak_from_this(), report = *answer] {
        if (auto device = self.lock()) device->deliver(0, report);
      });
    }
  }
  return code;
}

}  // namespace tandemo::fake
