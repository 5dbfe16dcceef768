#include <QtTest>
#include <QtWidgets>

#include "UiFixture.h"
#include "ui/MainHeader.h"
#include "ui/TandemoApp.h"
#include "ui/VirtualMouseWindow.h"

using namespace tandemo;
using namespace tandemo::ui;
using namespace tandemo::ui::testing;
using tandemo::Rival500::Button;

namespace {

struct Scene {
  explicit Scene(std::optional<AppState> state = AppState::wowDefault(), bool pluggedIn = true)
      : f(std::move(state), pluggedIn), app(*f.controller, {false, &f.desktop.mouse()}) {}

  QList<QAction*> profileEntries() const {
    return app.trayMenu().findChild<QMenu*>("profileMenu")->actions();
  }
  template <class W>
  W* header(const char* name) const {
    return app.window().header().findChild<W*>(name);
  }
  QString headerText(const char* name) const { return header<QLabel>(name)->text(); }
  AppState saved() const { return tandemo::decodeState(*f.files.content(kSettingsPath)).value(); }

  UiFixture f;
  TandemoApp app;
};

}  // namespace

class TandemoAppTest : public QObject {
  Q_OBJECT

 private slots:
  // The host's view of the tray menu is tested against a real tray host; here what it cannot show.
  void profileSubmenuEscapesNamesUnpinsAndFollowsTheProfiles() {
    AppState state = AppState::wowDefault();
    state.profiles[1].name = "Raids & Dungeons";
    Scene s(state);
    const QList<QAction*> entries = s.profileEntries();  // automatic, separator, one per profile
    QCOMPARE(entries.at(3)->text(), QString("Raids && Dungeons"));  // the ampersand is not a shortcut mark
    entries.at(3)->trigger();
    QCOMPARE(s.app.trayMenu().actions().at(1)->text(), QString("Profile: Raids && Dungeons"));
    entries.at(0)->trigger();
    QCOMPARE(s.f.controller->state().pinnedProfileID, std::nullopt);
    QVERIFY(entries.at(0)->isChecked() && !entries.at(3)->isChecked());

    s.f.change([](AppState& next) { next.profiles.push_back(next.profiles[0]); next.profiles.back().name = "Third"; });
    QCOMPARE(s.profileEntries().size(), 5);
    QCOMPARE(s.profileEntries().at(4)->text(), QString("Third"));
    s.f.change([](AppState& next) { next.profiles.clear(); });
    QCOMPARE(s.profileEntries().size(), 2);
    QCOMPARE(s.app.trayMenu().actions().at(1)->text(), QString("Profile: \u2014"));
  }

  void headerShowsConnectionFirmwareAndProfile_data() {
    QTest::addColumn<bool>("plugged");
    QTest::addColumn<bool>("firmwareAnswers");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("writeEnabled");
    QTest::newRow("unplugged") << false << true << "Rival 500 not plugged in" << "Plug the mouse into a USB port"
                               << false;
    QTest::newRow("answered") << true << true << "SteelSeries Rival 500" << "Firmware 1.07" << true;
    QTest::newRow("never answers") << true << false << "SteelSeries Rival 500" << "Firmware \u2026" << true;
  }
  void headerShowsConnectionFirmwareAndProfile() {
    QFETCH(bool, plugged);
    QFETCH(bool, firmwareAnswers);
    Scene s(AppState::wowDefault(), false);
    if (!firmwareAnswers) s.f.desktop.mouse().setFirmwareAnswer(std::nullopt);
    if (plugged) s.f.desktop.mouse().plugIn();
    s.f.advance(2.0);
    QTEST(s.headerText("deviceTitle"), "title");
    QTEST(s.headerText("deviceCaption"), "caption");
    QTEST(s.header<QPushButton>("writeButton")->isEnabled(), "writeEnabled");
    const QColor dot = s.header<QWidget>("statusDot")->property("color").value<QColor>();
    QCOMPARE(dot.green() > dot.red(), plugged);
    QCOMPARE(s.headerText("activeProfile"), QString::fromStdString(s.f.controller->activeProfile()->name));
  }

