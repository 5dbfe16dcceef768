#include "ui/BusService.h"

#include <QDBusPendingCallWatcher>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>

#include "ui/KeyboardTexts.h"

namespace tandemo::ui {
namespace {

using namespace std::chrono_literals;

// The link gives up on the firmware after 0.5 s; its answer lands on the loop just after.
constexpr auto kFirmwareWait = 800ms;
constexpr int kFlushTimeoutMs = 1000;
constexpr std::string_view kSaveFailed = "Could not save settings: ";
constexpr const char* kNotConnected = "The Rival 500 is not plugged in.";

QString text(const std::string& value) { return QString::fromStdString(value); }

}  // namespace

BusService::BusService(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus)) {
  new BusAdaptor(this);
}

BusService::~BusService() { detach(); }

void BusService::serve(Controller& controller, bool simulated) {
  detach();
  controller_ = &controller;
  simulated_ = simulated;
  std::error_code error;
  const auto file = std::filesystem::absolute(controller.settingsFile(), error);
  settingsFile_ = QString::fromStdString((error ? controller.settingsFile() : file).string());
  observer_ = controller.subscribe([this](Controller::Property property) { changed(property); });
  published_ = properties();
}

void BusService::detach() {
  if (!controller_) return;
  controller_->unsubscribe(observer_);
  controller_ = nullptr;
}

QVariantMap BusService::properties() const {
  QVariantMap values{
      {"Connected", false},
      {"Firmware", QString()},
      {"KeyboardState", "absent: " + texts::keyboardStateText(HIDLink::KeyboardState::absent())},
      {"ActiveProfile", QString()},
      {"PinnedProfile", QString()},
      {"Writing", false},
      {"LastWrite", QString()},
      {"PressedButtons", QStringList()},
      {"Simulated", simulated_},
      {"SettingsFile", QString()},
  };
  if (!controller_) return values;
  const Controller& c = *controller_;
  const AppState& state = c.state();
  values["Connected"] = c.connected();
  values["Firmware"] = text(c.firmware().value_or(""));
  values["KeyboardState"] =
      texts::keyboardStateName(c.keyboardState()) + ": " + texts::keyboardStateText(c.keyboardState());
  if (const auto active = c.activeProfile()) values["ActiveProfile"] = text(active->name);
  if (state.pinnedProfileID) {
    const auto pinned = std::ranges::find(state.profiles, *state.pinnedProfileID, &Profile::id);
    if (pinned != state.profiles.end()) values["PinnedProfile"] = text(pinned->name);
  }
  values["Writing"] = c.writing();
  values["LastWrite"] = text(c.lastWriteMessage().value_or(""));
  QStringList pressed;
  for (const Rival500::Button button : c.pressedButtons()) pressed << text(std::string(Rival500::rawValue(button)));
  values["PressedButtons"] = pressed;
  values["SettingsFile"] = settingsFile_;
  return values;
}

void BusService::changed(Controller::Property property) {
  using P = Controller::Property;
  switch (property) {
    case P::log:
      if (watchingSave_) noteSaveFailure();
      return;
    case P::inputMonitoring:
    case P::accessibility:
    case P::launchAtLogin: return;  // not published on the bus
    case P::writing:
      // The write's message is set just after `writing` falls, in the same task.
      if (resetCall_ && !controller_->writing()) QTimer::singleShot(0, this, &BusService::answerReset);
      break;
    case P::firmware:
      while (!firmwareCalls_.empty()) answerFirmware(firmwareCalls_.front().id);
      break;
    default: break;
  }
  announceChanges();
}

