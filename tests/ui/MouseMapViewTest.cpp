#include <QtTest>
#include <QtWidgets>

#include "UiFixture.h"
#include "ui/MapGeometry.h"
#include "ui/MouseMapView.h"

using namespace tandemo;
using namespace tandemo::ui;
using namespace tandemo::ui::testing;
using tandemo::Rival500::Assignment;
using tandemo::Rival500::Button;
namespace map = tandemo::ui::map;

namespace {

struct Map : tandemo::ui::testing::Shown<MouseMapView> {
  explicit Map(std::optional<AppState> state = std::nullopt) : Shown(std::move(state), {700, 500}) {}
};

QAbstractButton* hotspot(MouseMapView& view, const char* id) {
  return view.findChild<QAbstractButton*>(QStringLiteral("hotspot.") + QLatin1String(id));
}

void finishAnimations(MouseMapView& view) {
  for (auto* animation : view.findChildren<QVariantAnimation*>()) {
    if (animation->state() == QAbstractAnimation::Running) animation->setCurrentTime(animation->duration());
  }
}

// The legend colour nearest to what is drawn inside the hotspot, above its number.
QString drawnColour(MouseMapView& view, Button button) {
  const QImage image = view.grab().toImage();
  const QPointF centre = view.hotspotCentre(button);
  const QColor seen = image.pixelColor(QPoint(qRound(centre.x()), qRound(centre.y() - 11)));
  const std::pair<QString, Assignment> legend[] = {{"blue", Assignment::mouseButton(1)}, {"green", Assignment::key(4)},
                                                   {"purple", Assignment::dpiSwitch()}, {"grey", Assignment::disabled()},
                                                   {"orange", Assignment::bridge()}};
  QString nearest;
  int best = INT_MAX;
  for (const auto& [name, assignment] : legend) {
    const QColor c = map::colorFor(assignment);
    const int d = std::abs(c.red() - seen.red()) + std::abs(c.green() - seen.green()) + std::abs(c.blue() - seen.blue());
    if (d < best) best = d, nearest = name;
  }
  return nearest;
}

}  // namespace

class MouseMapViewTest : public QObject {
  Q_OBJECT

 private slots:
  void everyControlHasOneHotspot() {
    std::set<Button> seen;
    for (const auto& s : map::kSideSpots) seen.insert(s.button);
    for (const auto& s : map::kTopSpots) seen.insert(s.button);
    QCOMPARE(seen.size(), std::size_t{15});
  }

  void hotspotsAreColouredByAssignmentOrFactoryDefault() {
    AppState state = AppState::wowDefault();
    auto& a = state.hardware.assignments;
    a.erase(Button::button12);  // factory default: off
    a.erase(Button::button10);  // factory default: DPI switch
    a[Button::button4] = Assignment::key(0x3A);
    a[Button::button5] = Assignment::media(0xCD);
    a[Button::button7] = Assignment::scrollDown();
    Map m(state);
    auto& [f, view] = m;
    const std::pair<Button, QString> expected[] = {{Button::button12, "grey"}, {Button::button10, "purple"},
                                                   {Button::button4, "green"},   {Button::button5, "green"},
                                                   {Button::button7, "purple"},  {Button::button9, "orange"},
                                                   {Button::button1, "blue"}};
    for (const auto& [button, colour] : expected) QCOMPARE(drawnColour(view, button), colour);

    f.controller->setAssignment(Button::button12, Assignment::mouseButton(4));
    QCOMPARE(drawnColour(view, Button::button12), QStringLiteral("blue"));
    QCOMPARE(hotspot(view, "button4")->accessibleName(), QStringLiteral("Thumb \u00B7 middle right \u2014 Type F1"));
  }

  void holdingABridgedButtonEnlargesItsHotspotUntilReleased() {
    Map m;  // button10 is app-controlled in the default state
    auto& [f, view] = m;
    view.setSelected(Button::button9);
    const int restWidth = hotspot(view, "button10")->width();

    f.desktop.mouse().press(Button::button10);
    f.advance(0.05);
    QVERIFY(f.controller->pressedButtons().contains(Button::button10));
    finishAnimations(view);
    QCOMPARE(view.hotspotScale(Button::button10), 1.25);
    QCOMPARE(view.hotspotScale(Button::button11), 1.0);
    QVERIFY(hotspot(view, "button10")->width() >= qRound(restWidth * 1.25) - 1);
    // Full opacity while pressed: the drawn colour is the pure colour.
    const QImage image = view.grab().toImage();
    const QPointF centre = view.hotspotCentre(Button::button10);
    QCOMPARE(image.pixelColor(QPoint(qRound(centre.x()), qRound(centre.y() - 13))), map::colorFor(Assignment::bridge()));
    QCOMPARE(view.selected(), std::optional(Button::button9));  // lighting up selects nothing

    f.desktop.mouse().release(Button::button10);
    f.advance(0.05);
    finishAnimations(view);
    QCOMPARE(view.hotspotScale(Button::button10), 1.0);
    QCOMPARE(hotspot(view, "button10")->width(), restWidth);
  }

  void clicksSelectTheHotspotDrawnOnTop() {
    Map m;
    auto& view = m.view;
    QList<Button> clicked;
    connect(&view, &MouseMapView::hotspotClicked, this, [&](Button b) { clicked.append(b); });

    // Between the wheel click and the left tilt both circles cover the point; the tilt lies on top.
    const QPointF wheel = view.hotspotCentre(Button::button3);
    const QPointF tilt = view.hotspotCentre(Button::tiltLeft);
    const QPoint between = ((wheel + tilt) / 2).toPoint();
    QCOMPARE(view.childAt(between), hotspot(view, "tiltLeft"));
    QCOMPARE(view.childAt(wheel.toPoint()), hotspot(view, "button3"));
    QCOMPARE(view.childAt(QPoint(2, 2)), nullptr);

    QTest::mouseClick(hotspot(view, "button4"), Qt::LeftButton);
    QCOMPARE(clicked, QList<Button>{Button::button4});
    view.setSelected(Button::button4);
    QTest::mouseClick(hotspot(view, "button4"), Qt::LeftButton);  // a second click keeps it selected
    QVERIFY(hotspot(view, "button4")->isChecked());
    QVERIFY(!hotspot(view, "button9")->isChecked());

    // From the keyboard: Space or Return on the focused hotspot.
    hotspot(view, "button13")->setFocus();
    QTest::keyClick(hotspot(view, "button13"), Qt::Key_Space);
    QTest::keyClick(hotspot(view, "tiltRight"), Qt::Key_Return);
    QCOMPARE(clicked, (QList<Button>{Button::button4, Button::button4, Button::button13, Button::tiltRight}));
  }
};

QTEST_MAIN(MouseMapViewTest)
#include "MouseMapViewTest.moc"
