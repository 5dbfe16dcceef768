#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/MainLoop.h"
#include "hid/HidPlatform.h"
#include "linux/HidrawDevice.h"
#include "linux/HidrawSysfs.h"
#include "linux/UdevMonitor.h"

namespace tandemo::linux_platform {

struct HidrawOptions {
  std::filesystem::path sysfs = "/sys";
  std::filesystem::path dev = "/dev";
  std::string udevControl = "/run/udev/control";  // exists while udevd runs
  // Where Tandemo's udev rule may be installed; one of them present counts as installed.
  std::vector<std::filesystem::path> ruleFiles = {"/etc/udev/rules.d/70-tandemo.rules",
                                                  "/usr/local/lib/udev/rules.d/70-tandemo.rules",
                                                  "/usr/lib/udev/rules.d/70-tandemo.rules",
                                                  "/lib/udev/rules.d/70-tandemo.rules"};
  bool watchHotplug = true;   // false: only what uevent() is told (tests)
  std::optional<bool> root;   // whether to count as root; absent: the effective user id decides
};

// Input Monitoring on Linux: may this process open the mouse's hidraw and evdev nodes?
struct InputAccess {
  bool granted = false;
  std::string detail;  // "running as root", "cannot read /dev/input/event5", ...
};

// Whether another program holds the keyboard interface's evdev nodes with EVIOCGRAB.
enum class GrabProbe { free, heldElsewhere, heldHere, noKeyboard, notPermitted, failed };
struct GrabProbeResult {
  GrabProbe result = GrabProbe::noKeyboard;
  std::string detail;  // the node concerned, or the system's text
};

// The mouse's HID interfaces on Linux: hidraw nodes whose hid device has the Rival 500's HID id,
// found by a sysfs scan at start and by a udev monitor afterwards, classified by their report
// descriptors. Only the configuration and keyboard interfaces are presented; the pointer
// interface and unparseable ones never are. Main loop only.
class HidrawManager final : public HidManager {
 public:
  explicit HidrawManager(MainLoop& loop);
  HidrawManager(MainLoop& loop, HidrawOptions options);
  ~HidrawManager() override;
  HidrawManager(const HidrawManager&) = delete;
  HidrawManager& operator=(const HidrawManager&) = delete;

  void setCallbacks(DeviceCallback added, DeviceCallback removed) override;
  std::vector<std::shared_ptr<HidDevice>> presentDevices() override;
  bool inputMonitoringGranted() override { return inputAccess().granted; }
  // Nothing to ask on Linux: access comes from the udev rule (see the privacy page).
  void requestInputMonitoring() override {}

  // A hotplug event of a hidraw node, as the monitor reports it.
  void uevent(std::string_view action, const std::string& sysname);
  // Brings the presented devices in line with sysfs (after lost events).
  void rescan();

  // ---- for status ----
  // Every hidraw node of a Rival 500, presented or not, read afresh from sysfs.
  std::vector<HidrawNode> foundInterfaces() const;
  InputAccess inputAccess() const;
  // Grabs each evdev node of the keyboard interface and lets go at once: EBUSY means another
  // holder. Never keeps a grab; a key event in that instant goes to nobody.
  GrabProbeResult probeKeyboardGrab() const;
  // "udev" or "kernel"; absent when hotplug is not watched, with the reason in monitorProblem().
  std::optional<std::string> monitorSource() const;
  const std::string& monitorProblem() const { return monitorProblem_; }

 private:
  void add(HidrawNode node);
  void remove(const std::string& sysname);
  std::optional<HidrawNode> keyboardNode() const;
  bool isRoot() const;

  MainLoop& loop_;
  HidrawOptions options_;
  HidrawSysfs sysfs_;
  DeviceCallback added_;
  DeviceCallback removed_;
  std::vector<std::shared_ptr<HidrawDevice>> devices_;  // presented, in the order found
  std::unique_ptr<UdevMonitor> monitor_;
  std::string monitorProblem_;
};

}  // namespace tandemo::linux_platform