// Only the properties whose value changed, carried as org.freedesktop.DBus.Properties defines.
void BusService::announceChanges() {
  const QVariantMap now = properties();
  QVariantMap changes;
  for (auto it = now.begin(); it != now.end(); ++it) {
    if (published_.value(it.key()) != it.value()) changes.insert(it.key(), it.value());
  }
  published_ = now;
  if (changes.isEmpty()) return;
  QDBusMessage signal = QDBusMessage::createSignal(kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
  signal << QString(kInterface) << changes << QStringList();
  bus_.send(signal);
}

void BusService::reply(const QDBusMessage& call, const QVariant& value) {
  // Sending to a caller that has left the bus fails quietly.
  bus_.send(value.isValid() ? call.createReply(value) : call.createReply());
}

void BusService::fail(const QDBusMessage& call, const char* name, const QString& message) {
  bus_.send(call.createErrorReply(kErrorPrefix + QString(name), message));
}

bool BusService::starting(const QDBusMessage& call) {
  if (controller_) return false;
  bus_.send(call.createErrorReply(QDBusError::Failed, "Tandemo is starting."));
  return true;
}

bool BusService::refuseWrite(const QDBusMessage& call) {
  if (starting(call)) return true;
  if (!controller_->connected()) {
    fail(call, "NotConnected", kNotConnected);
    return true;
  }
  if (controller_->writing()) {
    fail(call, "AlreadyWriting", "A write to the mouse is already under way.");
    return true;
  }
  return false;
}

void BusService::write(std::optional<bool> save, const QDBusMessage& call) {
  call.setDelayedReply(true);
  if (refuseWrite(call)) return;
  // Answered from the controller's callback, which needs nothing of this object.
  controller_->writeToMouse(save, [bus = bus_, call](bool ok, const std::string& message) mutable {
    bus.send(ok ? call.createReply(text(message))
                : call.createErrorReply(QString(kErrorPrefix) + "WriteFailed", text(message)));
  });
}

void BusService::reset(const QDBusMessage& call) {
  call.setDelayedReply(true);
  if (refuseWrite(call)) return;
  resetCall_ = ResetCall{call, {}};
  controller_->restoreFactory();
  // The factory settings reach the file before the write's answer.
  watchingSave_ = true;
  controller_->flushPendingSave();
  watchingSave_ = false;
  if (!controller_->writing()) answerReset();  // nothing was sent: the settings did not encode
}

void BusService::noteSaveFailure() {
  const std::string& entry = controller_->log().back();
  if (const auto at = entry.find(kSaveFailed); at != std::string::npos && resetCall_) {
    resetCall_->saveError = text(entry.substr(at));
  }
}

// A failed save is told first: the mouse's own answer is in LastWrite either way.
void BusService::answerReset() {
  if (!resetCall_ || !controller_) return;
  const ResetCall pending = std::move(*resetCall_);
  resetCall_.reset();
  const QString message = text(controller_->lastWriteMessage().value_or(""));
  if (!pending.saveError.isEmpty()) return fail(pending.call, "SaveFailed", pending.saveError);
  if (controller_->lastWriteFailed()) return fail(pending.call, "WriteFailed", message);
  reply(pending.call, message);
}

void BusService::readFirmware(const QDBusMessage& call) {
  call.setDelayedReply(true);
  if (starting(call)) return;
  if (!controller_->connected()) return fail(call, "NotConnected", kNotConnected);
  const quint64 id = nextFirmwareCall_++;
  firmwareCalls_.push_back({id, call});
  // An unchanged version is no change of the property: the time limit answers with it.
  QTimer::singleShot(kFirmwareWait, this, [this, id] { answerFirmware(id); });
  controller_->readFirmware();
}

void BusService::answerFirmware(quint64 id) {
  const auto it = std::ranges::find(firmwareCalls_, id, &FirmwareCall::id);
  if (it == firmwareCalls_.end()) return;
  const QDBusMessage call = it->call;
  firmwareCalls_.erase(it);
  const std::optional<std::string> version = controller_ ? controller_->firmware() : std::nullopt;
  if (version) return reply(call, text(*version));
  if (controller_ && !controller_->connected()) return fail(call, "NotConnected", kNotConnected);
  fail(call, "NoAnswer", "The mouse did not answer.");
}

void BusService::pin(const QString& profile, const QDBusMessage& call) {
  call.setDelayedReply(true);
  if (starting(call)) return;
  const std::string name = profile.toStdString();
  const auto pinned = controller_->pin(name);
  if (pinned) return reply(call);
  const auto& profiles = controller_->state().profiles;
  const auto sharing = std::ranges::count(profiles, name, &Profile::name);
  fail(call, sharing > 1 ? "AmbiguousProfile" : "UnknownProfile", text(pinned.error()));
}

void BusService::showWindow(const QDBusMessage& call) {
  call.setDelayedReply(true);
  if (headless_) return fail(call, "Headless", "Tandemo runs without a window (tandemo --headless).");
  emit showWindowRequested();
  reply(call);
}

void BusService::reloadSettings(const QDBusMessage& call) {
  call.setDelayedReply(true);
  if (starting(call)) return;
  const auto reloaded = controller_->reloadSettings();
  if (!reloaded) return fail(call, "UnreadableSettings", text(reloaded.error()));
  reply(call);
}

void BusService::quit(const QDBusMessage& call) {
  call.setDelayedReply(true);
  reply(call);
  // Quitting closes the connection: a round trip to the bus first makes sure the answer left.
  const QDBusMessage ping =
      QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId");
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ping, kFlushTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
    watcher->deleteLater();
    emit quitRequested();
  });
}

}  // namespace tandemo::ui
