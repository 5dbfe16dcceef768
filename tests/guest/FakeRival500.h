#pragma once

// A Rival 500 made of uhid devices: the kernel sees three USB HID interfaces with the mouse's
// identity (bus 0003, 1038:170e) and report descriptors, and hidraw, evdev and udev treat them
// as real hardware. The firmware decodes what the host sends into the simulated mouse's state.

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sim/VirtualRival500.h"

namespace tandemo::guest {

enum class Interface { configuration, keyboard, pointer };

struct InterfaceInfo {
  Interface kind;
  std::string phys;  // HID_PHYS in the device's uevent: how a test tells the interfaces apart
  std::vector<std::uint8_t> descriptor;
};

// The three interfaces as the mouse presents them; the pointer interface is the one a
// configuration tool must leave alone.
const std::vector<InterfaceInfo>& rival500Interfaces();

// A packet's bytes as the link hands them to the system: output reports padded to 32 bytes.
std::vector<std::uint8_t> wireBytes(const Rival500::Packet& packet);

class FakeRival500 {
 public:
  using Clock = std::chrono::steady_clock;

  FakeRival500() = default;
  ~FakeRival500();
  FakeRival500(const FakeRival500&) = delete;
  FakeRival500& operator=(const FakeRival500&) = delete;

  // Creates the interfaces (each answers UHID_START before this returns) and starts the firmware
  // from its onboard memory. The hidraw and event nodes appear a little later: wait for them.
  void plugIn(bool withPointer = true);
  // Destroys the interfaces at once, the way pulling the cable does.
  void unplug();

  // ---- the firmware ----
  // Refuses the nth report from now on (1 = the next one): SetReport fails, an output report is
  // dropped. Either way nothing is applied.
  void refuseReport(std::size_t nth) { with([&] { refusals_.insert(received_ + nth); }); }
  void setFirmwareVersion(std::uint8_t version) { with([&] { firmwareVersion_ = version; }); }
  // Programs a control as a written button map would (for tests that bypass the host).
  void setAssignment(Rival500::Button button, const Rival500::Assignment& assignment) {
    with([&] { live_.assignments[button] = assignment; });
  }

  // ---- the controls: the reports the programmed assignments make the mouse send ----
  void press(Rival500::Button button);
  void release(Rival500::Button button);

  // ---- observation ----
  sim::MouseSettings settings() const { return locked(live_); }
  sim::MouseSettings storedSettings() const { return locked(stored_); }
  int saveCount() const { return locked(saves_); }
  int firmwareQueries() const { return locked(queries_); }
  // Reports as the firmware received them: framing removed, refused ones included.
  std::vector<sim::ReceivedReport> reports() const { return locked(reports_); }
  std::vector<Clock::time_point> reportTimes() const { return locked(reportTimes_); }  // when each arrived
  std::vector<std::string> violations() const { return locked(violations_); }  // framing faults, malformed packets
  int opens(Interface kind) const { return locked(opens_)[kind]; }  // UHID_OPEN count since plug-in

 private:
  template <class T>
  T locked(const T& field) const {
    std::lock_guard lock(mutex_);
    return field;
  }
  template <class Fn>
  void with(Fn fn) {
    std::lock_guard lock(mutex_);
    fn();
  }

  struct Device {
    Interface kind;
    int fd = -1;
  };

  void run(int stopFd);
  void handle(const Device& device);
  std::uint16_t accept(const Device& device, HidReportType type, std::uint8_t number, const std::uint8_t* data,
                       std::size_t size);
  // Applies one unframed report; the reply code (0 or an errno) for SetReport.
  std::uint16_t receive(HidReportType type, std::vector<std::uint8_t> bytes, std::vector<std::uint8_t>& answer);
  std::vector<std::uint8_t> keyboardReport() const;
  std::vector<std::uint8_t> consumerReport() const;
  void controlChanged(Rival500::Button button);
  int fdOf(Interface kind) const;
  void writeInput(int fd, const std::vector<std::uint8_t>& report) const;

  mutable std::mutex mutex_;
  std::vector<Device> devices_;
  std::thread thread_;
  int stopFd_ = -1;

  sim::MouseSettings live_ = sim::VirtualRival500::factorySettings();
  sim::MouseSettings stored_ = live_;
  std::uint8_t firmwareVersion_ = 107;
  std::size_t received_ = 0;
  std::set<std::size_t> refusals_;
  std::vector<sim::ReceivedReport> reports_;
  std::vector<Clock::time_point> reportTimes_;
  std::vector<std::string> violations_;
  int saves_ = 0;
  int queries_ = 0;
  std::set<Rival500::Button> held_;
  std::map<int, std::vector<std::uint8_t>> lastInput_;  // by report ID
  std::map<Interface, int> opens_;
};

}  // namespace tandemo::guest
