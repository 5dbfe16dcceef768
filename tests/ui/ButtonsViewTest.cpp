#include <QtTest>
#include <QtWidgets>

#include "UiFixture.h"
#include "ui/ActionEditor.h"
#include "ui/ButtonsView.h"

using namespace tandemo;
using namespace tandemo::ui;
using namespace tandemo::ui::testing;
using tandemo::Rival500::Assignment;
using tandemo::Rival500::Button;

namespace {

// The default state with the fallback profile ("Everywhere else", active here) giving button9 `action`.
AppState withFallbackAction(HostAction action) {
  AppState state = AppState::wowDefault();
  state.profiles[1].actions[Button::button9] = std::move(action);
  return state;
}

struct Tab : Shown<ButtonsView> {
  explicit Tab(std::optional<AppState> state = std::nullopt) : Shown(std::move(state), {1000, 600}) {}
  QString title() { return get<QLabel>("inspectorTitle")->text(); }
  Assignment assignment(Button b) { return f.controller->state().hardware.assignments.at(b); }
  const HostAction& fallbackAction(Button b) { return f.controller->state().profiles[1].actions.at(b); }
};

}  // namespace

class ButtonsViewTest : public QObject {
  Q_OBJECT

 private slots:
  void inspectorFollowsTheSelection() {
    Tab t;
    QCOMPARE(t.view.selected(), std::optional(Button::button9));
    QCOMPARE(t.title(), QStringLiteral("Thumb \u00B7 bottom right"));
    t.view.setSelected(std::nullopt);
    auto* stack = t.view.findChild<QStackedWidget*>();
    QCOMPARE(qobject_cast<QLabel*>(stack->currentWidget())->text(), QStringLiteral("Select a button"));
    QTest::mouseClick(t.get<QAbstractButton>("hotspot.button4"), Qt::LeftButton);
    QCOMPARE(t.view.selected(), std::optional(Button::button4));
    QCOMPARE(t.title(), QStringLiteral("Thumb \u00B7 middle right"));
    QVERIFY(t.get<QAbstractButton>("hotspot.button4")->isChecked());
    t.f.change([](AppState& s) { s.profiles.clear(); });  // no profile: only the mouse group
    QVERIFY(!t.shown("profileGroup") && t.shown("actsAs"));
  }

  void appControlledIsOfferedOnlyWithAHiddenKey() {
    Tab t;
    auto* actsAs = t.get<QComboBox>("actsAs");
    t.view.setSelected(Button::button1);
    QCOMPARE(actsAs->findText("App-controlled (Tandemo)"), -1);
    QCOMPARE(actsAs->count(), 9);
    t.view.setSelected(Button::button4);
    QCOMPARE(actsAs->findText("App-controlled (Tandemo)"), 1);
  }

  void choosingAKindStoresItsAssignment_data() {
    QTest::addColumn<Button>("button");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<Assignment>("expected");
    QTest::newRow("off") << Button::button5 << "Off" << Assignment::disabled();
    QTest::newRow("button5 back to mouse") << Button::button5 << "Mouse button" << Assignment::mouseButton(5);
    QTest::newRow("no native number") << Button::button10 << "Mouse button" << Assignment::mouseButton(4);
    QTest::newRow("key is F1") << Button::button9 << "Type a key" << Assignment::key(0x3A);
    QTest::newRow("media is Play / Pause") << Button::button9 << "Media key" << Assignment::media(0xCD);
    QTest::newRow("bridge") << Button::button4 << "App-controlled (Tandemo)" << Assignment::bridge();
    QTest::newRow("tilt") << Button::button9 << "Scroll left (tilt)" << Assignment::tiltLeft();
    QTest::newRow("dpi") << Button::button9 << "Switch DPI preset" << Assignment::dpiSwitch();
  }
  void choosingAKindStoresItsAssignment() {
    QFETCH(Button, button);
    QFETCH(QString, kind);
    QFETCH(Assignment, expected);
    AppState state = AppState::wowDefault();
    state.hardware.assignments[Button::button5] = Assignment::scrollUp();
    Tab t(state);
    t.view.setSelected(button);
    QVERIFY(pick(t.get<QComboBox>("actsAs"), kind));
    QVERIFY(t.assignment(button) == expected);
    QCOMPARE(t.get<QComboBox>("actsAs")->currentText(), kind);
    QCOMPARE(t.shown("profileGroup"), expected == Assignment::bridge());
  }

  void payloadPickersStoreTheirChoice() {
    AppState state = AppState::wowDefault();
    state.hardware.assignments[Button::button9] = Assignment::key(0x3A);
    state.hardware.assignments[Button::button11] = Assignment::media(0xCD);
    Tab t(state);
    QVERIFY(t.shown("keyPicker") && !t.shown("buttonNumber") && !t.shown("mediaPicker"));
    QVERIFY(pick(t.get<QComboBox>("keyPicker"), "Space"));
    QVERIFY(t.assignment(Button::button9) == Assignment::key(0x2C));
    t.view.setSelected(Button::button11);
    QVERIFY(pick(t.get<QComboBox>("mediaPicker"), "Mute"));
    QVERIFY(t.assignment(Button::button11) == Assignment::media(0xE2));
    t.view.setSelected(Button::button4);
    QVERIFY(pick(t.get<QComboBox>("buttonNumber"), "Middle click"));
    QVERIFY(t.assignment(Button::button4) == Assignment::mouseButton(3));
  }

