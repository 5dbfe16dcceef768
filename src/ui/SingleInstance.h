#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace tandemo::ui {

// One Tandemo per desktop session: two would fight over the mouse's keyboard interface and the
// settings file. The first start owns the session-bus name and serves ShowWindow(); a later
// start asks it to show its window. Without a session bus a lock file decides.
class SingleInstance final : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kService = "org.tandemo.Tandemo";
  static constexpr const char* kPath = "/org/tandemo/Tandemo";
  static constexpr const char* kInterface = "org.tandemo.Tandemo1";

  enum class Claim {
    first,          // this is the only instance
    shownOther,     // another instance runs and was asked to show its window
    otherRunning,   // another instance holds the lock file; it could not be reached
  };

  // `bus`: the session bus, or a disconnected connection for the lock file alone.
  explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
  ~SingleInstance() override;

  Claim claim();
  // The lock file used when there is no session bus: under $XDG_RUNTIME_DIR, else /tmp/tandemo-UID.
  static QString lockFilePath();

 signals:
  void showWindowRequested();

 private:
  Claim claimOnBus();
  Claim claimLockFile();

  QDBusConnection bus_;
  int lockFd_ = -1;
  bool ownsName_ = false;
};

// The interface served at kPath; later versions add methods here.
class TandemoBusAdaptor final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.tandemo.Tandemo1")

 public:
  explicit TandemoBusAdaptor(SingleInstance* owner) : QDBusAbstractAdaptor(owner), owner_(owner) {}

 public slots:
  void ShowWindow() { emit owner_->showWindowRequested(); }

 private:
  SingleInstance* owner_;
};

}  // namespace tandemo::ui
