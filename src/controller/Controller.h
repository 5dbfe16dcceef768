#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
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
  // Off (command-line tools): the keyboard interface is never seized, so the bridge never
  // receives a report and posts nothing; the mouse's keys stay with the desktop.
  bool bridgeEnabled = true;
};

// The one application object: owns the state, the link and the bridge; saves, writes, follows
// the mouse and the front application, polls permissions and keeps the activity log.
// Main loop only. Observers registered with subscribe() are told after every assignment that
// changes a published property; every assignment of state or launchAtLogin counts as a change.
class Controller {
 public:
  enum class Property {
    state, connected, firmware, keyboardState, inputMonitoring, accessibility, writing,
    lastWrite, frontBundleID, pressedButtons, log, launchAtLogin,
  };
  using Observer = std::function<void(Property)>;
  using ObserverId = std::uint64_t;
  using WriteDone = std::function<void(bool ok, std::string message)>;

  struct AppEntry {
    std::string name;
    std::string bundleID;
    bool operator==(const AppEntry&) const = default;
  };

  static constexpr std::size_t maxLogEntries = 200;
  static constexpr double saveDelaySeconds = 0.5;
  static constexpr double permissionPollSeconds = 2.0;

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
  // Stores the value and registers or unregisters the login item, also when it did not change.
  void setLaunchAtLogin(bool on);

  // ---- writing to the mouse ----
  // `save` absent: state.saveToOnboardMemory decides.
  void writeToMouse(std::optional<bool> save = std::nullopt);
  // As writeToMouse, but tells the caller once how it ended, also when nothing was sent
  // because the mouse is not connected or a write is already under way (for the command line).
  void writeToMouse(std::optional<bool> save, WriteDone done);
  void restoreFactory();
  void readFirmware();

  // ---- profiles ----
  std::optional<Profile> activeProfile() const;
  std::vector<AppEntry> runningApps() const;
  void addProfile();
  void removeProfile(const Uuid& id);
  void setAssignment(Rival500::Button button, const Rival500::Assignment& assignment);
  void setAction(Rival500::Button button, const HostAction& action, const Uuid& profileID);
  // Pins the profile `nameOrID` names (see resolveProfile); "" or "auto" unpins. One change of
  // the state, none when that pin is in place already; an unknown or ambiguous name changes
  // nothing and returns why.
  Expected<void, std::string> pin(std::string_view nameOrID);

  // ---- the settings file ----
  const std::filesystem::path& settingsFile() const { return services_.store.file(); }
  // The settings file changed on disk (told by a file watch). The app's own saves are told
  // apart and ignored; another program's readable edit is adopted without saving it back and
  // replaces a save still pending; an unreadable one is logged and ignored, and nothing is saved
  // over it until the next change made here. A deleted file is written again at the next change
  // or on quitting. Every save first looks for such an edit not yet taken in: the edit wins.
  void settingsFileChanged();
  // Reads the settings file now as settingsFileChanged() does; why it cannot be used when it is
  // unreadable or missing (the settings in use are kept then).
  Expected<void, std::string> reloadSettings();

  // ---- permissions ----
  void refreshPermissions();
  void requestInputMonitoring();
  void requestAccessibility();

  // A control is app-controlled while the keyboard interface is known and not seized: the
  // mouse's hidden keys F13-F24 then reach the desktop (logged once each time this begins).
  bool hiddenKeysReachDesktop() const;

  // Adds a line to the activity log (mirrored to the system log), for what the desktop services
  // report: no virtual input device, an unknown front application.
  void logLine(const std::string& line) { append(line); }

  HIDLink& hid() { return *hid_; }
  Bridge& bridge() { return *bridge_; }
  // Saves a pending change now (also done on destruction). A save that fails stays pending,
  // so the next flush, or quitting, tries it again; one that finds an outside edit not taken in
  // yet gives way to it (see settingsFileChanged).
  void flushPendingSave();
  // bridge.releaseAll(), and no button counts as pressed any more.
  void releaseBridge();

 private:
  // Wraps `fn` so that it does nothing once the controller is gone.
  template <class Fn>
  auto guarded(Fn fn) {
    return [alive = std::weak_ptr<bool>(alive_), fn = std::move(fn)](auto&&... args) {
      if (!alive.expired()) fn(std::forward<decltype(args)>(args)...);
    };
  }
  // Runs `fn` in a new main-loop task, if the controller still exists then.
  void later(std::function<void()> fn);

  void installCallbacks();
  void notify(Property property);
  template <class T>
  void publish(T& field, T value, Property property) {
    if (field == value) return;
    field = std::move(value);
    notify(property);
  }

  void applyState(AppState state, bool save);
  void scheduleSave();
  void dropPendingSave();
  void savePending();
  // Takes in what the settings file holds when it changed from outside (see settingsFileChanged).
  Expected<void, std::string> followSettingsFile();
  bool saveNow(const AppState& snapshot);  // false when the file could not be written
  bool seizeWanted() const;
  void reactToState(const AppState& old);
  void checkHiddenKeys();
  void buttonChanged(Rival500::Button button, bool pressed);

  void finishWrite(const HIDLink::WriteResult& result, bool saving, const WriteDone& done);
  void setLastWrite(std::string message, bool failed);
  void connectionChanged(bool connected);

  const Profile* findActiveProfile() const;
  std::optional<Uuid> activeProfileID() const;
  void frontChanged(std::optional<std::string> bundleID);

  void openPrivacyPane(const std::string& anchor);
  void applyLoginItem(bool on);
  void append(const std::string& line);

  ControllerServices services_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::map<ObserverId, Observer> observers_;
  ObserverId nextObserverId_ = 1;

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
  std::unique_ptr<Bridge> bridge_;
  std::optional<MainLoop::TimerId> saveTimer_;
  std::optional<AppState> pendingSave_;  // the copy not yet written (the save timer's, or a failed one)
  bool hiddenKeysLogged_ = false;        // the hidden-key warning was given for the current stretch
  std::optional<MainLoop::TimerId> permissionTimer_;
};

}  // namespace tandemo
