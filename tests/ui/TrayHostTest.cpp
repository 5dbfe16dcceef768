// The tray icon against a tray host: a private X server and session bus, and a minimal
// StatusNotifierWatcher on that bus, so that Qt exports the icon as a StatusNotifierItem with
// its menu over com.canonical.dbusmenu, as it does on a desktop with a tray. Skips when Xvfb or
// dbus-daemon is missing.

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QMenu>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTest>
#include <QSemaphore>
#include <QThread>
#include <memory>
#include <utility>

#include "UiFixture.h"
#include "ui/TandemoApp.h"

using tandemo::AppState;
using tandemo::ui::TandemoApp;
using tandemo::ui::testing::UiFixture;

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItem = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenu = QStringLiteral("com.canonical.dbusmenu");

// A private Xvfb and session bus for this process, set up before QApplication reads DISPLAY and
// the bus address. `problem` says why not, and the tests then skip.
struct PrivateDesktop {
  PrivateDesktop() {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty()) {
      problem = "Xvfb is not installed";
    } else if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) {
      problem = "dbus-daemon is not installed";
    } else {
      display = firstLine(xvfb, "Xvfb", {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
      address = firstLine(bus, "dbus-daemon", {"--session", "--nofork", "--print-address"});
      if (display.isEmpty() || address.isEmpty()) problem = "Xvfb or dbus-daemon did not start";
    }
    if (problem.isEmpty()) {
      qputenv("DISPLAY", ":" + display.toLocal8Bit());
      qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLocal8Bit());
      qputenv("QT_QPA_PLATFORM", "xcb");
      qunsetenv("XDG_CURRENT_DESKTOP");  // Qt's generic theme, which exports the tray over D-Bus
    }
  }
  ~PrivateDesktop() {
    for (QProcess* process : {&bus, &xvfb}) {
      process->kill();
      process->waitForFinished(5000);
    }
  }

  static QString firstLine(QProcess& process, const QString& program, const QStringList& arguments) {
    process.start(program, arguments);
    if (!process.waitForReadyRead(10000)) return {};
    return QString::fromUtf8(process.readLine()).trimmed();
  }

  QProcess xvfb, bus;
  QString display, address, problem;
};

// What the host has been told, read by the test while the host's thread writes it.
struct Registrations {
  QStringList items() const {
    const QMutexLocker lock(&mutex);
    return services;
  }
  mutable QMutex mutex;
  QStringList services;
};

// The host side of the protocol.
class FakeWatcher final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
  Q_PROPERTY(int ProtocolVersion READ protocolVersion)

 public:
  explicit FakeWatcher(Registrations& registrations) : registrations_(registrations) {}
  bool hostRegistered() const { return true; }
  int protocolVersion() const { return 0; }
  QStringList items() const { return registrations_.items(); }

 public slots:
  void RegisterStatusNotifierItem(const QString& service) {
    {
      const QMutexLocker lock(&registrations_.mutex);
      registrations_.services << service;
    }
    emit StatusNotifierItemRegistered(service);
  }
  void RegisterStatusNotifierHost(const QString&) {}

 signals:
  void StatusNotifierItemRegistered(const QString& service);
  void StatusNotifierItemUnregistered(const QString& service);
  void StatusNotifierHostRegistered();

 private:
  Registrations& registrations_;
};

// The watcher runs in a thread of its own, on a connection of its own: Qt asks it whether a
// host is registered with blocking calls from the main thread.
class HostThread final : public QThread {
 public:
  HostThread(QString address, Registrations& registrations) : address_(std::move(address)), registrations_(registrations) {}
  // Starts the thread and waits until the watcher's name is on the bus.
  bool begin() {
    start();
    ready_.acquire();
    return registered_;
  }

 protected:
  void run() override {
    {
      QDBusConnection bus = QDBusConnection::connectToBus(address_, "host");
      FakeWatcher watcher(registrations_);
      registered_ = bus.registerObject("/StatusNotifierWatcher", &watcher, QDBusConnection::ExportAllContents) &&
                    bus.registerService(kWatcher);
      ready_.release();
      exec();
      bus.unregisterService(kWatcher);
      bus.unregisterObject("/StatusNotifierWatcher");
    }
    QDBusConnection::disconnectFromBus("host");
  }

