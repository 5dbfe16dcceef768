#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include "ui/BusService.h"

namespace tandemo::ui {

// One Tandemo per desktop session: two would fight over the mouse's keyboard interface and the
// settings file. The first start owns the session-bus name and serves the app's interface
// (BusService); a later windowed start asks it to show its window, or, when it runs headless,
// to quit, and takes over. Without a session bus a lock file decides.
class SingleInstance final : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kService = "org.tandemo.Tandemo";
  static constexpr const char* kPath = BusService::kPath;
  static constexpr const char* kInterface = BusService::kInterface;
  static constexpr int kTakeOverMs = 5000;  // how long a headless instance is given to quit

  enum class Role { windowed, headless };

  enum class Claim {
    first,            // this is the only instance (perhaps after a headless one quit for it)
    shownOther,       // another instance runs and was asked to show its window
    otherRunning,     // another instance runs and stays (for a headless start: any other)
    otherDidNotQuit,  // a headless instance was asked to quit but kept the name
  };

  // `bus`: the session bus, or a disconnected connection for the lock file alone.
  explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
  ~SingleInstance() override;

  Claim claim(Role role = Role::windowed);
  // The object served at kPath once claim() returned `first` on the bus.
  BusService& service() { return *service_; }
  bool onBus() const { return ownsName_; }
  // The lock file used when there is no session bus: under $XDG_RUNTIME_DIR, else /tmp/tandemo-UID.
  static QString lockFilePath();

 signals:
  void showWindowRequested();

 private:
  Claim claimOnBus(Role role);
  bool requestName();
  Claim askOther();
  bool takeOverFromHeadless();
  Claim claimLockFile();

  QDBusConnection bus_;
  BusService* service_;
  int lockFd_ = -1;
  bool ownsName_ = false;
};

}  // namespace tandemo::ui
