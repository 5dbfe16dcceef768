#include "KernelNodes.h"

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace tandemo::guest {
namespace fs = std::filesystem;
namespace {

using Clock = std::chrono::steady_clock;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The nodes appear some 80-100 ms after UHID_START, and devtmpfs may lag behind sysfs: polling
// the file system is all a program without udevd can do.
constexpr milliseconds pollStep{10};

std::optional<std::string> firstEntry(const fs::path& folder, const std::string& prefix) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) return name;
  }
  return std::nullopt;
}

std::optional<HidNodes> findHidDevice(const std::string& phys, bool withEvent) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/sys/bus/hid/devices", error)) {
    if (readFile(entry.path() / "uevent").find("HID_PHYS=" + phys + "\n") == std::string::npos) continue;
    auto hidraw = firstEntry(entry.path() / "hidraw", "hidraw");
    if (!hidraw || !fs::exists("/dev/" + *hidraw)) return std::nullopt;
    HidNodes nodes{"/dev/" + *hidraw, std::nullopt};
    if (auto input = firstEntry(entry.path() / "input", "input")) {
      if (auto event = firstEntry(entry.path() / "input" / *input, "event")) {
        if (fs::exists("/dev/input/" + *event)) nodes.event = "/dev/input/" + *event;
      }
    }
    if (withEvent && !nodes.event) return std::nullopt;
    return nodes;
  }
  return std::nullopt;
}

template <class Probe>
auto pollFor(Probe probe, milliseconds limit) -> decltype(probe()) {
  const auto deadline = Clock::now() + limit;
  while (true) {
    auto found = probe();
    if (found || Clock::now() >= deadline) return found;
    std::this_thread::sleep_for(pollStep);
  }
}

}  // namespace

std::optional<HidNodes> waitForHidDevice(const std::string& phys, bool withEvent, milliseconds limit) {
  return pollFor([&] { return findHidDevice(phys, withEvent); }, limit);
}

std::optional<std::string> waitForEventNodeNamed(const std::string& prefix, milliseconds limit) {
  return pollFor(
      [&]() -> std::optional<std::string> {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator("/sys/class/input", error)) {
          const std::string name = entry.path().filename().string();
          if (name.rfind("event", 0) != 0) continue;
          if (readFile(entry.path() / "device" / "name").rfind(prefix, 0) != 0) continue;
          if (fs::exists("/dev/input/" + name)) return "/dev/input/" + name;
        }
        return std::nullopt;
      },
      limit);
}

EventReader::EventReader(const std::string& node) : fd_(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
  if (fd_ < 0) throw std::runtime_error("open " + node + ": " + std::strerror(errno));
}

EventReader::~EventReader() { ::close(fd_); }

bool EventReader::grab(bool on) { return ::ioctl(fd_, EVIOCGRAB, on ? 1 : 0) == 0; }

std::vector<KeyChange> EventReader::keys(std::size_t count, milliseconds limit) {
  std::vector<KeyChange> changes;
  const auto deadline = Clock::now() + limit;
  while (changes.size() < count) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    pollfd entry{fd_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
    input_event event{};
    while (::read(fd_, &event, sizeof event) == static_cast<ssize_t>(sizeof event)) {
      if (event.type == EV_KEY && event.value != 2) changes.push_back({event.code, event.value});
    }
  }
  return changes;
}

bool EventReader::silentFor(milliseconds window) {
  pollfd entry{fd_, POLLIN, 0};
  return ::poll(&entry, 1, static_cast<int>(window.count())) == 0;
}

}  // namespace tandemo::guest
