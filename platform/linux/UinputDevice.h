#pragma once

// The virtual input device on /dev/uinput: created with exactly the keys, buttons and axes the
// event sink posts, under a name of its own so that Tandemo's readers skip it.

#include <cstdint>
#include <span>
#include <string>

namespace tandemo::linux_platform {

inline constexpr const char* kUinputDeviceName = "Tandemo virtual input";

// One evdev event; the kernel stamps the time.
struct InputEvent {
  std::uint16_t type = 0;
  std::uint16_t code = 0;
  std::int32_t value = 0;
  bool operator==(const InputEvent&) const = default;
};

class UinputDevice {
 public:
  UinputDevice() = default;
  ~UinputDevice() { close(); }
  UinputDevice(const UinputDevice&) = delete;
  UinputDevice& operator=(const UinputDevice&) = delete;

  // Opens `path` and creates the device. On failure returns the errno text and stays closed.
  [[nodiscard]] std::string create(const std::string& path);
  bool isOpen() const { return fd_ >= 0; }
  // Writes all events in one call; false (and closed when the device is gone) on failure.
  bool write(std::span<const InputEvent> events);
  void close();

  // Whether `path` can be opened for writing; creates nothing.
  static bool writable(const std::string& path);

 private:
  int fd_ = -1;
};

}  // namespace tandemo::linux_platform
