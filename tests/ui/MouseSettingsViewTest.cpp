#include <QtTest>
#include <QtWidgets>

#include "UiFixture.h"
#include "ui/LightingEditor.h"
#include "ui/MouseSettingsView.h"

using namespace tandemo;
using namespace tandemo::ui;
using namespace tandemo::ui::testing;
using tandemo::Rival500::ColorStop;
using tandemo::Rival500::Lighting;

Q_DECLARE_METATYPE(Lighting)

namespace {

struct Tab : Shown<MouseSettingsView> {
  using Shown::Shown;
  LightingEditor* logo() { return get<LightingEditor>("logoLight"); }
  template <class W>
  W* inLogo(const QString& name) {
    return logo()->findChild<W*>(name);
  }
  const Lighting& logoState() const { return f.controller->state().hardware.logo; }
};

AppState withLogo(const Lighting& logo) {
  AppState state = AppState::wowDefault();
  state.hardware.logo = logo;
  return state;
}

Lighting stopsAt(std::vector<std::int64_t> positions, std::int64_t durationMs = 1000) {
  Lighting lighting{{}, durationMs};
  for (std::size_t i = 0; i < positions.size(); ++i)
    lighting.stops.push_back({positions[i], static_cast<std::uint8_t>(10 * i), 20, 30});
  return lighting;
}

}  // namespace

class MouseSettingsViewTest : public QObject {
  Q_OBJECT

 private slots:
  void lightButtonsChangeTheLight_data() {
    QTest::addColumn<Lighting>("before");
    QTest::addColumn<QString>("button");
    QTest::addColumn<Lighting>("after");
    const Lighting red{{{0, 255, 0, 0}}, 1000};
    QTest::newRow("steady to cycle rotates the colour")
        << red << "cycle" << Lighting{{{0, 255, 0, 0}, {50, 0, 255, 0}}, 1000};
    QTest::newRow("cycle to cycle changes nothing") << Lighting::factory() << "cycle" << Lighting::factory();
    QTest::newRow("four stops to steady keeps the first at 0%")
        << Lighting{{{10, 1, 2, 3}, {30, 4, 5, 6}, {60, 7, 8, 9}, {80, 0, 0, 0}}, 5000} << "steady"
        << Lighting{{{0, 1, 2, 3}}, 1000};
    QTest::newRow("add after 90% caps at 99%")
        << Lighting{{{0, 1, 2, 3}, {90, 10, 20, 30}}, 1000} << "addColor"
        << Lighting{{{0, 1, 2, 3}, {90, 10, 20, 30}, {99, 30, 10, 20}}, 1000};
    QTest::newRow("add after 30% adds at 50%")
        << Lighting{{{0, 1, 2, 3}, {30, 10, 20, 30}}, 1000} << "addColor"
        << Lighting{{{0, 1, 2, 3}, {30, 10, 20, 30}, {50, 30, 10, 20}}, 1000};
    QTest::newRow("rainbow on a steady light") << red << "rainbow" << Lighting::factory();
  }
  void lightButtonsChangeTheLight() {
    QFETCH(Lighting, before);
    QFETCH(QString, button);
    QFETCH(Lighting, after);
    Tab t(withLogo(before));
    const Lighting wheel = t.f.controller->state().hardware.wheel;
    QTest::mouseClick(t.inLogo<QPushButton>(button), Qt::LeftButton);
    QCOMPARE(t.logoState(), after);
    QCOMPARE(t.f.controller->state().hardware.wheel, wheel);
    QCOMPARE(t.inLogo<QPushButton>("cycle")->isChecked(), after.stops.size() > 1);
    QCOMPARE(t.inLogo<QPushButton>("addColor")->isVisible(), after.stops.size() > 1);
    QCOMPARE(t.inLogo<QSpinBox>("position1")->isVisible(), after.stops.size() > 1);
  }

  void removeAndAddFollowTheNumberOfStops() {
    Tab t(withLogo(stopsAt({0, 50})));
    QVERIFY(!t.inLogo<QToolButton>("remove1")->isEnabled());
    QVERIFY(!t.inLogo<QToolButton>("remove2")->isEnabled());
    QTest::mouseClick(t.inLogo<QPushButton>("addColor"), Qt::LeftButton);
    QCOMPARE(t.logoState().stops.size(), std::size_t{3});
    QVERIFY(t.inLogo<QToolButton>("remove2")->isEnabled());
    QTest::mouseClick(t.inLogo<QToolButton>("remove2"), Qt::LeftButton);
    QCOMPARE(t.logoState().stops.at(1).position, 70);  // the middle stop went, not the last
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!t.inLogo<QToolButton>("remove1")->isEnabled());

