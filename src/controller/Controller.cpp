#include "controller/Controller.h"

namespace tandemo {

Controller::Controller(ControllerServices services) : services_(std::move(services)) {
  inputMonitoring_ = services_.hid.inputMonitoringGranted();
  accessibility_ = services_.events.accessibilityGranted();
  launchAtLogin_ = services_.loginItem.enabled();

  // The link finds a mouse that is already plugged in before anyone listens: no log line for it.
  hid_ = std::make_unique<HIDLink>(services_.loop, services_.hid, services_.bundleID);
  bridge_ = std::make_unique<Bridge>(services_.loop, services_.events, services_.bundleID);
  state_ = services_.store.load().state;

  installCallbacks();
  connected_ = hid_->isConnected();
  keyboardState_ = hid_->keyboardState();
  hid_->setSeizeWanted(seizeWanted());
  checkHiddenKeys();

  services_.workspace.setActivationHandler(guarded([this](std::optional<std::string> bundleID) {
    later([this, bundleID = std::move(bundleID)] { frontChanged(bundleID); });
  }));
  frontBundleID_ = services_.workspace.frontmostBundleID();

  permissionTimer_ = services_.loop.startTimer(
      seconds(permissionPollSeconds), guarded([this] { later([this] { refreshPermissions(); }); }),
      /*repeating=*/true);

  if (connected_) {
    readFirmware();
    if (state_.writeOnConnect && services_.writeOnConnectAtStart) writeToMouse(false);
  }
}

Controller::~Controller() {
  flushPendingSave();
  alive_.reset();
  if (permissionTimer_) services_.loop.cancelTimer(*permissionTimer_);
  services_.workspace.setActivationHandler({});
  // The bridge and the link stop their worker threads here; their late callbacks find alive_ gone.
  bridge_.reset();
  hid_.reset();
}

void Controller::later(std::function<void()> fn) {
  services_.loop.post(guarded(std::move(fn)));
}

void Controller::installCallbacks() {
  hid_->log = guarded([this](const std::string& line) { later([this, line] { append(line); }); });
  hid_->onVendorConnection = guarded([this](bool value) { later([this, value] { connectionChanged(value); }); });
  hid_->onKeyboardState = guarded([this](const HIDLink::KeyboardState& value) {
    later([this, value] {
      publish(keyboardState_, value, Property::keyboardState);
      if (!value.is<HIDLink::KeyboardState::Seized>()) releaseBridge();
      checkHiddenKeys();
    });
  });
  // Reports are handled at once, inside the link's input callback.
  hid_->onKeyboardReport = guarded([this](std::uint32_t reportID, std::vector<std::uint8_t> bytes) {
    bridge_->handle(reportID, bytes);
  });

  bridge_->activeProfile = [this, alive = std::weak_ptr<bool>(alive_)]() -> std::optional<Profile> {
    if (alive.expired()) return std::nullopt;
    return activeProfile();
  };
  bridge_->onButton = guarded([this](Rival500::Button button, bool pressed) {
    later([this, button, pressed] { buttonChanged(button, pressed); });
  });
}

// ---- observers ----

Controller::ObserverId Controller::subscribe(Observer observer) {
  const ObserverId id = nextObserverId_++;
  observers_.emplace(id, std::move(observer));
  return id;
}

void Controller::unsubscribe(ObserverId id) { observers_.erase(id); }

void Controller::notify(Property property) {
  // A copy, so that an observer may subscribe or unsubscribe while being told.
  const auto observers = observers_;
  for (const auto& [id, observer] : observers) observer(property);
}

// ---- state changes ----

void Controller::setState(AppState state) { applyState(std::move(state), /*save=*/true); }

void Controller::applyState(AppState state, bool save) {
  AppState old = std::exchange(state_, std::move(state));
  if (save) scheduleSave();
  reactToState(old);
  checkHiddenKeys();
  notify(Property::state);
}

void Controller::scheduleSave() {
  if (saveTimer_) services_.loop.cancelTimer(*saveTimer_);
  pendingSave_ = state_;
  saveTimer_ = services_.loop.startTimer(seconds(saveDelaySeconds), guarded([this] {
    saveTimer_.reset();
    savePending();
  }));
}

void Controller::dropPendingSave() {
  if (saveTimer_) services_.loop.cancelTimer(*saveTimer_);
  saveTimer_.reset();
  pendingSave_.reset();
}

void Controller::flushPendingSave() {
  if (saveTimer_) services_.loop.cancelTimer(*saveTimer_);
  saveTimer_.reset();
  savePending();
}

void Controller::savePending() {
  if (!pendingSave_) return;
  // An outside edit not taken in yet is newer than the copy waiting here, which it then replaces.
  (void)followSettingsFile();
  if (!pendingSave_) return;
  AppState snapshot = std::move(*pendingSave_);
  pendingSave_.reset();
  // A failed save stays pending unless a newer change (made while logging) replaced it.
  if (!saveNow(snapshot) && !pendingSave_) pendingSave_ = std::move(snapshot);
}

bool Controller::saveNow(const AppState& snapshot) {
  auto saved = services_.store.save(snapshot);
  if (!saved) {
    append("Could not save settings: " + saved.error());
    return false;
  }
  if (saved->movedAside) append("Moved the unreadable settings file to " + saved->movedAside->string());
  return true;
}

bool Controller::seizeWanted() const {
  return services_.bridgeEnabled && !state_.hardware.bridgedButtons().empty();
}

void Controller::reactToState(const AppState& old) {
  const bool wanted = seizeWanted();
  if (wanted != hid_->seizeWanted()) hid_->setSeizeWanted(wanted);
  if (state_.pinnedProfileID != old.pinnedProfileID || state_.autoSwitch != old.autoSwitch) releaseBridge();
}

bool Controller::hiddenKeysReachDesktop() const {
  // The link's own state, not the mirror: a seize under way at start-up is no cause for alarm.
  const auto& keyboard = hid_->keyboardState();
  const bool exposed = !keyboard.is<HIDLink::KeyboardState::Absent>() && !keyboard.is<HIDLink::KeyboardState::Seized>();
  return exposed && !state_.hardware.bridgedButtons().empty();
}

void Controller::checkHiddenKeys() {
  const bool exposed = hiddenKeysReachDesktop();
  if (exposed && !hiddenKeysLogged_) {
    append("App-controlled buttons send their hidden keys (F13–F24) to the desktop while Tandemo does not "
           "hold the mouse's keyboard interface; the desktop may act on some of them (microphone mute, touchpad "
           "toggle)");
  }
  hiddenKeysLogged_ = exposed;
}

void Controller::releaseBridge() {
  bridge_->releaseAll();
  publish(pressedButtons_, std::set<Rival500::Button>{}, Property::pressedButtons);
}

void Controller::buttonChanged(Rival500::Button button, bool pressed) {
  std::set<Rival500::Button> buttons = pressedButtons_;
  // A press that a releaseAll() has ended before this task ran no longer counts.
  if (pressed && bridge_->isLive(button)) {
    buttons.insert(button);
  } else {
    buttons.erase(button);
  }
  publish(pressedButtons_, std::move(buttons), Property::pressedButtons);
}

// ---- writing to the mouse ----

void Controller::writeToMouse(std::optional<bool> save) { writeToMouse(save, WriteDone{}); }

void Controller::writeToMouse(std::optional<bool> save, WriteDone done) {
  auto tell = [&done](bool ok, std::string message) {
    if (done) done(ok, std::move(message));
  };
  if (!connected_) return tell(false, HIDLink::LinkError{HIDLink::LinkError::NotConnected{}}.description());
  if (writing_) return tell(false, "A write to the mouse is already under way.");

  const bool saving = save.value_or(state_.saveToOnboardMemory);
  auto packets = state_.hardware.packets();
  if (!packets) {
    const std::string message(Rival500::describe(packets.error()));
    setLastWrite(message, true);
    return tell(false, message);
  }
  if (saving) packets->push_back(Rival500::savePacket());

  publish(writing_, true, Property::writing);
  hid_->write(std::move(packets).value(),
              guarded([this, saving, done = std::move(done)](const HIDLink::WriteResult& result) {
                finishWrite(result, saving, done);
              }));
}

void Controller::finishWrite(const HIDLink::WriteResult& result, bool saving, const WriteDone& done) {
  publish(writing_, false, Property::writing);
  std::string message;
  if (result) {
    message = saving ? "Written and saved to the mouse's memory" : "Written to the mouse";
    setLastWrite(message, false);
    append(message);
  } else {
    message = result.error().description();
    setLastWrite(message, true);
    append("Write failed: " + message);
  }
  if (done) done(result.hasValue(), message);
}

void Controller::setLastWrite(std::string message, bool failed) {
  if (lastWriteMessage_ == message && lastWriteFailed_ == failed) return;
  lastWriteMessage_ = std::move(message);
  lastWriteFailed_ = failed;
  notify(Property::lastWrite);
}

void Controller::restoreFactory() {
  AppState next = state_;
  next.hardware = HardwareConfig::factory();
  setState(std::move(next));
  writeToMouse(true);
}

void Controller::readFirmware() {
  hid_->readFirmware(guarded([this](std::optional<std::string> version) {
    later([this, version = std::move(version)] { publish(firmware_, version, Property::firmware); });
  }));
}

void Controller::connectionChanged(bool connected) {
  publish(connected_, connected, Property::connected);
  if (!connected) {
    publish(firmware_, std::optional<std::string>{}, Property::firmware);
    releaseBridge();
    return;
  }
  readFirmware();
  if (state_.writeOnConnect) writeToMouse(false);
}

}  // namespace tandemo
