#include <QtTest>
#include <QtDBus>
#include <memory>

#include "ui/SingleInstance.h"

using namespace tandemo;
using namespace tandemo::ui;
using Claim = SingleInstance::Claim;

class SingleInstanceTest : public QObject {
  Q_OBJECT

 private slots:
  void secondStartOnTheBusShowsTheFirstOnesWindow() {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) QSKIP("dbus-daemon is not installed");
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    QVERIFY(daemon.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    {
      QDBusConnection busA = QDBusConnection::connectToBus(address, "a");
      QDBusConnection busB = QDBusConnection::connectToBus(address, "b");
      QVERIFY(busA.isConnected() && busB.isConnected());

      auto first = std::make_unique<SingleInstance>(busA);
      QSignalSpy shown(first.get(), &SingleInstance::showWindowRequested);
      QCOMPARE(first->claim(), Claim::first);
      SingleInstance second(busB);
      QCOMPARE(second.claim(), Claim::shownOther);
      QCOMPARE(shown.count(), 1);

      first.reset();  // the name goes with the first instance: the next start is the first again
      SingleInstance third(busB);
      QCOMPARE(third.claim(), Claim::first);
    }
    QDBusConnection::disconnectFromBus("a");
    QDBusConnection::disconnectFromBus("b");
    daemon.kill();
    daemon.waitForFinished(5000);
  }

  void withoutABusTheLockFileDecides() {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    QCOMPARE(SingleInstance::lockFilePath(), runtime.path() + "/tandemo.lock");
    const QDBusConnection none = QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "none");
    QVERIFY(!none.isConnected());

    auto first = std::make_unique<SingleInstance>(none);
    QCOMPARE(first->claim(), Claim::first);
    QCOMPARE(SingleInstance(none).claim(), Claim::otherRunning);
    first.reset();
    QCOMPARE(SingleInstance(none).claim(), Claim::first);

    // With no runtime folder the lock goes to a private folder of ours under /tmp.
    qunsetenv("XDG_RUNTIME_DIR");
    const QString fallback = SingleInstance::lockFilePath();
    QCOMPARE(fallback, QString("/tmp/tandemo-%1/tandemo.lock").arg(::getuid()));
    SingleInstance holder(none);
    QCOMPARE(holder.claim(), Claim::first);
    QCOMPARE(QFileInfo(QFileInfo(fallback).path()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
             QFile::Permissions());
  }
};

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
