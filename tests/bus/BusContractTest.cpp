#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <signal.h>

#include <functional>
#include <memory>
#include <vector>

// The session-bus contract of docs/dbus.md, against `tandemo --headless --simulate` on a
// private dbus-daemon. Every wait is bounded; none of them is an assertion about time.
namespace {

constexpr const char* kService = "org.tandemo.Tandemo";
constexpr const char* kPath = "/org/tandemo/Tandemo";
constexpr const char* kInterface = "org.tandemo.Tandemo1";
constexpr int kWaitMs = 5000;
constexpr int kAnotherInstance = 4;  // a headless start that finds another Tandemo

QString errorName(const QString& name) { return QString("org.tandemo.Tandemo1.Error.") + name; }

QDBusMessage method(const QString& name, const QVariantList& arguments = {}) {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, name);
  call.setArguments(arguments);
  return call;
}

// The settings file a case starts from.
enum class Settings { none, noWriteOnConnect, twoNamedAlike, newlineInName, folder, unwritable };

}  // namespace

Q_DECLARE_METATYPE(Settings)

class BusContractTest : public QObject {
  Q_OBJECT

 public slots:
  void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
    if (interface == kInterface) changes_ << changed;
  }

 private slots:
  void initTestCase() {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) QSKIP("dbus-daemon is not installed");
    daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    QVERIFY(daemon_.waitForReadyRead(kWaitMs));
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    QVERIFY(bus().isConnected());
    QVERIFY(bus().connect(kService, kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged", this,
                          SLOT(propertiesChanged(QString,QVariantMap,QStringList))));
  }

  void cleanupTestCase() {
    QDBusConnection::disconnectFromBus("test");
    daemon_.kill();
    daemon_.waitForFinished(kWaitMs);
  }

  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    changes_.clear();
  }

  void cleanup() {
    for (const auto& app : apps_) {
      if (app->state() == QProcess::NotRunning) continue;
      app->kill();
      app->waitForFinished(kWaitMs);
    }
    apps_.clear();
    QVERIFY(waitForOwner(false));
  }

  void methodsPropertiesAndSignals() {
    QProcess& app = start(prepare(Settings::none));
    const QString xml = call(QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Introspectable",
                                                            "Introspect"))
                            .arguments()
                            .value(0)
                            .toString();
    QVERIFY(xml.contains("<interface name=\"org.tandemo.Tandemo1\">"));
    for (const char* name :
         {"Write", "WriteAsSet", "Reset", "ReadFirmware", "Pin", "ShowWindow", "ReloadSettings", "Quit"}) {
      QVERIFY2(xml.contains(QString("<method name=\"%1\">").arg(name)), name);
    }
    const std::pair<const char*, const char*> typed[] = {
        {"Connected", "b"}, {"Firmware", "s"}, {"KeyboardState", "s"}, {"ActiveProfile", "s"},
        {"PinnedProfile", "s"}, {"Writing", "b"}, {"LastWrite", "s"}, {"PressedButtons", "as"},
        {"Simulated", "b"}, {"SettingsFile", "s"}};
    for (const auto& [name, type] : typed) {
      QVERIFY2(xml.contains(QString("<property name=\"%1\" type=\"%2\" access=\"read\"").arg(name, type)), name);
    }

    // The write on connection has ended and the firmware is known, as the signals told.
    QTRY_COMPARE_WITH_TIMEOUT(latest("LastWrite"), QVariant("Written to the mouse"), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(latest("Firmware"), QVariant("1.07"), kWaitMs);
    QCOMPARE(property("Firmware").toString(), QString("1.07"));
    QCOMPARE(property("Connected").toBool(), true);
    QCOMPARE(property("Simulated").toBool(), true);
    QCOMPARE(property("SettingsFile").toString(), statePath());
    QCOMPARE(property("KeyboardState").toString(), QString("seized: Tandemo is handling the app-controlled buttons."));
    QCOMPARE(property("ActiveProfile").toString(), QString("Everywhere else"));
    QCOMPARE(property("PinnedProfile").toString(), QString());
    QCOMPARE(property("PressedButtons").toStringList(), QStringList());

    changes_.clear();
    QCOMPARE(answer(call(method("Write", {true}))), QString("Written and saved to the mouse's memory"));
    // Writing rose and fell; each signal carries only what changed.
    QTRY_COMPARE_WITH_TIMEOUT(latest("LastWrite"), QVariant("Written and saved to the mouse's memory"), kWaitMs);
    QCOMPARE(changes_.first(), (QVariantMap{{"Writing", true}}));
    QCOMPARE(latest("Writing"), QVariant(false));

    // A second call while the first writes is refused at once, never queued.
    QDBusPendingCall first = bus().asyncCall(method("Write", {false}));
    QDBusPendingCall second = bus().asyncCall(method("Write", {false}));
    second.waitForFinished();
    first.waitForFinished();
    QCOMPARE(second.error().name(), errorName("AlreadyWriting"));
    QCOMPARE(second.error().message(), QString("A write to the mouse is already under way."));
    QCOMPARE(answer(first.reply()), QString("Written to the mouse"));

    QCOMPARE(answer(call(method("WriteAsSet"))), QString("Written and saved to the mouse's memory"));
    QCOMPARE(answer(call(method("ReadFirmware"))), QString("1.07"));
    QCOMPARE(answer(call(method("Reset"))), QString("Written and saved to the mouse's memory"));
    QVERIFY2(QFile::exists(statePath()), "Reset saves the factory settings before it answers");

    // A caller that leaves while its write runs is not answered; the app goes on serving.
    changes_.clear();
    {
      QDBusConnection leaver = QDBusConnection::connectToBus(address_, "leaver");
      leaver.asyncCall(method("Write", {false}));
      QTRY_COMPARE_WITH_TIMEOUT(latest("Writing"), QVariant(true), kWaitMs);
    }
    QDBusConnection::disconnectFromBus("leaver");
    QTRY_COMPARE_WITH_TIMEOUT(latest("Writing"), QVariant(false), kWaitMs);
    QCOMPARE(answer(call(method("Write", {false}))), QString("Written to the mouse"));

    QCOMPARE(call(method("Quit")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(app.waitForFinished(kWaitMs));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
  }

  void errors_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("message");  // empty: checked in the case below
    const QString unplugged = "The Rival 500 is not plugged in.";
    const QStringList none;
    const QStringList out{"--simulate-unplugged"};
    QTest::newRow("Write, unplugged") << out << Settings::none << "Write" << QVariantList{true} << "NotConnected"
                                      << unplugged;
    QTest::newRow("Reset, unplugged") << out << Settings::none << "Reset" << QVariantList{} << "NotConnected"
                                      << unplugged;
    QTest::newRow("ReadFirmware, unplugged")
        << out << Settings::none << "ReadFirmware" << QVariantList{} << "NotConnected" << unplugged;
    QTest::newRow("Write, refused") << QStringList{"--simulate-refuse", "1"} << Settings::noWriteOnConnect << "Write"
                                    << QVariantList{false} << "WriteFailed" << QString();
    QTest::newRow("ReadFirmware, no answer") << QStringList{"--simulate-firmware", "none"} << Settings::none
                                             << "ReadFirmware" << QVariantList{} << "NoAnswer"
                                             << "The mouse did not answer.";
    QTest::newRow("Reset, settings not saved") << none << Settings::unwritable << "Reset" << QVariantList{}
                                               << "SaveFailed" << QString();
    QTest::newRow("ShowWindow, headless") << none << Settings::none << "ShowWindow" << QVariantList{} << "Headless"
                                          << "Tandemo runs without a window (tandemo --headless).";
    QTest::newRow("Pin, unknown") << none << Settings::none << "Pin" << QVariantList{"Nobody"} << "UnknownProfile"
                                  << QString();
    QTest::newRow("Pin, two named alike") << none << Settings::twoNamedAlike << "Pin"
                                          << QVariantList{"World of Warcraft"} << "AmbiguousProfile" << QString();
    QTest::newRow("ReloadSettings, a folder") << none << Settings::folder << "ReloadSettings" << QVariantList{}
                                              << "UnreadableSettings" << QString();
  }

  void errors() {
    QFETCH(QStringList, options);
    QFETCH(Settings, settings);
    QFETCH(QString, name);
    QFETCH(QVariantList, arguments);
    QFETCH(QString, error);
    QFETCH(QString, message);
    QProcess& app = start(prepare(settings) + options);
    if (property("Connected").toBool()) {
      QTRY_VERIFY_WITH_TIMEOUT(!property("Firmware").toString().isEmpty() || options.contains("none"), kWaitMs);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!property("Writing").toBool(), kWaitMs);
    const QDBusMessage reply = call(method(name, arguments));
    QCOMPARE(reply.errorName(), errorName(error));
    if (!message.isEmpty()) QCOMPARE(reply.errorMessage(), message);
    if (error == "WriteFailed") QCOMPARE(reply.errorMessage(), property("LastWrite").toString());
    if (error == "SaveFailed") QVERIFY(reply.errorMessage().startsWith("Could not save settings: "));
    QVERIFY(!reply.errorMessage().isEmpty());
    // The app goes on after every refusal.
    QCOMPARE(call(method("Quit")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(app.waitForFinished(kWaitMs));
    QCOMPARE(app.exitCode(), 0);
  }

  // Quitting saves what is pending: a pin is saved after a delay, so only quitting writes it.
  void quittingSaves_data() {
    QTest::addColumn<bool>("bySignal");
    QTest::newRow("Quit()") << false;
    QTest::newRow("SIGTERM") << true;
  }

  void quittingSaves() {
    QFETCH(bool, bySignal);
    QProcess& app = start(prepare(Settings::none));
    const QDBusMessage pinned = call(method("Pin", {"World of Warcraft"}));
    if (bySignal) {
      app.terminate();
    } else {
      QCOMPARE(call(method("Quit")).type(), QDBusMessage::ReplyMessage);
    }
    QVERIFY(app.waitForFinished(kWaitMs));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
    if (pinned.type() == QDBusMessage::ErrorMessage) QSKIP("Controller::pin() is not implemented in this build");
    QFile file(statePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(QJsonDocument::fromJson(file.readAll()).object().contains("pinnedProfileID"));
  }

  void oneInstancePerSession() {
    const QStringList options = prepare(Settings::none);
    QProcess& headless = start(options);
    // A headless start finds the first and does nothing, with a status systemd does not retry.
    QProcess& again = start(options, false, false);
    QVERIFY(again.waitForFinished(kWaitMs));
    QCOMPARE(again.exitCode(), kAnotherInstance);
    QVERIFY(again.readAllStandardError().contains("already runs in this session"));

    // A windowed start asks the headless one to quit and takes its place.
    QProcess& windowed = start(options, true, false);
    QVERIFY(headless.waitForFinished(kWaitMs));
    QCOMPARE(headless.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(bus().interface()->servicePid(kService).value(), uint(windowed.processId()), kWaitMs);
    QCOMPARE(call(method("ShowWindow")).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(call(method("Quit")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(windowed.waitForFinished(kWaitMs));
    QCOMPARE(windowed.exitCode(), 0);
  }

  // tandemoctl prints and exits alike whether the app does the work or it opens the (simulated)
  // mouse itself; only the keyboard line differs, as the command line alone never seizes it.
  void tandemoctlThroughTheAppAndAlone_data() {
    QTest::addColumn<bool>("unplugged");
    QTest::newRow("plugged in") << false;
    QTest::newRow("unplugged") << true;
  }

  void tandemoctlThroughTheAppAndAlone() {
    QFETCH(bool, unplugged);
    const QStringList commands[] = {{"status"}, {"firmware"}, {"write", "--no-save"}, {"write", "--save"},
                                    {"write"}, {"reset"}, {"pin", "World of Warcraft"}, {"pin", "Nobody"},
                                    {"pin", "auto"}, {"status"}};
    const QStringList simulation = unplugged ? QStringList{"--simulate-unplugged"} : QStringList{};
    QProcess& app = start(prepare(Settings::twoNamedAlike) + simulation);
    QTRY_VERIFY_WITH_TIMEOUT(unplugged || !property("Firmware").toString().isEmpty(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!property("Writing").toBool(), kWaitMs);
    QStringList throughApp;
    for (const QStringList& command : commands) throughApp << command.join(' ') + tandemoctl(command);
    QCOMPARE(call(method("Quit")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(app.waitForFinished(kWaitMs));
    QVERIFY(waitForOwner(false));

    prepare(Settings::twoNamedAlike);
    QStringList alone;
    for (const QStringList& command : commands) {
      const QStringList simulated = command.first() == "pin" ? QStringList{} : QStringList{"--simulate"} + simulation;
      alone << command.join(' ') + tandemoctl(command + simulated + QStringList{"--state", statePath()});
    }
    throughApp.replaceInStrings("keyboard: seized", "keyboard: idle");
    QCOMPARE(throughApp, alone);
    QVERIFY(alone.join('\n').contains(unplugged ? "exit 3" : "Written and saved to the mouse's memory"));
    QVERIFY(alone.join('\n').contains("pin World of Warcraft -> exit 1\n--\n"));
  }

  // Failures through the app exit with 1; those that have a counterpart alone print alike.
  void tandemoctlFailuresThroughTheAppAndAlone_data() {
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<QStringList>("simulation");
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("error");  // empty: as alone
    QTest::newRow("refused") << Settings::noWriteOnConnect << QStringList{"--simulate-refuse", "1"}
                             << QStringList{"write"} << QString();
    QTest::newRow("no answer") << Settings::noWriteOnConnect << QStringList{"--simulate-firmware", "none"}
                               << QStringList{"firmware"} << QString();
    QTest::newRow("not saved") << Settings::unwritable << QStringList{} << QStringList{"reset"}
                               << "tandemoctl: Could not save settings: ";
  }

  void tandemoctlFailuresThroughTheAppAndAlone() {
    QFETCH(Settings, settings);
    QFETCH(QStringList, simulation);
    QFETCH(QStringList, command);
    QFETCH(QString, error);
    const QStringList state = prepare(settings);
    QProcess& app = start(state + simulation);
    QTRY_VERIFY_WITH_TIMEOUT(!property("Writing").toBool(), kWaitMs);
    const QString throughApp = tandemoctl(command);
    QCOMPARE(call(method("Quit")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(app.waitForFinished(kWaitMs));
    QVERIFY(waitForOwner(false));
    if (error.isEmpty()) QCOMPARE(throughApp, tandemoctl(command + QStringList{"--simulate"} + simulation + state));
    QVERIFY2(throughApp.startsWith(" -> exit 1\n--\n" + error), qPrintable(throughApp));
  }

  // What only the app refuses: a second write while one runs, and a settings file it does not own.
  void tandemoctlRefusedByTheApp() {
    const qint64 app = start(prepare(Settings::noWriteOnConnect)).processId();
    QDBusPendingCall running = bus().asyncCall(method("Write", {false}));
    QTRY_COMPARE_WITH_TIMEOUT(latest("Writing"), QVariant(true), kWaitMs);
    // Held still until tandemoctl is on the bus, the app answers it long before its own write ends.
    ::kill(pid_t(app), SIGSTOP);
    const qsizetype connections = bus().interface()->registeredServiceNames().value().size();
    QCOMPARE(tandemoctl({"write"}, [&] {
               QTRY_VERIFY_WITH_TIMEOUT(bus().interface()->registeredServiceNames().value().size() > connections,
                                        kWaitMs);
               ::kill(pid_t(app), SIGCONT);
             }),
             QString(" -> exit 1\n--\nA write to the mouse is already under way.\n"));
    running.waitForFinished();
    QCOMPARE(answer(running.reply()), QString("Written to the mouse"));

    const QString other = dir_->filePath("other.json");
    QCOMPARE(tandemoctl({"write", "--no-save", "--state", other}),
             QString(" -> exit 2\n--\ntandemoctl: the running Tandemo owns the settings file %1; quit it to use %2, "
                     "or leave out --state\n").arg(statePath(), other));
    QVERIFY(QFile::link(statePath(), dir_->filePath("link.json")));
    for (const QString& same : {dir_->filePath("link.json"), QDir::current().relativeFilePath(statePath())}) {
      QCOMPARE(tandemoctl({"write", "--no-save", "--state", same}), QString(" -> exit 0\nWritten to the mouse\n--\n"));
    }
  }

  // `tandemoctl watch`: a block when the app appears, a line per change, one line when it goes.
  // The firmware never answers, so nothing changes unasked.
  void watch_data() {
    QTest::addColumn<bool>("json");
    QTest::newRow("text") << false;
    QTest::newRow("json") << true;
  }

  void watch() {
    QFETCH(bool, json);
    const QStringList options = prepare(Settings::newlineInName) + QStringList{"--simulate-firmware", "none"};
    const QString block =
        json ? "{\"running\":true,\"connected\":true,\"firmware\":\"\",\"keyboard\":\"seized: Tandemo is handling the "
               "app-controlled buttons.\",\"profile\":\"Raid\\nnight\",\"pinned\":\"%1\",\"writing\":false,"
               "\"lastWrite\":\"\",\"pressed\":[]}"
             : "running yes\nconnected yes\nfirmware unknown\nkeyboard seized: Tandemo is handling the app-controlled "
               "buttons.\nprofile Raid night\npinned %1\nwriting no\nlastwrite\npressed none";
    const QString gone = json ? "{\"running\":false,\"connected\":null,\"firmware\":null,\"keyboard\":null,"
                                "\"profile\":null,\"pinned\":null,\"writing\":null,\"lastWrite\":null,\"pressed\":null}"
                              : "running no";
    const QString pinned = json ? "Raid\\nnight" : "Raid night";
    const int blockLines = json ? 1 : 9;
    QProcess watch;
    watch.setProcessEnvironment(environment());
    watch.start(TANDEMOCTL_EXE, json ? QStringList{"watch", "--json"} : QStringList{"watch"});
    QCOMPARE(lines(watch, 1), gone);
    QProcess& app = start(options);
    QCOMPARE(lines(watch, blockLines), block.arg(json ? "" : "auto"));
    // Another connection's signal does not speak for the app.
    bus().send(QDBusMessage::createSignal(kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged")
               << QString(kInterface) << QVariantMap{{"Connected", false}} << QStringList());
    QCOMPARE(call(method("Pin", {"Raid\nnight"})).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(lines(watch, 1), json ? block.arg(pinned) : "pinned " + pinned);
    if (!json) {
      QCOMPARE(answer(call(method("Write", {false}))), QString("Written to the mouse"));
      QCOMPARE(lines(watch, 3), QString("writing yes\nwriting no\nlastwrite Written to the mouse"));
    }
    QCOMPARE(call(method("Quit")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(app.waitForFinished(kWaitMs));
    QCOMPARE(lines(watch, 1), gone);
    start(options);
    QCOMPARE(lines(watch, blockLines), block.arg(pinned));
    watch.terminate();
    QVERIFY(watch.waitForFinished(kWaitMs));
    QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
    QCOMPARE(watch.exitCode(), 0);
    QCOMPARE(watch.readAllStandardError(), QByteArray());
  }

 private:
  // One run of tandemoctl on the test's bus: its exit status, standard output and error.
  QString tandemoctl(const QStringList& arguments, const std::function<void()>& meanwhile = [] {}) {
    QProcess ctl;
    ctl.setProcessEnvironment(environment());
    ctl.start(TANDEMOCTL_EXE, arguments);
    meanwhile();
    if (!ctl.waitForFinished(kWaitMs)) return " did not finish";
    return QString(" -> exit %1\n").arg(ctl.exitCode()) + ctl.readAllStandardOutput() +
           "--\n" + ctl.readAllStandardError();
  }

  // `count` lines of a running process's output, each waited for a bounded time.
  static QString lines(QProcess& process, int count) {
    QStringList read;
    while (read.size() < count && (process.canReadLine() || process.waitForReadyRead(kWaitMs))) {
      while (read.size() < count && process.canReadLine()) read << QString::fromUtf8(process.readLine()).chopped(1);
    }
    return read.join('\n');
  }

  QProcessEnvironment environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address_);
    environment.insert("XDG_RUNTIME_DIR", dir_->path());
    environment.insert("XDG_CONFIG_HOME", dir_->filePath("config"));
    return environment;
  }

  QDBusConnection bus() const { return QDBusConnection::connectToBus(address_, "test"); }
  QString statePath() const { return dir_->filePath("state.json"); }

  // The --state option (and the file's content) for `settings`.
  QStringList prepare(Settings settings) {
    QString path = statePath();
    QJsonObject state;
    if (settings == Settings::noWriteOnConnect || settings == Settings::twoNamedAlike ||
        settings == Settings::newlineInName) {
      QFile example(TANDEMO_TEST_DATA "/valid-example.json");
      if (example.open(QIODevice::ReadOnly)) state = QJsonDocument::fromJson(example.readAll()).object();
    }
    switch (settings) {
      case Settings::none: break;
      case Settings::noWriteOnConnect: state["writeOnConnect"] = false; break;
      case Settings::twoNamedAlike: {
        QJsonArray profiles = state["profiles"].toArray();
        QJsonObject twin = profiles.first().toObject();
        twin["id"] = "0E9D8C7B-6A5F-4E3D-8C2B-1A0F9E8D7C6B";
        profiles.append(twin);
        state["profiles"] = profiles;
        break;
      }
      case Settings::newlineInName: {
        QJsonArray profiles = state["profiles"].toArray();
        QJsonObject first = profiles.first().toObject();
        first["name"] = "Raid\nnight";
        profiles[0] = first;
        state["profiles"] = profiles;
        state["writeOnConnect"] = false;
        break;
      }
      case Settings::folder: QDir(dir_->path()).mkdir("state.json"); break;
      case Settings::unwritable:
        // A file where the settings' folder should be: every save fails.
        QFile(dir_->filePath("blocked")).open(QIODevice::WriteOnly);
        path = dir_->filePath("blocked/state.json");
        break;
    }
    if (!state.isEmpty()) {
      QFile file(path);
      if (file.open(QIODevice::WriteOnly)) file.write(QJsonDocument(state).toJson());
    }
    return {"--state", path};
  }

  // Starts the app; waits until it owns the name when `waitForName`.
  QProcess& start(const QStringList& options, bool windowed = false, bool waitForName = true) {
    auto& app = *apps_.emplace_back(std::make_unique<QProcess>());
    QProcessEnvironment environment = this->environment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    if (windowed) {
      environment.insert("QT_QPA_PLATFORM", "offscreen");
    } else {
      environment.remove("QT_QPA_PLATFORM");  // headless needs no display platform at all
    }
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::SeparateChannels);
    app.setReadChannel(QProcess::StandardError);
    app.start(TANDEMO_EXE, (windowed ? QStringList{"--simulate"} : QStringList{"--headless", "--simulate"}) + options);
    if (waitForName && !waitForOwner(true)) qWarning("tandemo did not take the bus name");
    return app;
  }

  bool waitForOwner(bool owned) {
    QDBusServiceWatcher watcher(kService, bus(),
                                owned ? QDBusServiceWatcher::WatchForRegistration
                                      : QDBusServiceWatcher::WatchForUnregistration);
    QSignalSpy spy(&watcher, owned ? &QDBusServiceWatcher::serviceRegistered : &QDBusServiceWatcher::serviceUnregistered);
    if (bus().interface()->isServiceRegistered(kService).value() == owned) return true;
    return spy.wait(kWaitMs);
  }

  QDBusMessage call(const QDBusMessage& message) { return bus().call(message, QDBus::Block, kWaitMs); }

  QVariant property(const char* name) {
    const QDBusMessage reply = call(QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Properties",
                                                                   "Get")
                                    << QString(kInterface) << QString(name));
    return reply.arguments().value(0).value<QDBusVariant>().variant();
  }

  // The value the last PropertiesChanged signal gave `name`.
  QVariant latest(const char* name) const {
    for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) {
      if (it->contains(name)) return it->value(name);
    }
    return {};
  }

  // The string a method answered, or the error's name and message.
  static QString answer(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ErrorMessage) return reply.errorName() + ": " + reply.errorMessage();
    return reply.arguments().value(0).toString();
  }

  QProcess daemon_;
  QString address_;
  std::unique_ptr<QTemporaryDir> dir_;
  std::vector<std::unique_ptr<QProcess>> apps_;
  QList<QVariantMap> changes_;
};

QTEST_GUILESS_MAIN(BusContractTest)
#include "BusContractTest.moc"
