#include <QtTest>
#include <QtWidgets>

#include "UiFixture.h"
#include "ui/ActionEditor.h"
#include "ui/ProfilesView.h"

using namespace tandemo;
using namespace tandemo::ui;
using namespace tandemo::ui::testing;
using tandemo::Rival500::Assignment;
using tandemo::Rival500::Button;

namespace {

int opacityPercent(const QLabel* dot) { return qRound(dot->property("dotColor").value<QColor>().alphaF() * 100); }

struct Tab : Shown<ProfilesView> {
  using Shown::Shown;
  const Profile& profile(int i) const { return f.controller->state().profiles.at(static_cast<std::size_t>(i)); }
  QListWidget* list() { return get<QListWidget>("profileList"); }
  void clickRow(int row) {
    QListWidgetItem* item = list()->item(row);
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(item).center());
  }
  bool detailShown() { return get("profileDetail")->isVisible(); }
  void submitAppID(const QString& text) {
    auto* field = get<QLineEdit>("newAppID");
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
  }
  void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

}  // namespace

class ProfilesViewTest : public QObject {
  Q_OBJECT

 private slots:
  void submittedAppIdsAreTrimmedAndAddedOnce_data() {
    QTest::addColumn<QStringList>("submits");
    QTest::addColumn<QStringList>("added");
    QTest::newRow("trimmed") << QStringList{" \tcom.example.game \t"} << QStringList{"com.example.game"};
    QTest::newRow("same twice") << QStringList{"  com.x ", "com.x"} << QStringList{"com.x"};
    QTest::newRow("only spaces") << QStringList{"   "} << QStringList{};
    QTest::newRow("already listed") << QStringList{"com.blizzard.worldofwarcraft "} << QStringList{};
    QTest::newRow("inner space kept") << QStringList{" a b "} << QStringList{"a b"};
  }
  void submittedAppIdsAreTrimmedAndAddedOnce() {
    QFETCH(QStringList, submits);
    QFETCH(QStringList, added);
    Tab t;
    for (const QString& text : submits) {
      t.submitAppID(text);
      QCOMPARE(t.get<QLineEdit>("newAppID")->text(), QString());
    }
    std::vector<std::string> expected{"com.blizzard.worldofwarcraft"};
    for (const QString& id : added) expected.push_back(id.toStdString());
    QCOMPARE(t.profile(0).bundleIDs, expected);
  }

  void runningAppsAreOfferedAndAddedOnce() {
    Tab t;
    t.f.desktop.scriptedWorkspace().setRunningApplications(
        {{"World of Warcraft", "com.blizzard.worldofwarcraft", true}, {"Firefox", "org.mozilla.firefox", true}});
    auto* menu = t.get<QPushButton>("addRunningApp")->menu();
    emit menu->aboutToShow();
    menu->actions().at(1)->trigger();  // already listed
    menu->actions().at(0)->trigger();
    QCOMPARE(t.profile(0).bundleIDs,
             (std::vector<std::string>{"com.blizzard.worldofwarcraft", "org.mozilla.firefox"}));
  }

  void removingAnEntryRemovesEveryCopyAndShowsTheFallbackHint() {
    AppState state = AppState::wowDefault();
    state.profiles[0].bundleIDs = {"a", "b", "a"};
    Tab t(state);
    QVERIFY(!t.get<QLabel>("fallbackHint")->isVisible());
    QTest::mouseClick(t.get<QToolButton>("removeAppID2"), Qt::LeftButton);
    QCOMPARE(t.profile(0).bundleIDs, std::vector<std::string>{"b"});
    t.flushDeletes();
    QTest::mouseClick(t.get<QToolButton>("removeAppID0"), Qt::LeftButton);
    QVERIFY(t.profile(0).bundleIDs.empty());
    QVERIFY(t.get<QLabel>("fallbackHint")->isVisible());
  }

  void removingTheShownProfileShowsNoneMinusNeedsTwoAndPlusKeepsTheSelection() {
    Tab t;
    auto* minus = t.get<QToolButton>("removeProfile");
    QCOMPARE(t.get<QLineEdit>("profileName")->text(), QString("World of Warcraft"));  // the first at start
    t.clickRow(1);
    QVERIFY(minus->isEnabled());
    QTest::mouseClick(minus, Qt::LeftButton);
    QCOMPARE(t.f.controller->state().profiles.size(), std::size_t{1});
    QVERIFY(!minus->isEnabled());
    QVERIFY(t.get<QLabel>("noProfile")->isVisible());
    QVERIFY(!t.detailShown());
    QVERIFY(t.list()->selectedItems().isEmpty());
    t.clickRow(0);
    QVERIFY(t.detailShown());
    QCOMPARE(t.get<QLineEdit>("profileName")->text(), QString("World of Warcraft"));
    QTest::mouseClick(t.get<QToolButton>("addProfile"), Qt::LeftButton);
    QCOMPARE(t.list()->count(), 2);
    QCOMPARE(t.list()->item(1)->text(), QString("New profile"));
    QCOMPARE(t.list()->currentRow(), 0);
    QVERIFY(minus->isEnabled());
  }

