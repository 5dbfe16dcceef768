#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <optional>
#include <vector>

#include "controller/Controller.h"

namespace tandemo::ui {

// The app's object on the session bus (interface org.tandemo.Tandemo1, described in
// docs/dbus.md). Every method answers later through the connection, so nothing waits in a slot;
// a caller who left the bus meanwhile is simply not answered. Until serve() gives it the
// controller, it answers ShowWindow and Quit only (the event loop does not run before then).
class BusService final : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kPath = "/org/tandemo/Tandemo";
  static constexpr const char* kInterface = "org.tandemo.Tandemo1";
  static constexpr const char* kErrorPrefix = "org.tandemo.Tandemo1.Error.";

  explicit BusService(QDBusConnection bus, QObject* parent = nullptr);
  ~BusService() override;

  // Headless: ShowWindow answers the Headless error.
  void setHeadless(bool headless) { headless_ = headless; }
  bool headless() const { return headless_; }
  // Starts serving `controller`, which must outlive this object or a later detach().
  void serve(Controller& controller, bool simulated);
  void detach();

  // The published properties, as the bus reads them.
  QVariantMap properties() const;

  void write(std::optional<bool> save, const QDBusMessage& call);
  void reset(const QDBusMessage& call);
  void readFirmware(const QDBusMessage& call);
  void pin(const QString& profile, const QDBusMessage& call);
  void showWindow(const QDBusMessage& call);
  void reloadSettings(const QDBusMessage& call);
  void quit(const QDBusMessage& call);

 signals:
  void showWindowRequested();
  // After Quit() was answered: the app releases what the bridge holds, saves and exits.
  void quitRequested();

 private:
  struct FirmwareCall {
    quint64 id;
    QDBusMessage call;
  };
  struct ResetCall {
    QDBusMessage call;
    QString saveError;  // "Could not save settings: ..." when saving the factory settings failed
  };

  void changed(Controller::Property property);
  void noteSaveFailure();
  void announceChanges();
  bool starting(const QDBusMessage& call);     // answers a call that came before serve()
  bool refuseWrite(const QDBusMessage& call);  // answers NotConnected or AlreadyWriting
  void answerReset();
  void answerFirmware(quint64 id);
  void reply(const QDBusMessage& call, const QVariant& value = {});
  void fail(const QDBusMessage& call, const char* name, const QString& message);

  QDBusConnection bus_;
  Controller* controller_ = nullptr;
  Controller::ObserverId observer_ = 0;
  bool simulated_ = false;
  QString settingsFile_;  // absolute; it never changes while served
  bool headless_ = false;
  QVariantMap published_;
  std::vector<FirmwareCall> firmwareCalls_;
  quint64 nextFirmwareCall_ = 1;
  std::optional<ResetCall> resetCall_;
  bool watchingSave_ = false;  // while Reset() saves the factory settings
};

// The D-Bus face of BusService: properties and methods, as introspection lists them.
class BusAdaptor final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.tandemo.Tandemo1")
  Q_PROPERTY(bool Connected READ connected)
  Q_PROPERTY(QString Firmware READ firmware)
  Q_PROPERTY(QString KeyboardState READ keyboardState)
  Q_PROPERTY(QString ActiveProfile READ activeProfile)
  Q_PROPERTY(QString PinnedProfile READ pinnedProfile)
  Q_PROPERTY(bool Writing READ writing)
  Q_PROPERTY(QString LastWrite READ lastWrite)
  Q_PROPERTY(QStringList PressedButtons READ pressedButtons)
  Q_PROPERTY(bool Simulated READ simulated)
  Q_PROPERTY(QString SettingsFile READ settingsFile)

 public:
  explicit BusAdaptor(BusService* service) : QDBusAbstractAdaptor(service), service_(service) {}

  bool connected() const { return value("Connected").toBool(); }
  QString firmware() const { return value("Firmware").toString(); }
  QString keyboardState() const { return value("KeyboardState").toString(); }
  QString activeProfile() const { return value("ActiveProfile").toString(); }
  QString pinnedProfile() const { return value("PinnedProfile").toString(); }
  bool writing() const { return value("Writing").toBool(); }
  QString lastWrite() const { return value("LastWrite").toString(); }
  QStringList pressedButtons() const { return value("PressedButtons").toStringList(); }
  bool simulated() const { return value("Simulated").toBool(); }
  QString settingsFile() const { return value("SettingsFile").toString(); }

  // The QDBusMessage argument is the call itself; the answers are sent later (delayed replies).
 public slots:
  QString Write(bool save, const QDBusMessage& call) {
    service_->write(save, call);
    return {};
  }
  QString WriteAsSet(const QDBusMessage& call) {
    service_->write(std::nullopt, call);
    return {};
  }
  QString Reset(const QDBusMessage& call) {
    service_->reset(call);
    return {};
  }
  QString ReadFirmware(const QDBusMessage& call) {
    service_->readFirmware(call);
    return {};
  }
  void Pin(const QString& profile, const QDBusMessage& call) { service_->pin(profile, call); }
  void ShowWindow(const QDBusMessage& call) { service_->showWindow(call); }
  void ReloadSettings(const QDBusMessage& call) { service_->reloadSettings(call); }
  void Quit(const QDBusMessage& call) { service_->quit(call); }

 private:
  QVariant value(const char* name) const { return service_->properties().value(name); }

  BusService* service_;
};

}  // namespace tandemo::ui
