// The tray icon against a tray host: a private Xvfb and session bus with a minimal
// StatusNotifierWatcher, so that Qt exports the icon as a StatusNotifierItem with its menu over
// com.canonical.dbusmenu, as on a desktop with a tray. Skips when Xvfb or dbus-daemon is missing.

#include <QtTest>
#include <QtDBus>
#include <QtWidgets>

#include "UiFixture.h"
#include "ui/TandemoApp.h"

using namespace tandemo;
using namespace tandemo::ui;
using namespace tandemo::ui::testing;

namespace {

const QString kMenu = QStringLiteral("com.canonical.dbusmenu");

QString firstLine(QProcess& process, const QString& program, const QStringList& arguments) {
  if (QStandardPaths::findExecutable(program).isEmpty()) return {};
  process.start(program, arguments);
  return process.waitForReadyRead(10000) ? QString::fromUtf8(process.readLine()).trimmed() : QString();
}

// A private Xvfb and session bus, set up before QApplication reads DISPLAY and the bus address.
struct PrivateDesktop {
  PrivateDesktop() {
    const QString display = firstLine(xvfb, "Xvfb", {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
    address = firstLine(bus, "dbus-daemon", {"--session", "--nofork", "--print-address"});
    ready = !display.isEmpty() && !address.isEmpty();
    if (!ready) return;
    qputenv("DISPLAY", ":" + display.toLocal8Bit());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("XDG_CURRENT_DESKTOP");  // Qt's generic theme, which exports the tray over D-Bus
  }
  ~PrivateDesktop() {
    for (QProcess* process : {&bus, &xvfb}) {
      process->kill();
      process->waitForFinished(5000);
    }
  }
  QProcess xvfb, bus;
  QString address;
  bool ready = false;
};

// The host side of the protocol. It lives in a thread of its own: Qt asks it whether a host is
// registered with blocking calls from the main thread.
class FakeWatcher final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
  Q_PROPERTY(int ProtocolVersion READ protocolVersion)

 public:
  bool hostRegistered() const { return true; }
  int protocolVersion() const { return 0; }
  QString item() const {
    const QMutexLocker lock(&mutex_);
    return item_;
  }

 public slots:
  void RegisterStatusNotifierItem(const QString& service) {
    const QMutexLocker lock(&mutex_);
    item_ = service;
  }
  void RegisterStatusNotifierHost(const QString&) {}

 private:
  mutable QMutex mutex_;
  QString item_;
};

// One entry of a dbusmenu layout: (ia{sv}av).
struct MenuNode {
  int id = 0;
  QVariantMap properties;
  QList<MenuNode> children;

  QString label() const { return properties.value("type") == "separator" ? "-" : properties.value("label").toString(); }
  bool enabled() const { return properties.value("enabled", true).toBool(); }
  int toggleState() const { return properties.value("toggle-state", -1).toInt(); }
  const MenuNode* child(const QString& text) const {
    for (const MenuNode& node : children) {
      if (node.label() == text) return &node;
    }
    return nullptr;
  }
  QStringList labels() const {
    QStringList texts;
    for (const MenuNode& node : children) texts << node.label();
    return texts;
  }
};

MenuNode readNode(const QDBusArgument& argument) {
  MenuNode node;
  argument.beginStructure();
  argument >> node.id >> node.properties;
  argument.beginArray();
  while (!argument.atEnd()) {
    QDBusVariant child;
    argument >> child;
    node.children << readNode(child.variant().value<QDBusArgument>());
  }
  argument.endArray();
  argument.endStructure();
  return node;
}

}  // namespace

class TrayHostTest : public QObject {
  Q_OBJECT

 public:
  explicit TrayHostTest(const PrivateDesktop& desktop) : desktop_(desktop) {}

 private slots:
  void initTestCase() {
    if (!desktop_.ready) QSKIP("Xvfb or dbus-daemon is missing or did not start");
    auto* watcher = new FakeWatcher;  // deleted when its thread ends
    watcher_ = watcher;
    watcher->moveToThread(&hostThread_);
    connect(&hostThread_, &QThread::finished, watcher, &QObject::deleteLater);
    hostThread_.start();
    bool registered = false;
    QMetaObject::invokeMethod(watcher, [&] {  // the bus connects the watcher in its own thread
      QDBusConnection host = QDBusConnection::connectToBus(desktop_.address, "host");
      registered = host.registerObject("/StatusNotifierWatcher", watcher, QDBusConnection::ExportAllContents) &&
                   host.registerService("org.kde.StatusNotifierWatcher");
    }, Qt::BlockingQueuedConnection);
    QVERIFY(registered);
    QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
  }

