// Captions remember their measurements; they must still measure exactly as a plain wrapped label
// after every change that moves its text. Also what the start-up leaves for later: the window
// icon still arrives.

#include <QtTest>
#include <QtWidgets>
#include <functional>

#include "UiFixture.h"
#include "ui/ActionEditor.h"
#include "ui/TandemoApp.h"

using namespace tandemo;
using namespace tandemo::ui;
using namespace tandemo::ui::testing;

namespace {

using Edit = std::function<void(QLabel&)>;

// A plain label set up as makeCaption sets up its own, to measure against.
void matchCaption(QLabel& plain, const QLabel& caption) {
  plain.setText(caption.text());
  plain.setWordWrap(true);
  plain.setFont(caption.font());
}

}  // namespace

class CaptionTest : public QObject {
  Q_OBJECT

 private slots:
  void measuresLikeAPlainLabelAfterEachChange_data() {
    QTest::addColumn<Edit>("edit");
    const QString longer = QString("A longer text that wraps over several lines at narrow widths. ").repeated(4);
    QTest::newRow("unchanged") << Edit([](QLabel&) {});
    QTest::newRow("text") << Edit([longer](QLabel& l) { l.setText(longer); });
    QTest::newRow("shorter text") << Edit([](QLabel& l) { l.setText("Hi"); });
    QTest::newRow("font") << Edit([](QLabel& l) {
      QFont font = l.font();
      font.setPointSizeF(font.pointSizeF() * 2);
      l.setFont(font);
    });
    QTest::newRow("indent") << Edit([](QLabel& l) { l.setIndent(30); });
    QTest::newRow("margin") << Edit([](QLabel& l) { l.setMargin(12); });
    QTest::newRow("contents margins") << Edit([](QLabel& l) { l.setContentsMargins(20, 5, 20, 5); });
    QTest::newRow("no wrap") << Edit([](QLabel& l) { l.setWordWrap(false); });
  }

  void measuresLikeAPlainLabelAfterEachChange() {
    QFETCH(Edit, edit);
    QWidget parent;
    QLabel* caption = tandemo::ui::makeCaption("Press a button on the mouse to light it up here.", Tone::secondary, &parent);
    QLabel plain(&parent);
    matchCaption(plain, *caption);
    const int widths[] = {40, 120, 300, 900};
    // Measured once before the change, so that a stale answer would show.
    for (const int width : widths) QCOMPARE(caption->heightForWidth(width), plain.heightForWidth(width));
    QCOMPARE(caption->sizeHint(), plain.sizeHint());
    edit(*caption);
    edit(plain);
    QCOMPARE(caption->sizeHint(), plain.sizeHint());
    QCOMPARE(caption->minimumSizeHint(), plain.minimumSizeHint());
    for (const int width : widths) QCOMPARE(caption->heightForWidth(width), plain.heightForWidth(width));
  }

  void windowIconArrivesAfterTheFirstFrame() {
    UiFixture f(AppState::wowDefault());
    tandemo::ui::TandemoApp app(*f.controller, {false, nullptr});
    QVERIFY(app.window().windowIcon().isNull());
    app.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&app.window()));
    QTRY_VERIFY(!app.window().windowIcon().isNull());
  }
};

QTEST_MAIN(CaptionTest)
#include "CaptionTest.moc"
