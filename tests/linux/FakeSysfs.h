#pragma once

// A sysfs and /dev laid out as the kernel lays them out for hidraw and evdev, in a temporary
// folder: class/hidraw/hidrawN links to the hidraw folder under the hid device, whose
// `device` link leads back to the hid device with its uevent (HID_ID), report_descriptor and
// input/inputN/eventM children. Device nodes are plain files (or FIFOs) under dev/.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tandemo::linux_platform {

class FakeSysfs {
 public:
  FakeSysfs() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tandemo-sysfs-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    std::filesystem::create_directories(sysfs() / "class" / "hidraw");
    std::filesystem::create_directories(dev() / "input");
  }
  ~FakeSysfs() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  std::filesystem::path sysfs() const { return root_ / "sys"; }
  std::filesystem::path dev() const { return root_ / "dev"; }

  // One hid device ("0003:1038:170E.0004") with its hidraw node and evdev nodes; returns its folder.
  std::filesystem::path add(const std::string& hidraw, const std::string& hidDevice, const std::string& hidId,
                            const std::vector<std::uint8_t>& descriptor, const std::vector<int>& events = {}) {
    const auto device = sysfs() / "devices" / "pci0000:00" / "usb1" / "1-1:1.0" / hidDevice;
    const auto node = device / "hidraw" / hidraw;
    std::filesystem::create_directories(node);
    write(device / "uevent", "DRIVER=hid-generic\nHID_ID=" + hidId + "\nHID_NAME=SteelSeries Rival 500\n");
    write(device / "report_descriptor", std::string(descriptor.begin(), descriptor.end()));
    write(node / "uevent", "MAJOR=244\nMINOR=0\nDEVNAME=" + hidraw + "\n");
    std::filesystem::create_directory_symlink("../..", node / "device");
    std::filesystem::create_directory_symlink(std::filesystem::relative(node, sysfs() / "class" / "hidraw"),
                                              sysfs() / "class" / "hidraw" / hidraw);
    write(dev() / hidraw, "");
    int input = 10;
    for (int event : events) {
      const auto eventDir = device / "input" / ("input" + std::to_string(input++)) / ("event" + std::to_string(event));
      std::filesystem::create_directories(eventDir);
      write(eventDir / "uevent", "MAJOR=13\nDEVNAME=input/event" + std::to_string(event) + "\n");
      write(dev() / "input" / ("event" + std::to_string(event)), "");
    }
    return device;
  }

  // The kernel took the node away: its class link goes (the hid device may stay a moment longer).
  void unlink(const std::string& hidraw) { std::filesystem::remove(sysfs() / "class" / "hidraw" / hidraw); }

  static void write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

 private:
  std::filesystem::path root_;
};

}  // namespace tandemo::linux_platform
