#include <QtTest>
#include <QtWidgets>

#include "UiFixture.h"
#include "ui/SetupView.h"

using namespace tandemo;
using namespace tandemo::ui;
using namespace tandemo::ui::testing;
using tandemo::Rival500::Assignment;
using tandemo::Rival500::Button;

namespace {

// The default state with nothing app-controlled, so the keyboard interface starts idle.
AppState withoutBridge() {
  AppState state = AppState::wowDefault();
  for (auto& [button, assignment] : state.hardware.assignments)
    if (assignment.is<Assignment::Bridge>()) assignment = Assignment::disabled();
  return state;
}

struct Tab : Shown<SetupView> {
  using Shown::Shown;
  QColor dotColor() { return get<QLabel>("keyboardDot")->property("dotColor").value<QColor>(); }
  void bridgeButton9() { f.change([](AppState& s) { s.hardware.assignments[Button::button9] = Assignment::bridge(); }); }
  QMessageBox* openConfirmation() {
    QTest::mouseClick(get<QPushButton>("restoreDefaults"), Qt::LeftButton);
    return get<QMessageBox>("factoryConfirmation");
  }
};

enum Scenario { unplugged, nothingBridged, held, noPermission, busy };

}  // namespace

class SetupViewTest : public QObject {
  Q_OBJECT

 private slots:
  void extraButtonsRowFollowsTheKeyboardState_data() {
    QTest::addColumn<int>("scenario");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<bool>("tryAgain");
    QTest::addColumn<bool>("warning");
    QTest::newRow("absent") << int(unplugged) << "Mouse not connected." << QColor(255, 59, 48) << false << false;
    QTest::newRow("idle") << int(nothingBridged) << "No button is app-controlled; the desktop handles everything."
                          << QColor(142, 142, 147) << false << false;
    QTest::newRow("seized") << int(held) << "Tandemo is handling the app-controlled buttons." << QColor(52, 199, 89)
                            << false << false;
    QTest::newRow("needs permission") << int(noPermission) << "Waiting for permission to read the mouse."
                                      << QColor(255, 149, 0) << true << true;
    QTest::newRow("failed") << int(busy)
                            << "Could not take over the buttons: another program has the mouse open exclusively"
                            << QColor(255, 149, 0) << false << true;
  }
  void extraButtonsRowFollowsTheKeyboardState() {
    QFETCH(int, scenario);
    QFETCH(QString, text);
    QFETCH(QColor, color);
    QFETCH(bool, tryAgain);
    QFETCH(bool, warning);
    Tab t(withoutBridge());
    auto& mouse = t.f.desktop.mouse();
    switch (scenario) {
      case unplugged: mouse.unplug(); break;
      case nothingBridged: break;
      case held: t.bridgeButton9(); break;
      case noPermission: mouse.setInputMonitoringGranted(false); t.bridgeButton9(); break;
      case busy: mouse.setSeizeResult(tandemo::kIOReturnExclusiveAccess); t.bridgeButton9(); break;
      default: QFAIL("unknown scenario");
    }
    t.f.advance(2.5);  // one permission poll
    QCOMPARE(t.get<QLabel>("keyboardText")->text(), text);
    QCOMPARE(t.dotColor(), color);
    QCOMPARE(t.shown("tryAgain"), tryAgain);
    QCOMPARE(t.shown("hiddenKeysWarning"), warning);
    QCOMPARE(t.shown("inputMonitoringGrant"), scenario == noPermission);
    QCOMPARE(t.get<QPushButton>("restoreDefaults")->isEnabled() && t.get<QPushButton>("readFirmware")->isEnabled(),
             scenario != unplugged);
  }