 private:
  QString address_;
  Registrations& registrations_;
  QSemaphore ready_;
  bool registered_ = false;
};

// One entry of a dbusmenu layout: (ia{sv}av).
struct MenuNode {
  int id = 0;
  QVariantMap properties;
  QList<MenuNode> children;

  QString label() const { return properties.value("label").toString(); }
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
    for (const MenuNode& node : children) {
      texts << (node.properties.value("type") == "separator" ? QStringLiteral("-") : node.label());
    }
    return texts;
  }
};

MenuNode readNode(const QDBusArgument& argument) {
  MenuNode node;
  argument.beginStructure();
  argument >> node.id;
  argument.beginMap();
  while (!argument.atEnd()) {
    QString key;
    QDBusVariant value;
    argument.beginMapEntry();
    argument >> key >> value;
    argument.endMapEntry();
    node.properties.insert(key, value.variant());
  }
  argument.endMap();
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

// The app's exported item and menu are served by the main thread, so every call from the test
// is asynchronous and the event loop turns while it waits.
std::optional<QDBusMessage> call(QDBusConnection& connection, const QDBusMessage& message) {
  QDBusPendingCall pending = connection.asyncCall(message);
  if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 10000)) return std::nullopt;
  return pending.reply();
}

}  // namespace

class TrayHostTest : public QObject {
  Q_OBJECT

 public:
  explicit TrayHostTest(const PrivateDesktop& desktop) : desktop_(desktop) {}

 private slots:
  void initTestCase() {
    if (!desktop_.problem.isEmpty()) QSKIP(qPrintable(desktop_.problem));
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    host_ = std::make_unique<HostThread>(desktop_.address, registrations_);
    QVERIFY(host_->begin());
    QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
  }

  void cleanupTestCase() {
    if (!host_) return;
    host_->quit();
    host_->wait();
  }

  void trayRegistersWithTheHostAndExportsItsMenu() {
    UiFixture f(AppState::wowDefault());
    TandemoApp app(*f.controller, {true, &f.desktop.mouse()});
    app.start();
    QVERIFY(app.hasTray());
    QVERIFY(QTest::qWaitFor([&] { return !registrations_.items().isEmpty(); }, 10000));
    const QString item = registrations_.items().constLast();

    const QVariantMap properties = itemProperties(item);
    QCOMPARE(properties.value("Status").toString(), QString("Active"));
    const bool named = !properties.value("IconName").toString().isEmpty();
    QVERIFY2(named || hasPixmaps(properties.value("IconPixmap")), "the item shows no icon");
    QCOMPARE(tooltipTitle(properties.value("ToolTip")), QString("Tandemo \u2014 Rival 500 connected"));
    const QString menuPath = properties.value("Menu").value<QDBusObjectPath>().path();
    QVERIFY(!menuPath.isEmpty());

    MenuNode menu = layout(item, menuPath);
    const QStringList expected = {"Rival 500 connected", "Profile: Everywhere else", "-", "Open Tandemo\u2026",
                                  "Write settings to mouse", "Profile", "-", "Virtual mouse\u2026", "-",
                                  "Quit Tandemo"};
    QCOMPARE(menu.labels(), expected);
    QVERIFY(!menu.child("Rival 500 connected")->enabled());
    QVERIFY(menu.child("Write settings to mouse")->enabled());
    const MenuNode* profiles = menu.child("Profile");
    QCOMPARE(profiles->properties.value("children-display").toString(), QString("submenu"));
    QCOMPARE(profiles->labels(), QStringList({"Automatic (by front app)", "-", "World of Warcraft", "Everywhere else"}));
    QCOMPARE(profiles->child("Automatic (by front app)")->toggleState(), 1);
    QCOMPARE(profiles->child("World of Warcraft")->toggleState(), 0);

    // Choosing a profile through the host pins it, and the exported check marks follow.
    QVERIFY(!f.controller->state().pinnedProfileID);
    click(item, menuPath, profiles->child("World of Warcraft")->id);
    QVERIFY(QTest::qWaitFor([&] { return f.controller->state().pinnedProfileID.has_value(); }, 10000));
    QVERIFY(f.controller->state().pinnedProfileID == f.controller->state().profiles.at(0).id);
    menu = layout(item, menuPath);
    QCOMPARE(menu.child("Profile")->child("World of Warcraft")->toggleState(), 1);
    QCOMPARE(menu.child("Profile")->child("Automatic (by front app)")->toggleState(), 0);
    QVERIFY(menu.child("Profile: World of Warcraft"));

    // Unplugged: the status line, the disabled write entry and the tooltip reach the host.
    f.desktop.mouse().unplug();
    f.advance(1.0);
    QVERIFY(QTest::qWaitFor([&] { return layout(item, menuPath).child("Rival 500 not plugged in"); }, 10000));
    QVERIFY(!layout(item, menuPath).child("Write settings to mouse")->enabled());
    QCOMPARE(tooltipTitle(itemProperties(item).value("ToolTip")), QString("Tandemo \u2014 Rival 500 not plugged in"));

    // "Open Tandemo…" from the host shows the window.
    app.window().hide();
    click(item, menuPath, menu.child("Open Tandemo\u2026")->id);
    QVERIFY(QTest::qWaitFor([&] { return app.window().isVisible(); }, 10000));
  }

