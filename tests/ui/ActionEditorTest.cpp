#include <QtTest>
#include <QtWidgets>

#include "UiFixture.h"
#include "ui/ActionEditor.h"

using namespace tandemo;
using namespace tandemo::ui;
using namespace tandemo::ui::testing;

Q_DECLARE_METATYPE(HostAction)

namespace {

HostAction text(const char* s) { return {HostAction::Text{s}}; }
HostAction sequence(std::vector<SequenceStep> steps) { return {HostAction::Sequence{std::move(steps)}}; }
SequenceStep chord(std::uint16_t code) { return {SequenceStep::Chord{KeyChord{code}}}; }
SequenceStep wait(std::int64_t ms) { return {SequenceStep::Delay{ms}}; }

// An editor in a window, with every edit it reports.
struct EditorWindow {
  explicit EditorWindow(const HostAction& start) {
    editor = new HostActionEditor(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(editor);
    editor->setAction(start);
    QObject::connect(editor, &HostActionEditor::actionEdited, [this](const HostAction& a) { edits.push_back(a); });
    window.show();
  }
  template <class W>
  W* find(const char* name) { return window.findChild<W*>(QLatin1String(name)); }
  bool warningShown() { return find<QWidget>("oneToOneWarning")->isVisibleTo(&window); }

  QWidget window;
  HostActionEditor* editor;
  std::vector<HostAction> edits;
};

// A recorder beside a text field that holds the keyboard focus.
struct RecorderWindow {
  RecorderWindow() {
    auto* layout = new QVBoxLayout(&window);
    field = new QLineEdit(&window);
    recorder = new KeyRecorder(&window);
    layout->addWidget(field);
    layout->addWidget(recorder);
    recorder->setChord(KeyChord{122});
    QObject::connect(recorder, &KeyRecorder::chordRecorded, [this](const KeyChord& c) { recorded.push_back(c); });
    window.show();
    QApplication::setActiveWindow(&window);
    field->setFocus();
  }
  QPushButton* button() { return window.findChild<QPushButton*>(QStringLiteral("keyRecorderButton")); }
  void startRecording() {
    QTest::mouseClick(button(), Qt::LeftButton);
    QVERIFY(recorder->isRecording());
  }

  QWidget window;
  QLineEdit* field;
  KeyRecorder* recorder;
  std::vector<KeyChord> recorded;
};

}  // namespace

class ActionEditorTest : public QObject {
  Q_OBJECT

 private slots:
  void choosingAKindPutsItsBlankAction_data() {
    QTest::addColumn<HostAction>("start");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<HostAction>("expected");
    QTest::newRow("scroll from nothing") << HostAction{} << "Scroll" << HostAction{HostAction::Scroll{0, 3}};
    QTest::newRow("text again empties it") << text("hello") << "Type text" << text("");
    QTest::newRow("shortcut again drops modifiers")
        << HostAction{HostAction::Key{KeyChord{8, false, false, false, true}}} << "Keyboard shortcut"
        << HostAction{HostAction::Key{KeyChord{122}}};
    QTest::newRow("mouse button") << text("x") << "Mouse button" << HostAction{HostAction::MouseButton{9}};
    QTest::newRow("sequence") << HostAction{HostAction::MouseButton{4}} << "Sequence" << sequence({});
    QTest::newRow("nothing") << sequence({wait(10)}) << "Nothing" << HostAction{};
  }
  void choosingAKindPutsItsBlankAction() {
    QFETCH(HostAction, start);
    QFETCH(QString, kind);
    QFETCH(HostAction, expected);
    EditorWindow w(start);
    QVERIFY(pick(w.find<QComboBox>("actionKind"), kind));
    QCOMPARE(w.edits.size(), std::size_t{1});
    QVERIFY(w.edits.back() == expected);
    QVERIFY(w.editor->action() == expected);
  }

