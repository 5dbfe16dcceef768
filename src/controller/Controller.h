#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "controller/Platform.h"
#include "hid/HIDLink.h"
#include "model/StateStore.h"
#include "runtime/Bridge.h"

namespace tandemo {

// Everything the controller is built from. All references must outlive the controller.
struct ControllerServices {
  MainLoop& loop;
  HidManager& hid;
  EventSink& events;
  Workspace& workspace;
  LoginItem& loginItem;
  SystemLog& systemLog;
  TimeOfDay& timeOfDay;
  StateStore& store;
  std::string bundleID = "org.tandemo.Tandemo";
  // Command-line tools make their own writes: they skip the write on connect at start-up.
  bool writeOnConnectAtStart = true;
};

// The one application object: owns the state, the link and the bridge; saves, writes, follows
// the mouse and the front application, polls permissions and keeps the activity log.
// Observers registered with subscribe() are told after every change of a published property.
class Controller {
 public:
  enum class Property {
    state, connected, firmware, keyboardState, inputMonitoring, accessibility, writing,
    lastWrite, frontBundleID, pressedButtons, log, launchAtLogin,
  };
  using Observer = std::function<void(Property)>;
  using ObserverId = std::uint64_t;

  struct AppEntry {
    std::string name;
    std::string bundleID;
    bool operator==(const AppEntry&) const = default;
  };

  static constexpr std::size_t maxLogEntries = 200;

  explicit Controller(ControllerServices services);
  ~Controller();  // writes a pending save at once
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  ObserverId subscribe(Observer observer);
  void unsubscribe(ObserverId id);

  // ---- published properties ----
  const AppState& state() const { return state_; }
  void setState(AppState state);  // one change: schedules a save and reacts
  bool connected() const { return connected_; }
  const std::optional<std::string>& firmware() const { return firmware_; }
  const HIDLink::KeyboardState& keyboardState() const { return keyboardState_; }
  bool inputMonitoring() const { return inputMonitoring_; }
  bool accessibility() const { return accessibility_; }
  bool writing() const { return writing_; }
  const std::optional<std::string>& lastWriteMessage() const { return lastWriteMessage_; }
  bool lastWriteFailed() const { return lastWriteFailed_; }
  const std::optional<std::string>& frontBundleID() const { return frontBundleID_; }
  const std::set<Rival500::Button>& pressedButtons() const { return pressedButtons_; }
  const std::deque<std::string>& log() const { return log_; }
  bool launchAtLogin() const { return launchAtLogin_; }
  void setLaunchAtLogin(bool on);

  // ---- writing to the mouse ----
  void writeToMouse(std::optional<bool> save = std::nullopt);
  // As writeToMouse, but tells the caller how it ended (for the command line).
  void writeToMouse(std::optional<bool> save, std::function<void(bool ok, std::string message)> done);
  void restoreFactory();
  void readFirmware();

  // ---- profiles ----
  std::optional<Profile> activeProfile() const;
  std::vector<AppEntry> runningApps() const;
  void addProfile();
  void removeProfile(const Uuid& id);
  void setAssignment(Rival500::Button button, const Rival500::Assignment& assignment);
  void setAction(Rival500::Button button, const HostAction& action, const Uuid& profileID);

  // ---- permissions ----
  void refreshPermissions();
  void requestInputMonitoring();
  void requestAccessibility();

  HIDLink& hid() { return *hid_; }
  // Saves a pending change now (also done on destruction).
  void flushPendingSave();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  // The published values live here so the accessors above stay trivial.
  AppState state_;
  bool connected_ = false;
  std::optional<std::string> firmware_;
  HIDLink::KeyboardState keyboardState_ = HIDLink::KeyboardState::absent();
  bool inputMonitoring_ = false;
  bool accessibility_ = false;
  bool writing_ = false;
  std::optional<std::string> lastWriteMessage_;
  bool lastWriteFailed_ = false;
  std::optional<std::string> frontBundleID_;
  std::set<Rival500::Button> pressedButtons_;
  std::deque<std::string> log_;
  bool launchAtLogin_ = false;
  std::unique_ptr<HIDLink> hid_;
};

}  // namespace tandemo
