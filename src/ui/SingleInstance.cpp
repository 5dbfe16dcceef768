#include "ui/SingleInstance.h"

#include <fcntl.h>
#include <cerrno>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>

namespace tandemo::ui {
namespace {

constexpr int kCallTimeoutMs = 3000;

}  // namespace

SingleInstance::SingleInstance(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus)) {}

SingleInstance::~SingleInstance() {
  if (ownsName_) {
    bus_.unregisterObject(kPath);
    bus_.unregisterService(kService);
  }
  if (lockFd_ >= 0) ::close(lockFd_);
}

SingleInstance::Claim SingleInstance::claim() {
  return bus_.isConnected() ? claimOnBus() : claimLockFile();
}

SingleInstance::Claim SingleInstance::claimOnBus() {
  // The object goes up before the name, so a second start that finds the name can call it.
  new TandemoBusAdaptor(this);
  bus_.registerObject(kPath, this);
  const auto reply = bus_.interface()->registerService(kService, QDBusConnectionInterface::DontQueueService,
                                                       QDBusConnectionInterface::DontAllowReplacement);
  if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
    ownsName_ = true;
    return Claim::first;
  }
  bus_.unregisterObject(kPath);
  const QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "ShowWindow");
  const QDBusMessage answer = bus_.call(call, QDBus::BlockWithGui, kCallTimeoutMs);
  return answer.type() == QDBusMessage::ReplyMessage ? Claim::shownOther : Claim::otherRunning;
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
