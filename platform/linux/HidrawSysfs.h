#pragma once

// Finding the mouse's hidraw nodes in sysfs without the udev database: the HID id comes from the
// hid device's uevent, the descriptor from its report_descriptor file, the device nodes from
// the kernel's DEVNAME, and the evdev nodes of an interface from its input/inputN/eventM
// children. Both roots are injectable so that a fake tree can stand in for /sys and /dev.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "linux/ReportDescriptor.h"

namespace tandemo::linux_platform {

struct HidId {
  std::uint16_t bus = 0;
  std::uint32_t vendor = 0;
  std::uint32_t product = 0;
  bool operator==(const HidId&) const = default;
};

inline constexpr std::uint16_t kBusUsb = 0x0003;

// "0003:00001038:0000170E" (bus:vendor:product in hexadecimal); nothing when malformed.
std::optional<HidId> parseHidId(std::string_view text);
// The value of KEY=value in a uevent file's text; nothing when the key is missing.
std::optional<std::string> ueventValue(std::string_view uevent, std::string_view key);

enum class InterfaceRole { configuration, keyboard, pointer, other, unreadable };

// configuration (page 0xFFC0), keyboard (page 1 usage 6), pointer (page 1 usage 2) or other.
InterfaceRole roleOf(const ReportDescriptorInfo& descriptor);
// Only these two are ever presented, opened or grabbed.
inline bool presented(InterfaceRole role) {
  return role == InterfaceRole::configuration || role == InterfaceRole::keyboard;
}
const char* roleName(InterfaceRole role);

// One hidraw node of a Rival 500 as sysfs describes it.
struct HidrawNode {
  std::string sysname;             // "hidraw3"
  std::filesystem::path hidDevice; // the hid device's sysfs folder: the interface's identity
  std::filesystem::path devNode;   // "/dev/hidraw3"
  std::vector<std::filesystem::path> inputNodes;  // "/dev/input/event5", ... of the same interface
  InterfaceRole role = InterfaceRole::unreadable;
  std::optional<ReportDescriptorInfo> descriptor;
  std::string problem;             // why the descriptor is unusable
};

class HidrawSysfs {
 public:
  HidrawSysfs(std::filesystem::path sysfsRoot, std::filesystem::path devRoot);

  // Names of every hidraw node, in the kernel's numbering order.
  std::vector<std::string> hidrawNames() const;
  // The node, when it belongs to a Rival 500 (bus USB, vendor 0x1038, product 0x170E).
  std::optional<HidrawNode> inspect(const std::string& sysname) const;
  // Every Rival 500 node, in numbering order.
  std::vector<HidrawNode> scan() const;
  // The evdev nodes the kernel made for the hid device, read afresh.
  std::vector<std::filesystem::path> inputNodes(const std::filesystem::path& hidDevice) const;

 private:
  std::filesystem::path devNodeOf(const std::filesystem::path& sysfsDir, const std::string& fallback) const;

  std::filesystem::path sysfs_;
  std::filesystem::path dev_;
};

}  // namespace tandemo::linux_platform
