#pragma once

// Scripted stand-ins for the system's HID services: devices record what the link does to them
// and refuse what the test tells them to; the manager injects arrivals and removals.

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/MainLoop.h"
#include "hid/HidPlatform.h"

namespace tandemo::fake {

struct SentReport {
  HidReportType type;
  std::uint32_t reportID;
  std::vector<std::uint8_t> bytes;
  MainLoop::Duration at;  // loop time since the device was made
  bool operator==(const SentReport&) const = default;
};

class FakeHidDevice final : public HidDevice {
 public:
  FakeHidDevice(MainLoop& loop, std::optional<std::int64_t> usagePage)
      : loop_(loop), usagePage_(usagePage), born_(loop.now()) {}

  // ---- script ----
  std::deque<IOReturn> openCodes;           // consumed one per open(); success when empty
  std::map<std::size_t, IOReturn> refusals;  // setReport attempt index (0-based) -> code

  // ---- record (main thread) ----
  std::vector<bool> opens;   // seize flag of every open()
  std::vector<bool> closes;  // seize flag of every close()
  bool hasHandler() const { return static_cast<bool>(handler_); }

  // Delivers an input report as the system would, if the link listens.
  void input(std::uint32_t reportID, std::vector<std::uint8_t> bytes) {
    if (handler_) handler_(reportID, bytes);
  }
  // Like a real interface once unplugged: every later report is refused.
  void unplug() {
    std::lock_guard lock(mutex_);
    unplugged_ = true;
  }

  // ---- written from the write queue, read from the test ----
  std::vector<SentReport> sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
  }
  void waitForAttempts(std::size_t count) const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return sent_.size() >= count; });
  }

  std::optional<std::int64_t> primaryUsagePage() const override { return usagePage_; }
  IOReturn open(bool seize) override {
    opens.push_back(seize);
    if (openCodes.empty()) return kIOReturnSuccess;
    const IOReturn code = openCodes.front();
    openCodes.pop_front();
    return code;
  }
  void close(bool seize) override { closes.push_back(seize); }
  void setInputHandler(InputHandler handler) override { handler_ = std::move(handler); }
  IOReturn setReport(HidReportType type, std::uint32_t reportID, std::span<const std::uint8_t> bytes) override {
    std::lock_guard lock(mutex_);
    const std::size_t index = sent_.size();
    sent_.push_back({type, reportID, {bytes.begin(), bytes.end()}, loop_.now() - born_});
    changed_.notify_all();
    if (unplugged_) return kIOReturnNoDevice;
    const auto refusal = refusals.find(index);
    return refusal == refusals.end() ? kIOReturnSuccess : refusal->second;
  }

 private:
  MainLoop& loop_;
  std::optional<std::int64_t> usagePage_;
  MainLoop::TimePoint born_;
  InputHandler handler_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<SentReport> sent_;
  bool unplugged_ = false;
};

class FakeHidManager final : public HidManager {
 public:
  std::vector<std::shared_ptr<HidDevice>> devices;
  bool granted = true;
  int accessRequests = 0;

  void plugIn(const std::shared_ptr<HidDevice>& device) {
    devices.push_back(device);
    if (added_) added_(device);
  }
  void unplug(const std::shared_ptr<HidDevice>& device) {
    std::erase(devices, device);
    if (auto* fake = dynamic_cast<FakeHidDevice*>(device.get())) fake->unplug();
    if (removed_) removed_(device);
  }
  bool listening() const { return added_ && removed_; }

  void setCallbacks(DeviceCallback added, DeviceCallback removed) override {
    added_ = std::move(added);
    removed_ = std::move(removed);
  }
  std::vector<std::shared_ptr<HidDevice>> presentDevices() override { return devices; }
  bool inputMonitoringGranted() override { return granted; }
  void requestInputMonitoring() override { ++accessRequests; }

 private:
  DeviceCallback added_;
  DeviceCallback removed_;
};

}  // namespace tandemo::fake