 private:
  QDBusConnection client() { return QDBusConnection::connectToBus(desktop_.address, "client"); }

  QVariantMap itemProperties(const QString& item) {
    QDBusConnection bus = client();
    QDBusMessage message = QDBusMessage::createMethodCall(item, "/StatusNotifierItem",
                                                          "org.freedesktop.DBus.Properties", "GetAll");
    message << kItem;
    const auto reply = call(bus, message);
    if (!reply || reply->type() != QDBusMessage::ReplyMessage) return {};
    return qdbus_cast<QVariantMap>(reply->arguments().at(0));
  }

  MenuNode layout(const QString& item, const QString& path) {
    QDBusConnection bus = client();
    QDBusMessage message = QDBusMessage::createMethodCall(item, path, kMenu, "GetLayout");
    message << 0 << -1 << QStringList();
    const auto reply = call(bus, message);
    if (!reply || reply->type() != QDBusMessage::ReplyMessage || reply->arguments().size() < 2) return {};
    return readNode(reply->arguments().at(1).value<QDBusArgument>());
  }

  void click(const QString& item, const QString& path, int id) {
    QDBusConnection bus = client();
    QDBusMessage message = QDBusMessage::createMethodCall(item, path, kMenu, "Event");
    message << id << QString("clicked") << QVariant::fromValue(QDBusVariant(QString())) << 0u;
    QVERIFY(call(bus, message).has_value());
  }

  static bool hasPixmaps(const QVariant& value) {
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentType() != QDBusArgument::ArrayType) return false;
    argument.beginArray();
    const bool any = !argument.atEnd();
    while (!argument.atEnd()) {
      int width = 0, height = 0;
      QByteArray bytes;
      argument.beginStructure();
      argument >> width >> height >> bytes;
      argument.endStructure();
      if (width <= 0 || bytes.size() != width * height * 4) return false;
    }
    argument.endArray();
    return any;
  }

  // ToolTip is (sa(iiay)ss): icon name, icon pixmaps, title, text.
  static QString tooltipTitle(const QVariant& value) {
    const auto argument = value.value<QDBusArgument>();
    QString iconName, title, text;
    argument.beginStructure();
    argument >> iconName;
    argument.beginArray();
    while (!argument.atEnd()) {
      int width = 0, height = 0;
      QByteArray bytes;
      argument.beginStructure();
      argument >> width >> height >> bytes;
      argument.endStructure();
    }
    argument.endArray();
    argument >> title >> text;
    argument.endStructure();
    return title.isEmpty() ? text : title;
  }

  const PrivateDesktop& desktop_;
  Registrations registrations_;
  std::unique_ptr<HostThread> host_;
};

int main(int argc, char** argv) {
  const PrivateDesktop desktop;
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tandemo");
  TrayHostTest test(desktop);
  return QTest::qExec(&test, argc, argv);
}

#include "TrayHostTest.moc"
