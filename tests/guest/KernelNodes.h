#pragma once

// Finding what the kernel made of a uhid device (its hidraw and event nodes, read through sysfs
// and devtmpfs as a program without udevd sees them) and reading key events back from evdev.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tandemo::guest {

using std::chrono::milliseconds;

struct HidNodes {
  std::string hidraw;                // /dev/hidrawN
  std::optional<std::string> event;  // /dev/input/eventN, when the kernel made an input device
};

// The HID device whose uevent says HID_PHYS=`phys`, once its nodes exist (and its event node,
// when `withEvent`); absent after `limit`.
std::optional<HidNodes> waitForHidDevice(const std::string& phys, bool withEvent, milliseconds limit);
// The first /dev/input/eventN whose device name starts with `prefix`, waiting at most `limit`.
std::optional<std::string> waitForEventNodeNamed(const std::string& prefix, milliseconds limit);

struct KeyChange {
  std::uint16_t code = 0;
  std::int32_t value = 0;  // 1 down, 0 up, 2 repeat
  bool operator==(const KeyChange&) const = default;
};

// An evdev node opened for reading, closed on destruction.
class EventReader {
 public:
  explicit EventReader(const std::string& node);
  ~EventReader();
  EventReader(const EventReader&) = delete;
  EventReader& operator=(const EventReader&) = delete;

  bool grab(bool on);  // EVIOCGRAB
  // Key changes (no repeats) until `count` have arrived or `limit` has passed.
  std::vector<KeyChange> keys(std::size_t count, milliseconds limit);
  // Whether nothing at all arrives within `window`.
  bool silentFor(milliseconds window);

 private:
  int fd_ = -1;
};

}  // namespace tandemo::guest