  void cleanupTestCase() {
    if (watcher_ == nullptr) return;
    QMetaObject::invokeMethod(watcher_, [] { QDBusConnection::disconnectFromBus("host"); }, Qt::BlockingQueuedConnection);
    hostThread_.quit();
    hostThread_.wait();
  }

  void trayRegistersWithTheHostAndExportsItsMenu() {
    UiFixture f(AppState::wowDefault());
    TandemoApp app(*f.controller, {true, &f.desktop.mouse()});
    app.start();
    QVERIFY(app.hasTray());
    QVERIFY(QTest::qWaitFor([&] { return !watcher_->item().isEmpty(); }, 10000));
    item_ = watcher_->item();

    const auto properties = qdbus_cast<QVariantMap>(
        call("org.freedesktop.DBus.Properties", "GetAll", "/StatusNotifierItem", {"org.kde.StatusNotifierItem"}).value(0));
    QCOMPARE(properties.value("Status").toString(), QString("Active"));
    menuPath_ = properties.value("Menu").value<QDBusObjectPath>().path();

    MenuNode menu = layout();
    QCOMPARE(menu.labels(), QStringList({"Rival 500 connected", "Profile: Everywhere else", "-", "Open Tandemo\u2026",
                                         "Write settings to mouse", "Profile", "-", "Virtual mouse\u2026", "-",
                                         "Quit Tandemo"}));
    QVERIFY(!menu.child("Rival 500 connected")->enabled());
    QVERIFY(menu.child("Write settings to mouse")->enabled());
    const MenuNode* profiles = menu.child("Profile");
    QCOMPARE(profiles->labels(), QStringList({"Automatic (by front app)", "-", "World of Warcraft", "Everywhere else"}));
    QCOMPARE(profiles->child("Automatic (by front app)")->toggleState(), 1);
    QCOMPARE(profiles->child("World of Warcraft")->toggleState(), 0);

    // Choosing a profile through the host pins it, and the exported check marks follow.
    click(profiles->child("World of Warcraft")->id);
    QVERIFY(QTest::qWaitFor([&] { return f.controller->state().pinnedProfileID.has_value(); }, 10000));
    QVERIFY(f.controller->state().pinnedProfileID == f.controller->state().profiles.at(0).id);
    menu = layout();
    QCOMPARE(menu.child("Profile")->child("World of Warcraft")->toggleState(), 1);
    QCOMPARE(menu.child("Profile")->child("Automatic (by front app)")->toggleState(), 0);
    QVERIFY(menu.child("Profile: World of Warcraft"));
    const auto reports = f.desktop.mouse().reports().size();
    click(menu.child("Write settings to mouse")->id);
    QVERIFY(QTest::qWaitFor([&] { f.advance(0.5); return f.desktop.mouse().reports().size() > reports; }, 10000));

    // Unplugged: the status line and the disabled write entry reach the host.
    f.desktop.mouse().unplug();
    f.advance(1.0);
    QVERIFY(QTest::qWaitFor([&] { return layout().child("Rival 500 not plugged in"); }, 10000));
    QVERIFY(!layout().child("Write settings to mouse")->enabled());
  }

 private:
  // The app's item is served by the main thread, so the call is asynchronous and the loop turns.
  QVariantList call(const QString& interface, const QString& method, const QString& path, const QVariantList& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(item_, path, interface, method);
    message.setArguments(args);
    QDBusPendingCall pending = QDBusConnection::connectToBus(desktop_.address, "client").asyncCall(message);
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 10000) || pending.isError()) return {};
    return pending.reply().arguments();
  }

  void click(int id) {
    call(kMenu, "Event", menuPath_, {id, QString("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
  }
  MenuNode layout() {
    const QVariantList reply = call(kMenu, "GetLayout", menuPath_, {0, -1, QStringList()});
    return reply.size() < 2 ? MenuNode{} : readNode(reply.at(1).value<QDBusArgument>());
  }

  const PrivateDesktop& desktop_;
  QThread hostThread_;
  FakeWatcher* watcher_ = nullptr;
  QString item_, menuPath_;
};

int main(int argc, char** argv) {
  const PrivateDesktop desktop;
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tandemo");
  TrayHostTest test(desktop);
  return QTest::qExec(&test, argc, argv);
}

#include "TrayHostTest.moc"