  void pinPickerPinsAndUnpinsFromTheKeyboard() {
    Tab t;
    auto* pin = t.get<QComboBox>("pin");
    QCOMPARE(pin->currentText(), QString("Automatic"));
    QTest::keyClick(pin, Qt::Key_Down);
    QCOMPARE(t.f.controller->state().pinnedProfileID, std::optional{t.profile(0).id});
    QCOMPARE(t.f.controller->activeProfile()->id, t.profile(0).id);
    QTest::keyClick(pin, Qt::Key_Up);
    QCOMPARE(t.f.controller->state().pinnedProfileID, std::nullopt);
  }

  void activeMarkerFollowsTheFrontApp() {
    Tab t;
    t.f.desktop.scriptedWorkspace().activate("com.blizzard.worldofwarcraft");
    t.f.advance(0.01);
    QCOMPARE(t.list()->item(0)->data(Qt::AccessibleTextRole).toString(), QString("World of Warcraft, active"));
    t.f.desktop.scriptedWorkspace().activate("org.mozilla.firefox");
    t.f.advance(0.01);
    QCOMPARE(t.list()->item(0)->data(Qt::AccessibleTextRole).toString(), QString("World of Warcraft"));
    QCOMPARE(t.list()->item(1)->data(Qt::AccessibleTextRole).toString(), QString("Everywhere else, active"));
    QCOMPARE(t.get<QLabel>("frontApp")->toolTip(), QString("Front app: org.mozilla.firefox"));
  }

  void typingANameKeepsTheCursorThroughTheChange() {
    Tab t;
    auto* name = t.get<QLineEdit>("profileName");
    name->setFocus();
    name->setCursorPosition(5);
    QTest::keyClicks(name, "XY");
    QCOMPARE(t.profile(0).name, std::string("WorldXY of Warcraft"));
    QCOMPARE(name->text(), QString("WorldXY of Warcraft"));
    QCOMPARE(name->cursorPosition(), 7);
    QCOMPARE(t.list()->item(0)->text(), QString("WorldXY of Warcraft"));
    // An unrelated change from elsewhere leaves the field alone too.
    t.f.change([](AppState& s) { s.writeOnConnect = false; });
    QCOMPARE(name->cursorPosition(), 7);
  }

  void bridgedButtonsShowTheirActionsAndPressState() {
    Tab t;
    QVERIFY(!t.get<QLabel>("noBridgedHint")->isVisible());
    QCOMPARE(t.get<QLabel>("summary_tiltLeft")->text(),
             QString::fromStdString(t.profile(0).actions.at(Button::tiltLeft).summary()));
    auto* dot = t.get<QLabel>("pressed_button10");
    QCOMPARE(opacityPercent(dot), 35);
    t.f.desktop.mouse().press(Button::button10);
    t.f.advance(0.01);
    QCOMPARE(opacityPercent(dot), 100);
    t.f.desktop.mouse().release(Button::button10);
    t.f.advance(0.01);
    QCOMPARE(opacityPercent(dot), 35);

    auto* disclose = t.get<QToolButton>("disclose_button10");
    auto* editor = t.get<HostActionEditor>("actionEditor_button10");
    QVERIFY(!editor->isVisible());
    QTest::keyClick(disclose, Qt::Key_Space);
    QVERIFY(editor->isVisible());
    const HostAction scroll{HostAction::Scroll{0, 2}};
    emit editor->actionEdited(scroll);
    QCOMPARE(t.profile(0).actions.at(Button::button10), scroll);
    QCOMPARE(t.get<QLabel>("summary_button10")->text(), QString::fromStdString(scroll.summary()));
    // The second profile has no action for button 10: its editor shows none.
    t.clickRow(1);
    QCOMPARE(editor->action(), HostAction{});

    // With no bridged control only the hint shows.
    t.f.change([](AppState& s) {
      for (auto& [button, assignment] : s.hardware.assignments)
        if (assignment.is<Assignment::Bridge>()) assignment = Assignment::disabled();
    });
    t.flushDeletes();
    QVERIFY(t.get<QLabel>("noBridgedHint")->isVisible());
    QVERIFY(t.view.findChildren<HostActionEditor*>().isEmpty());
  }

  void everyControlIsNamedAndTabReachesNewAppRowsInReadingOrder() {
    Tab t;
    QTest::keyClick(t.get<QToolButton>("disclose_button10"), Qt::Key_Space);
    const QStringList unnamed = unnamedControls(t.view);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    t.submitAppID("wow.exe");
    QCOMPARE(tabWalk(t.view, t.get<QLineEdit>("profileName"), 6),
             (QStringList{"profileName", "removeAppID0", "removeAppID1", "newAppID", "addRunningApp",
                          "disclose_tiltLeft"}));
  }
};

QTEST_MAIN(ProfilesViewTest)
#include "ProfilesViewTest.moc"