  void wowHintShowsForMouseButtonsFromFour() {
    Tab t(withFallbackAction({HostAction::MouseButton{5}}));
    QVERIFY(t.shown("wowHint"));
    QVERIFY(t.get<QLabel>("wowHint")->text().contains("it shows up as Mouse Button 5. Shift/Ctrl/Alt combos work too."));
    QTest::keyClick(t.get<QSpinBox>("mouseButtonStepper"), Qt::Key_Down);
    QTest::keyClick(t.get<QSpinBox>("mouseButtonStepper"), Qt::Key_Down);
    QVERIFY(t.fallbackAction(Button::button9) == HostAction{HostAction::MouseButton{3}});
    QVERIFY(!t.shown("wowHint"));
  }

  void chosenProfileIsEditedAndKeptAcrossButtons() {
    Tab t;
    QCOMPARE(t.get<QComboBox>("profilePicker")->currentText(), QStringLiteral("Everywhere else"));  // active
    QVERIFY(pick(t.get<QComboBox>("profilePicker"), "World of Warcraft"));
    QTest::keyClick(t.get<QSpinBox>("mouseButtonStepper"), Qt::Key_Up);
    const auto& wow = t.f.controller->state().profiles[0];
    QVERIFY(wow.actions.at(Button::button9) == HostAction{HostAction::MouseButton{10}});
    QVERIFY(t.fallbackAction(Button::button9) == HostAction{HostAction::MouseButton{9}});
    // Only the WoW profile gives button10 an action; the picker stays on it.
    t.view.setSelected(Button::button10);
    QCOMPARE(t.get<QComboBox>("profilePicker")->currentText(), QStringLiteral("World of Warcraft"));
    QCOMPARE(t.get<QSpinBox>("mouseButtonStepper")->value(), 10);
  }

  void typingSurvivesChangesFromTheController() {
    Tab t(withFallbackAction({HostAction::Text{"hello"}}));
    auto* field = t.get<QLineEdit>("textToType");
    QCOMPARE(field->text(), QStringLiteral("hello"));
    field->setFocus();
    field->setCursorPosition(2);
    QTest::keyClicks(field, "X");
    QVERIFY(t.fallbackAction(Button::button9) == HostAction{HostAction::Text{"heXllo"}});
    t.f.change([](AppState& s) { s.writeOnConnect = !s.writeOnConnect; });
    t.f.advance(1.0);  // the save goes out
    QCOMPARE(field->text(), QStringLiteral("heXllo"));
    QCOMPARE(field->cursorPosition(), 3);
    // A change of the same action elsewhere shows up.
    t.f.controller->setAction(Button::button9, {HostAction::Text{"bye"}}, t.f.controller->state().profiles[1].id);
    QCOMPARE(field->text(), QStringLiteral("bye"));
  }

  void recordingEndsWhenAnotherButtonIsSelected() {
    AppState state = withFallbackAction({HostAction::Key{KeyChord{122}}});
    state.profiles[1].actions[Button::button11] = {HostAction::Key{KeyChord{120}}};
    Tab t(state);
    auto* recorder = t.get<tandemo::ui::KeyRecorder>("shortcutRecorder");
    QTest::mouseClick(recorder->findChild<QAbstractButton*>("keyRecorderButton"), Qt::LeftButton);
    QVERIFY(recorder->isRecording());
    t.view.setSelected(Button::button11);  // also a shortcut: the recorder stays on screen
    QVERIFY(!recorder->isRecording());
    QVERIFY(t.fallbackAction(Button::button9) == HostAction{HostAction::Key{KeyChord{122}}});
  }

  void everyControlHasANameAndTakesTheKeyboard() {
    const HostAction steps{HostAction::Sequence{{{SequenceStep::Chord{KeyChord{8}}},
                                                 {SequenceStep::Mouse{4}},
                                                 {SequenceStep::Text{"a"}},
                                                 {SequenceStep::Delay{50}}}}};
    for (const HostAction& action : {steps, HostAction{HostAction::Key{KeyChord{8}}}, HostAction{HostAction::Scroll{1, 1}}}) {
      Tab t(withFallbackAction(action));
      int checked = 0;
      for (QWidget* w : t.view.findChildren<QWidget*>()) {
        const bool interactive = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                                 qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QLineEdit*>(w);
        if (!interactive || !w->isVisibleTo(&t.view) || w->parent()->inherits("QAbstractSpinBox")) continue;
        QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(w);
        QVERIFY2(a11y && !a11y->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName() + " has no name"));
        QVERIFY2(w->focusPolicy() & Qt::TabFocus, qPrintable(a11y->text(QAccessible::Name) + " skips Tab"));
        ++checked;
      }
      QVERIFY(checked >= 20);  // 15 hotspots and the inspector's controls
    }
  }
};

QTEST_MAIN(ButtonsViewTest)
#include "ButtonsViewTest.moc"
