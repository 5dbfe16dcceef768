#include "ui/SingleInstance.h"

#include <fcntl.h>
#include <cerrno>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

namespace tandemo::ui {
namespace {

constexpr int kCallTimeoutMs = 3000;

}  // namespace

SingleInstance::SingleInstance(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), service_(new BusService(bus_, this)) {
  connect(service_, &BusService::showWindowRequested, this, &SingleInstance::showWindowRequested);
}

SingleInstance::~SingleInstance() {
  if (ownsName_) {
    bus_.unregisterObject(kPath);
    bus_.unregisterService(kService);
  }
  if (lockFd_ >= 0) ::close(lockFd_);
}

SingleInstance::Claim SingleInstance::claim(Role role) {
  service_->setHeadless(role == Role::headless);
  return bus_.isConnected() ? claimOnBus(role) : claimLockFile();
}

SingleInstance::Claim SingleInstance::claimOnBus(Role role) {
  // The object goes up before the name, so a second start that finds the name can call it.
  bus_.registerObject(kPath, service_, QDBusConnection::ExportAdaptors);
  if (requestName()) return Claim::first;
  const Claim answer = role == Role::headless ? Claim::otherRunning : askOther();
  if (answer != Claim::first) bus_.unregisterObject(kPath);
  return answer;
}

bool SingleInstance::requestName() {
  const auto reply = bus_.interface()->registerService(kService, QDBusConnectionInterface::DontQueueService,
                                                       QDBusConnectionInterface::DontAllowReplacement);
  ownsName_ = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
  return ownsName_;
}

// A windowed instance shows its window; a headless one is asked to make way for this one.
SingleInstance::Claim SingleInstance::askOther() {
  const QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "ShowWindow");
  const QDBusMessage answer = bus_.call(call, QDBus::BlockWithGui, kCallTimeoutMs);
  if (answer.type() == QDBusMessage::ReplyMessage) return Claim::shownOther;
  if (answer.errorName() != QString(BusService::kErrorPrefix) + "Headless") return Claim::otherRunning;
  return takeOverFromHeadless() ? Claim::first : Claim::otherDidNotQuit;
}

// Calls Quit() and waits, with the event loop running, until the name is free to take.
bool SingleInstance::takeOverFromHeadless() {
  QEventLoop wait;
  QDBusServiceWatcher watcher(kService, bus_, QDBusServiceWatcher::WatchForUnregistration);
  connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &wait, &QEventLoop::quit);
  QTimer::singleShot(kTakeOverMs, &wait, &QEventLoop::quit);
  const QDBusMessage quit = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Quit");
  bus_.asyncCall(quit, kCallTimeoutMs);
  // Each lost race for the name (another start took it first) ends the wait with `false`.
  if (!bus_.interface()->isServiceRegistered(kService).value()) return requestName();
  wait.exec();
  return requestName();
}

QString SingleInstance::lockFilePath() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return runtime + "/tandemo.lock";
  return QStringLiteral("/tmp/tandemo-%1/tandemo.lock").arg(::getuid());
}

// A lock that cannot be taken for another reason than another holder lets this start run.
SingleInstance::Claim SingleInstance::claimLockFile() {
  const QString path = lockFilePath();
  const QByteArray folder = QFileInfo(path).path().toLocal8Bit();
  // A private folder of ours in /tmp; one that another user made (or a link) is not trusted.
  if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) return Claim::first;
  struct stat info {};
  if (::lstat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
    return Claim::first;
  }
  lockFd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFd_ < 0) return Claim::first;
  if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) return Claim::first;
  const bool held = errno == EWOULDBLOCK;
  ::close(lockFd_);
  lockFd_ = -1;
  return held ? Claim::otherRunning : Claim::first;
}

}  // namespace tandemo::ui