    t.f.change([](AppState& s) { s.hardware.logo = stopsAt({0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65}); });
    QVERIFY(!t.inLogo<QPushButton>("addColor")->isEnabled());
    t.f.change([](AppState& s) { s.hardware.logo = stopsAt({0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60}); });
    QVERIFY(t.inLogo<QPushButton>("addColor")->isEnabled());
  }

  void stopPositionAndCycleAreSteppedFromTheKeyboard() {
    Tab t(withLogo(stopsAt({0, 40})));
    QTest::keyClick(t.inLogo<QSpinBox>("position2"), Qt::Key_Up);
    QCOMPARE(t.logoState().stops.at(1).position, 41);
    auto* cycle = t.inLogo<QSlider>("cycleTime");
    QTest::keyClick(cycle, Qt::Key_PageUp);
    QCOMPARE(t.logoState().durationMs, 2000);
    QCOMPARE(t.inLogo<QLabel>("cycleText")->text(), QString("2.0 s"));
  }

  void colourWellOpensADialogAndStoresThePick() {
    Tab t(withLogo(stopsAt({0, 40})));
    for (const bool accept : {false, true}) {
      QTest::mouseClick(t.inLogo<QPushButton>("well2"), Qt::LeftButton);
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      auto* dialog = t.logo()->findChild<QColorDialog*>("colorDialog");
      QCOMPARE(dialog->currentColor(), QColor(10, 20, 30));
      dialog->setCurrentColor(QColor(200, 100, 7));
      accept ? dialog->accept() : dialog->reject();
      QCOMPARE(t.logoState().stops.at(1), accept ? (ColorStop{40, 200, 100, 7}) : stopsAt({0, 40}).stops.at(1));
    }
    // Picked colours become bytes: every byte exactly, truncated not rounded, from any colour model.
    using Rgb = std::optional<std::array<std::uint8_t, 3>>;
    for (int b = 0; b < 256; ++b) {
      const auto byte = [](int v) { return static_cast<std::uint8_t>(v); };
      QVERIFY(tandemo::ui::srgbBytes(QColor(b, 255 - b, b / 2)) == (Rgb{{byte(b), byte(255 - b), byte(b / 2)}}));
    }
    QVERIFY(tandemo::ui::srgbBytes(QColor::fromRgbF(0.5f, 1.0f, 0.0f)) == (Rgb{{127, 255, 0}}));
    QVERIFY(tandemo::ui::srgbBytes(QColor::fromHsv(120, 255, 255)) == (Rgb{{0, 255, 0}}));
    QVERIFY(!tandemo::ui::srgbBytes(QColor()).has_value());
  }

  void dpiFieldStoresWhatIsTypedAndTheSliderHundreds() {
    Tab t;
    auto* field = t.view.findChild<QLineEdit*>("dpi1Field");
    auto* slider = t.view.findChild<QSlider*>("dpi1Slider");
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "50");
    QCOMPARE(t.f.controller->state().hardware.dpi1, 50);
    QCOMPARE(field->text(), QString("50"));
    QCOMPARE(field->cursorPosition(), 2);
    QCOMPARE(slider->value(), 1);  // shows 100 but writes nothing back
    QCOMPARE(t.f.controller->state().hardware.dpi1, 50);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(field->text(), QString());  // an empty field stays empty while typing
    QCOMPARE(t.f.controller->state().hardware.dpi1, 5);
    QTest::keyClicks(field, "50");
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(field->text(), QString("50"));

    t.f.controller->writeToMouse(false);
    t.f.advance(1.0);
    QCOMPARE(t.f.desktop.mouse().settings().dpi1, 100);  // clamped only in the packet

    QTest::keyClick(t.view.findChild<QSlider*>("dpi2Slider"), Qt::Key_Right);  // the slider writes hundreds
    QCOMPARE(t.f.controller->state().hardware.dpi2, 1700);
    QCOMPARE(t.view.findChild<QLineEdit*>("dpi2Field")->text(), QLocale().toString(1700));
  }

  void pollingSegmentsFollowAndSetTheRate() {
    Tab t;
    QVERIFY(t.view.findChild<QPushButton*>("polling1000")->isChecked());
    QTest::mouseClick(t.view.findChild<QPushButton*>("polling250"), Qt::LeftButton);
    QCOMPARE(t.f.controller->state().hardware.pollingHz, 250);
    t.f.change([](AppState& s) { s.hardware.pollingHz = 500; });
    QVERIFY(t.view.findChild<QPushButton*>("polling500")->isChecked());
    QVERIFY(!t.view.findChild<QPushButton*>("polling250")->isChecked());
    t.f.change([](AppState& s) { s.hardware.pollingHz = 333; });
    for (auto* segment : t.view.findChildren<QPushButton*>(QRegularExpression("^polling")))
      QVERIFY(!segment->isChecked());
  }

  void everyControlHasAnAccessibleName() {
    Tab t;
    const QStringList unnamed = unnamedControls(t.view);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
  }

  void tabWalksALightInReadingOrder() {
    Tab t(withLogo(Lighting{{{0, 255, 0, 0}}, 1000}));
    QTest::mouseClick(t.inLogo<QPushButton>("cycle"), Qt::LeftButton);  // its rows are made now
    QTest::mouseClick(t.inLogo<QPushButton>("addColor"), Qt::LeftButton);
    // The mode picker is one stop on the way, like a group of radio buttons.
    QCOMPARE(tabWalk(t.view, t.inLogo<QPushButton>("cycle"), 13),
             (QStringList{"cycle", "well1", "position1", "remove1", "well2", "position2", "remove2", "well3",
                          "position3", "remove3", "addColor", "cycleTime", "rainbow"}));
    // Within it the arrow keys choose the mode.
    t.inLogo<QPushButton>("cycle")->setFocus();
    QTest::keyClick(t.inLogo<QPushButton>("cycle"), Qt::Key_Left);
    QCOMPARE(t.logoState(), (Lighting{{{0, 255, 0, 0}}, 1000}));
  }
};

QTEST_MAIN(MouseSettingsViewTest)
#include "MouseSettingsViewTest.moc"
