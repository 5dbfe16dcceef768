#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/MainLoop.h"
#include "device/Rival500.h"
#include "hid/HidPlatform.h"

namespace tandemo::sim {

// A light effect as the mouse holds it: decoded from the light packet, not from the stops.
struct LightEffect {
  struct Segment {
    std::int64_t ms = 0;
    std::int8_t dr = 0;  // change per millisecond in sixteenths
    std::int8_t dg = 0;
    std::int8_t db = 0;
    bool operator==(const Segment&) const = default;
  };
  std::uint8_t red = 0;  // start colour
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  std::vector<Segment> segments;
  std::int64_t durationMs = 0;
  bool operator==(const LightEffect&) const = default;
};

// What the firmware is programmed to do, every control included.
struct MouseSettings {
  std::int64_t dpi1 = 0;
  std::int64_t dpi2 = 0;
  std::int64_t pollingHz = 0;
  Rival500::ButtonMap<Rival500::Assignment> assignments;
  LightEffect logo;
  LightEffect wheel;
  bool operator==(const MouseSettings&) const = default;
};

// One SetReport that reached the mouse, with the code it answered.
struct ReceivedReport {
  HidReportType type = HidReportType::output;
  std::uint32_t reportID = 0;
  std::vector<std::uint8_t> bytes;
  IOReturn answer = kIOReturnSuccess;
  bool operator==(const ReceivedReport&) const = default;
};

// Something a control did that never shows on the keyboard interface: a click, a scroll, a DPI flip.
struct NativeAction {
  Rival500::Button button = Rival500::Button::button1;
  Rival500::Assignment assignment;
  bool down = false;
  bool operator==(const NativeAction&) const = default;
};

// A keyboard-interface report that went to the system because the interface was not seized.
struct SystemReport {
  std::uint32_t reportID = 0;
  std::vector<std::uint8_t> bytes;
  bool operator==(const SystemReport&) const = default;
};

// A simulated Rival 500 behind a HID manager: two interfaces, a firmware that decodes every
// packet into its settings, an onboard memory, a firmware answer and controls that can be
// pressed. Callbacks and input reports arrive through the loop, as the system would deliver them.
class VirtualRival500 final : public HidManager {
 public:
  struct Core;

  explicit VirtualRival500(MainLoop& loop, bool pluggedIn = true);
  ~VirtualRival500() override;
  VirtualRival500(const VirtualRival500&) = delete;
  VirtualRival500& operator=(const VirtualRival500&) = delete;

  // ---- HidManager ----
  void setCallbacks(DeviceCallback added, DeviceCallback removed) override;
  std::vector<std::shared_ptr<HidDevice>> presentDevices() override;
  bool inputMonitoringGranted() override;
  void requestInputMonitoring() override;

  // ---- the cable ----
  // Removal takes effect at once (SetReport answers kIOReturnNoDevice); the callbacks follow on
  // the loop. Plugging in makes new interfaces, and the mouse starts from its onboard memory.
  void unplug();
  void plugIn();
  bool pluggedIn() const;
  // Reports the arrival or removal of another interface (of another mouse, say) as if it matched.
  void announce(std::shared_ptr<HidDevice> device, bool arrival);
  std::shared_ptr<HidDevice> configurationInterface() const;
  std::shared_ptr<HidDevice> keyboardInterface() const;

  // ---- scripting ----
  void setInputMonitoringGranted(bool granted);
  int inputMonitoringRequests() const;
  // The code open(seize = true) answers; absent: success, or not permitted without Input Monitoring.
  void setSeizeResult(std::optional<IOReturn> code);
  void setConfigurationOpenResult(IOReturn code);
  // The keyboard interface's "PrimaryUsagePage" (1 unless set; absent: it has none).
  void setKeyboardUsagePage(std::optional<std::int64_t> page);
  // A report of the test's own on the keyboard interface, delivered like the mouse's.
  void sendKeyboardReport(std::uint32_t reportID, std::vector<std::uint8_t> bytes);
  // The firmware answers the query with {version, 0}: 107 reads as "1.07".
  void setFirmwareVersion(std::uint8_t version);
  // The whole answer report; absent: the query is never answered.
  void setFirmwareAnswer(std::optional<std::vector<std::uint8_t>> report);
  // Refuses the nth report from now on (1 = the next one) with `code`, without applying it.
  void refuseReport(std::size_t nth, IOReturn code);

  // ---- the controls ----
  // Sends what the programmed assignment makes the mouse send; ignored while unplugged.
  void press(Rival500::Button button);
  void release(Rival500::Button button);

  // ---- observation ----
  MouseSettings settings() const;
  MouseSettings storedSettings() const;  // the copy in onboard memory
  int saveCount() const;
  int firmwareQueries() const;
  int activeDpiPreset() const;  // 1 or 2; flipped by a control assigned dpiSwitch
  std::vector<ReceivedReport> reports() const;
  std::vector<std::string> violations() const;  // malformed reports, one line each
  std::vector<NativeAction> nativeActions() const;
  std::vector<SystemReport> systemReports() const;
  bool keyboardSeized() const;

  // The settings of a mouse as shipped.
  static MouseSettings factorySettings();

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace tandemo::sim