  void tryAgainSeizesOncePermissionArrivesAndGrantButtonsAsk() {
    Tab t(withoutBridge());
    QVERIFY(!t.shown("accessibilityGrant"));
    t.f.desktop.mouse().setInputMonitoringGranted(false);
    t.f.desktop.recordedEvents().setAccessibility(false);
    t.bridgeButton9();
    t.f.advance(2.5);
    QTest::mouseClick(t.get<QPushButton>("accessibilityGrant"), Qt::LeftButton);
    QCOMPARE(t.f.desktop.recordedEvents().accessibilityRequests(), std::size_t{1});
    QTest::mouseClick(t.get<QPushButton>("inputMonitoringGrant"), Qt::LeftButton);
    QCOMPARE(t.f.desktop.mouse().inputMonitoringRequests(), 1);
    t.f.desktop.mouse().setInputMonitoringGranted(true);
    QTest::mouseClick(t.get<QPushButton>("tryAgain"), Qt::LeftButton);
    t.f.advance(0.1);
    QCOMPARE(t.get<QLabel>("keyboardText")->text(), QString("Tandemo is handling the app-controlled buttons."));
    QVERIFY(!t.shown("tryAgain") && !t.shown("inputMonitoringGrant"));
  }

  // Restoring itself (factory state, a saving write) is the controller's; here the dialog decides.
  void factoryConfirmationCancelsOrRestoresAndGoesWithTheMouse() {
    Tab t;
    t.f.change([](AppState& s) { s.hardware.dpi1 = 400; });
    const std::size_t reports = t.f.desktop.mouse().reports().size();
    QTest::keyClick(t.openConfirmation(), Qt::Key_Escape);
    t.f.advance(1.0);
    QCOMPARE(t.f.controller->state().hardware.dpi1, 400);
    QCOMPARE(t.f.desktop.mouse().reports().size(), reports);
    QTest::mouseClick(t.openConfirmation()->findChild<QPushButton*>("confirmRestore"), Qt::LeftButton);
    QCOMPARE(t.f.controller->state().hardware, HardwareConfig::factory());

    t.f.change([](AppState& s) { s.hardware.dpi1 = 400; });
    QPointer<QMessageBox> box = t.openConfirmation();
    t.f.desktop.mouse().unplug();  // withdraws the question
    t.f.advance(0.1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(box.isNull());
    QCOMPARE(t.f.controller->state().hardware.dpi1, 400);
  }

  void switchesButtonsAndLogReachTheController() {
    Tab t;
    QTest::mouseClick(t.get<QCheckBox>("writeOnConnect"), Qt::LeftButton, {}, QPoint(6, 8));
    QTest::keyClick(t.get<QCheckBox>("openWindowAtLaunch"), Qt::Key_Space);
    QTest::mouseClick(t.get<QCheckBox>("launchAtLogin"), Qt::LeftButton, {}, QPoint(6, 8));
    QVERIFY(!t.f.controller->state().writeOnConnect && !t.f.controller->state().openWindowAtLaunch);
    QCOMPARE(t.f.desktop.fakeLoginItem().registerCalls(), 1);
    const int queries = t.f.desktop.mouse().firmwareQueries();
    QTest::mouseClick(t.get<QPushButton>("readFirmware"), Qt::LeftButton);
    t.f.advance(1.0);
    QCOMPARE(t.f.desktop.mouse().firmwareQueries(), queries + 1);
    t.f.change([](AppState& s) { s.saveToOnboardMemory = false; });
    QVERIFY(!t.get<QCheckBox>("saveToOnboardMemory")->isChecked());
    // The log shows every entry, oldest first.
    t.f.desktop.mouse().unplug();
    t.f.advance(0.1);
    const auto& log = t.f.controller->log();
    QStringList expected;
    for (const std::string& line : log) expected << QString::fromStdString(line);
    QVERIFY(log.size() >= 2);
    QCOMPARE(t.get<QPlainTextEdit>("log")->toPlainText().split('\n'), expected);
  }

  void everyControlHasAnAccessibleName() {
    Tab t;
    t.f.desktop.recordedEvents().setAccessibility(false);
    t.f.advance(2.5);
    const QStringList unnamed = unnamedControls(t.view);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
  }
};

QTEST_MAIN(SetupViewTest)
#include "SetupViewTest.moc"