  void headerShowsWritesAndKeepsAFailureUntilTheNextWrite() {
    AppState state = AppState::wowDefault();
    state.writeOnConnect = false;
    Scene s(state);
    auto* write = s.header<QPushButton>("writeButton");
    auto* message = s.header<QLabel>("lastWriteMessage");
    auto* spinner = s.header<QWidget>("writeSpinner");
    QVERIFY(message->isHidden());

    s.f.desktop.mouse().refuseReport(2, kIOReturnExclusiveAccess);
    QTest::mouseClick(write, Qt::LeftButton);
    QVERIFY(!write->isEnabled() && !spinner->isHidden());
    s.f.advance(1.0);
    QVERIFY(write->isEnabled() && spinner->isHidden());
    QVERIFY(!message->isHidden() && message->property("failed").toBool());
    QVERIFY(message->text().startsWith("The mouse refused a packet ("));
    s.f.change([](AppState& next) { next.hardware.dpi1 = 1600; });  // other changes keep the message
    QVERIFY(message->property("failed").toBool());

    QTest::mouseClick(write, Qt::LeftButton);
    s.f.advance(1.0);
    QCOMPARE(message->text(), QString("Written and saved to the mouse's memory"));
    QVERIFY(!message->property("failed").toBool());
  }

  void quittingReleasesHeldButtonsAndWritesThePendingSave() {
    Scene s;
    s.f.desktop.mouse().press(Button::button9);
    s.f.advance(0.1);
    QVERIFY(s.f.controller->pressedButtons().contains(Button::button9));
    QVERIFY(!s.f.desktop.recordedEvents().held().empty());
    s.f.change([](AppState& next) { next.profiles[0].name = "Renamed"; });
    s.app.quit();
    QVERIFY(s.f.controller->pressedButtons().empty());
    QVERIFY(s.f.desktop.recordedEvents().held().empty());
    QCOMPARE(s.saved().profiles[0].name, std::string("Renamed"));
  }

  void withoutATrayTheWindowOpensAtStartAndClosingQuits() {
    AppState state = AppState::wowDefault();
    state.openWindowAtLaunch = false;
    Scene s(state);
    s.app.start();
    QVERIFY(!s.app.hasTray());  // the offscreen platform has none
    QVERIFY(s.app.window().isVisible());
    s.f.change([](AppState& next) { next.autoSwitch = false; });
    s.app.window().close();
    QVERIFY(!s.saved().autoSwitch);  // quit() ran: the pending save is written
  }

  void virtualMouseHoldsControlsAndPlugsTheCable() {
    Scene s;
    tandemo::ui::VirtualMouseWindow* window = s.app.virtualMouseWindow();
    QVERIFY(window);
    QTest::mouseClick(s.header<QPushButton>("virtualMouseButton"), Qt::LeftButton);
    QVERIFY(window->isVisible());

    auto* control = window->findChild<QPushButton*>("button12");
    QTest::mousePress(control, Qt::LeftButton);
    s.f.advance(0.1);
    QVERIFY(s.f.controller->pressedButtons().contains(Button::button12));
    QTest::mouseRelease(control, Qt::LeftButton);
    s.f.advance(0.1);
    QVERIFY(s.f.controller->pressedButtons().empty());
    // What an unplug does to held keys is the controller's; here the cable and the controls.
    window->findChild<QCheckBox*>("pluggedIn")->click();
    s.f.advance(0.5);
    QVERIFY(!s.f.controller->connected() && !control->isEnabled());
    window->findChild<QCheckBox*>("pluggedIn")->click();
    s.f.advance(1.0);
    QVERIFY(s.f.controller->connected() && control->isEnabled());
  }
};

QTEST_MAIN(TandemoAppTest)
#include "TandemoAppTest.moc"