  void steppersStayInRangeAndPrimaryClicksWarn() {
    EditorWindow w(HostAction{HostAction::MouseButton{4}});
    auto* stepper = w.find<QSpinBox>("mouseButtonStepper");
    QVERIFY(!w.find<QLabel>("primaryClickHint")->isVisibleTo(&w.window));
    QTest::keyClick(stepper, Qt::Key_Down);
    QVERIFY(w.edits.back() == HostAction{HostAction::MouseButton{3}});
    QVERIFY(w.find<QLabel>("primaryClickHint")->isVisibleTo(&w.window));
    const std::array<std::pair<int, Qt::Key>, 2> edges = {{{1, Qt::Key_Down}, {32, Qt::Key_Up}}};
    for (const auto& [edge, key] : edges) {
      w.editor->setAction(HostAction{HostAction::MouseButton{edge}});
      const auto before = w.edits.size();
      QTest::keyClick(stepper, key);
      QCOMPARE(stepper->value(), edge);
      QCOMPARE(w.edits.size(), before);
    }
    // Scroll: one axis is written, the other kept; 20 is the top, -20 the bottom.
    w.editor->setAction(HostAction{HostAction::Scroll{2, 20}});
    const auto before = w.edits.size();
    QTest::keyClick(w.find<QSpinBox>("verticalStepper"), Qt::Key_Up);
    QCOMPARE(w.edits.size(), before);
    QTest::keyClick(w.find<QSpinBox>("verticalStepper"), Qt::Key_Down);
    QTest::keyClick(w.find<QSpinBox>("horizontalStepper"), Qt::Key_Down);
    QVERIFY(w.edits.back() == (HostAction{HostAction::Scroll{1, 19}}));
    QCOMPARE(w.find<QSpinBox>("horizontalStepper")->minimum(), -20);
  }

  void modifierTogglesEditTheChord() {
    EditorWindow w(HostAction{HostAction::Key{KeyChord{40}}});
    QTest::mouseClick(byAccessibleName<QToolButton>(&w.window, "Super (Command)"), Qt::LeftButton);
    QTest::mouseClick(byAccessibleName<QToolButton>(&w.window, "Shift"), Qt::LeftButton);
    QVERIFY(w.edits.back() == (HostAction{HostAction::Key{KeyChord{40, true, false, false, true}}}));
    QCOMPARE(w.find<QPushButton>("keyRecorderButton")->text(), QStringLiteral("\u21E7\u2318K"));
  }

  void warningFollowsOneInputPerPress() {
    EditorWindow w(text("a"));
    QVERIFY(!w.warningShown());
    auto* field = w.find<QLineEdit>("textToType");
    field->setFocus();
    field->end(false);
    QTest::keyClicks(field, "b");
    QVERIFY(w.edits.back() == text("ab"));
    QVERIFY(w.warningShown());
    bool signed_ = false;  // its sign is loaded late, when the warning first shows
    for (const QLabel* label : w.find<QWidget>("oneToOneWarning")->findChildren<QLabel*>()) signed_ |= !label->pixmap().isNull();
    QVERIFY(signed_);

    w.editor->setAction(sequence({chord(8), wait(50), wait(60)}));
    QVERIFY(!w.warningShown());
    auto* add = w.find<QPushButton>("addStep");
    add->menu()->actions().at(1)->trigger();  // "Mouse button"
    QVERIFY(w.edits.back() == sequence({chord(8), wait(50), wait(60), {SequenceStep::Mouse{4}}}));
    QVERIFY(w.warningShown());
  }

  void sequenceStepsAreAddedEditedAndRemoved() {
    EditorWindow w(sequence({}));
    const auto menu = w.find<QPushButton>("addStep")->menu()->actions();
    for (auto* action : menu) action->trigger();
    QVERIFY(w.edits.back() == sequence({chord(122), {SequenceStep::Mouse{4}}, {SequenceStep::Text{}}, wait(100)}));

    auto* waitStepper = w.find<QWidget>("step4")->findChild<QSpinBox*>();
    waitStepper->setValue(10);
    QTest::keyClick(waitStepper, Qt::Key_Down);  // 10 ms is the floor
    QCOMPARE(waitStepper->value(), 10);
    QTest::keyClick(waitStepper, Qt::Key_Up);
    QVERIFY(w.edits.back() == sequence({chord(122), {SequenceStep::Mouse{4}}, {SequenceStep::Text{}}, wait(20)}));

    QTest::keyClicks(w.find<QWidget>("step3")->findChild<QLineEdit*>(), "hi");
    QVERIFY(w.edits.back() == sequence({chord(122), {SequenceStep::Mouse{4}}, {SequenceStep::Text{"hi"}}, wait(20)}));

    // Removing the first step moves the others up, keeping what they hold.
    QTest::mouseClick(byAccessibleName<QToolButton>(&w.window, "Remove step 1"), Qt::LeftButton);
    QVERIFY(w.edits.back() == sequence({{SequenceStep::Mouse{4}}, {SequenceStep::Text{"hi"}}, wait(20)}));
    for (int i = 0; i < 3; ++i) QTest::mouseClick(byAccessibleName<QToolButton>(&w.window, "Remove step 1"), Qt::LeftButton);
    QVERIFY(w.edits.back() == sequence({}));
    QCOMPARE(QString::fromStdString(w.editor->action().summary()), QStringLiteral("Empty sequence"));
  }

