#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "core/Expected.h"
#include "core/MainLoop.h"
#include "core/SerialQueue.h"
#include "device/Rival500.h"
#include "hid/HidPlatform.h"

namespace tandemo {

// The application's one connection to the mouse: opens the configuration interface, seizes the
// keyboard interface while wanted, sends packets on its write queue and asks for the firmware.
class HIDLink {
 public:
  struct KeyboardState {
    struct Absent { bool operator==(const Absent&) const = default; };
    struct Idle { bool operator==(const Idle&) const = default; };
    struct Seized { bool operator==(const Seized&) const = default; };
    struct NeedsInputMonitoring { bool operator==(const NeedsInputMonitoring&) const = default; };
    struct Failed { std::string text; bool operator==(const Failed&) const = default; };
    using Value = std::variant<Absent, Idle, Seized, NeedsInputMonitoring, Failed>;

    Value value;

    static KeyboardState absent() { return {Absent{}}; }
    static KeyboardState idle() { return {Idle{}}; }
    static KeyboardState seized() { return {Seized{}}; }
    static KeyboardState needsInputMonitoring() { return {NeedsInputMonitoring{}}; }
    static KeyboardState failed(std::string text) { return {Failed{std::move(text)}}; }
    template <class Case>
    bool is() const { return std::holds_alternative<Case>(value); }
    bool operator==(const KeyboardState&) const = default;
  };

  struct LinkError {
    struct Write { Rival500::Packet packet; std::string text; bool operator==(const Write&) const = default; };
    struct NotConnected { bool operator==(const NotConnected&) const = default; };
    using Value = std::variant<Write, NotConnected>;

    Value value;

    // "The mouse refused a packet (05 00): not permitted" / "The Rival 500 is not plugged in."
    std::string description() const;
    bool operator==(const LinkError&) const = default;
  };

  using WriteResult = Expected<void, LinkError>;
  using WriteCompletion = std::function<void(WriteResult)>;
  using FirmwareCompletion = std::function<void(std::optional<std::string>)>;

  // Finds a mouse that is already plugged in; callbacks are not installed yet, so nobody hears of it.
  // `bundleID` labels the write queue (bundleID + ".hid-write").
  HIDLink(MainLoop& loop, HidManager& manager, const std::string& bundleID);
  // Detaches from the manager and the devices and releases a seized keyboard interface. A write
  // in progress stops at its next pause; no completion or firmware answer is called afterwards.
  ~HIDLink();
  HIDLink(const HIDLink&) = delete;
  HIDLink& operator=(const HIDLink&) = delete;

  std::function<void(bool)> onVendorConnection;
  std::function<void(const KeyboardState&)> onKeyboardState;
  std::function<void(std::uint32_t reportID, std::vector<std::uint8_t> bytes)> onKeyboardReport;
  std::function<void(const std::string&)> log;

  bool isConnected() const { return vendor_ != nullptr; }
  const KeyboardState& keyboardState() const { return keyboardState_; }
  bool seizeWanted() const { return seizeWanted_; }
  void setSeizeWanted(bool wanted);
  void retrySeize();

  bool inputMonitoringGranted() { return manager_.inputMonitoringGranted(); }
  void requestInputMonitoring() { manager_.requestInputMonitoring(); }

  // Sends the packets in order, 0.05 s apart, stopping at the first refusal. The completion is
  // called exactly once on the main loop (at once, before returning, when not connected).
  void write(std::vector<Rival500::Packet> packets, WriteCompletion completion);
  // Asks for the firmware version ("1.07"); nothing when there is no answer within 0.5 s.
  void readFirmware(FirmwareCompletion completion);

  const std::string& writeQueueLabel() const { return writeQueue_.label(); }

 private:
  void deviceAdded(const std::shared_ptr<HidDevice>& device);
  void deviceRemoved(const std::shared_ptr<HidDevice>& device);
  void updateSeize();
  void setKeyboardState(KeyboardState state);
  void vendorReport(std::vector<std::uint8_t> bytes);
  void keyboardReport(std::uint32_t reportID, std::span<const std::uint8_t> bytes);
  // Ends the firmware query `query` with nothing, if that query is still the pending one.
  void endFirmwareQuery(std::uint64_t query);
  void emitLog(const std::string& line);

  MainLoop& loop_;
  HidManager& manager_;
  std::shared_ptr<HidDevice> vendor_;
  std::shared_ptr<HidDevice> keyboard_;
  KeyboardState keyboardState_ = KeyboardState::absent();
  bool seizeWanted_ = false;
  FirmwareCompletion firmwareWaiter_;
  std::uint64_t firmwareQueryId_ = 0;  // which query the pending waiter belongs to
  // Completions posted by the write queue and the firmware check hold this weakly; it goes
  // first in the destructor, so nothing posted earlier reaches the link afterwards.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  SerialQueue writeQueue_;  // last: its worker is joined before the fields above go away
};

}  // namespace tandemo