  void oneChordStepRecordsAtATime() {
    EditorWindow w(sequence({chord(122), chord(120)}));
    auto recorderOf = [&](const char* row) { return w.find<QWidget>(row)->findChild<KeyRecorder*>(); };
    auto buttonOf = [&](const char* row) { return w.find<QWidget>(row)->findChild<QPushButton*>("keyRecorderButton"); };
    QTest::mouseClick(buttonOf("step1"), Qt::LeftButton);
    QTest::mouseClick(buttonOf("step2"), Qt::LeftButton);
    QVERIFY(!recorderOf("step1")->isRecording());
    pressNative(buttonOf("step2"), Qt::Key_K, Qt::ControlModifier, kScanK);
    QVERIFY(w.edits.back() == sequence({chord(122), {SequenceStep::Chord{KeyChord{40, false, true}}}}));
    QVERIFY(!recorderOf("step2")->isRecording());
  }

  void recorderMapsTheNativeScanCodeAndSwallowsTheKey() {
    RecorderWindow w;
    w.startRecording();
    QTest::mouseClick(w.button(), Qt::LeftButton);  // pressing again while recording does nothing
    // Modifiers alone and keys without a code (F21) are not recorded.
    pressNative(w.field, Qt::Key_Shift, Qt::ShiftModifier, kScanLeftShift);
    pressNative(w.field, Qt::Key_F21, {}, kScanF21);
    QVERIFY(w.recorder->isRecording() && w.recorded.empty());
    // Super+Shift+K from a real keyboard: the text field focused under it gets nothing.
    pressNative(w.field, Qt::Key_K, Qt::ShiftModifier | Qt::MetaModifier, kScanK, QStringLiteral("K"));
    QCOMPARE(w.field->text(), QString());
    QCOMPARE(w.recorded.size(), std::size_t{1});
    QVERIFY(w.recorded[0] == (KeyChord{40, true, false, false, true}));
    QVERIFY(!w.recorder->isRecording());
    QCOMPARE(w.button()->text(), QStringLiteral("\u21E7\u2318K"));
    // Not recording any more: keys reach the field again.
    pressNative(w.field, Qt::Key_K, {}, kScanK, QStringLiteral("k"));
    QCOMPARE(w.field->text(), QStringLiteral("k"));

    // The physical key counts, not the layout's letter: the A key of an AZERTY keyboard types Q.
    w.startRecording();
    pressNative(w.field, Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier, kScanA, QStringLiteral("q"));
    QVERIFY(w.recorded.back() == (KeyChord{0, false, true, true, false}));

    // Cancel, and hiding the window, end recording and keep the chord.
    w.startRecording();
    QTest::mouseClick(w.window.findChild<QPushButton*>(QStringLiteral("keyRecorderCancel")), Qt::LeftButton);
    QVERIFY(!w.recorder->isRecording());
    QVERIFY(w.recorder->chord() == (KeyChord{0, false, true, true, false}));
    w.startRecording();
    w.window.hide();
    QVERIFY(!w.recorder->isRecording());
    pressNative(w.field, Qt::Key_K, {}, kScanK, QStringLiteral("k"));
    QCOMPARE(w.recorded.size(), std::size_t{2});
  }

  void recorderTakesEscapeReturnAndTabLikeAnyKey() {
    const std::pair<Qt::Key, int> keys[] = {{Qt::Key_Escape, 53}, {Qt::Key_Return, 36}, {Qt::Key_Tab, 48}, {Qt::Key_F5, 96}};
    for (const auto& [key, code] : keys) {
      RecorderWindow w;
      int shortcutFired = 0;
      connect(new QShortcut(QKeySequence(key), &w.window), &QShortcut::activated, [&] { ++shortcutFired; });
      w.startRecording();
      QWidget* focused = QApplication::focusWidget();
      QTest::keyClick(focused, key);  // no native scan code here (offscreen): recorded from Qt's key
      QCOMPARE(w.recorded.size(), std::size_t{1});
      QCOMPARE(int(w.recorded[0].keyCode), code);
      QCOMPARE(shortcutFired, 0);
      QCOMPARE(QApplication::focusWidget(), focused);  // Tab did not move the focus
    }
  }
};

QTEST_MAIN(ActionEditorTest)
#include "ActionEditorTest.moc"
