#include "ui/MouseMapView.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QVariantAnimation>
#include <algorithm>
#include <cmath>

namespace tandemo::ui {
namespace {

using Rival500::Button;

// The hotspot's stand-in for focus, clicks, tooltip and screen readers. The map paints the
// hotspot itself; this widget covers exactly its circle, so overlapping hotspots take the click
// where they are drawn on top.
class HotspotProxy final : public QAbstractButton {
 public:
  explicit HotspotProxy(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);  // checked = selected, so screen readers announce the selection
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  void paintEvent(QPaintEvent*) override {}
  // A click selects; it never clears the selection.
  void nextCheckState() override {}
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      click();
      return;
    }
    QAbstractButton::keyPressEvent(event);
  }
  void focusInEvent(QFocusEvent* event) override {
    QAbstractButton::focusInEvent(event);
    parentWidget()->update();
  }
  void focusOutEvent(QFocusEvent* event) override {
    QAbstractButton::focusOutEvent(event);
    parentWidget()->update();
  }
};

QColor secondary(const QPalette& palette) { return palette.color(QPalette::PlaceholderText); }

QString tooltipFor(Button button, const Rival500::Assignment& assignment) {
  return QString::fromUtf8(Rival500::label(button).data(), static_cast<qsizetype>(Rival500::label(button).size())) +
         QStringLiteral(" \u2014 ") + QString::fromStdString(assignment.summary());
}

}  // namespace

MouseMapView::MouseMapView(ControllerSignals& model, QWidget* parent)
    : QWidget(parent), controller_(model.controller()) {
  setObjectName(QStringLiteral("mouseMap"));
  setAccessibleName(QStringLiteral("Mouse map"));
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  for (map::Panel panel : {map::Panel::side, map::Panel::top}) {
    for (const map::Spot& spot : map::spots(panel)) {
      auto* proxy = new HotspotProxy(this);
      proxy->setObjectName(QStringLiteral("hotspot.") + QString::fromUtf8(Rival500::rawValue(spot.button).data()));
      auto* animation = new QVariantAnimation(this);
      animation->setObjectName(QStringLiteral("scale.") + QString::fromUtf8(Rival500::rawValue(spot.button).data()));
      // Stands in for a critically damped spring with a 0.15 s response.
      animation->setDuration(150);
      animation->setEasingCurve(QEasingCurve::OutCubic);
      hotspots_.push_back({spot, panel, proxy, animation, Rival500::factoryDefault(spot.button), 1.0, false, QPointF()});
      const std::size_t index = hotspots_.size() - 1;
      connect(animation, &QVariantAnimation::valueChanged, this, [this, index](const QVariant& value) {
        hotspots_[index].scale = value.toDouble();
        placeProxy(hotspots_[index]);
        update();
      });
      connect(proxy, &QAbstractButton::clicked, this, [this, button = spot.button] { emit hotspotClicked(button); });
    }
  }
  connect(&model, &ControllerSignals::changed, this, [this](Controller::Property property) {
    if (property == Controller::Property::state || property == Controller::Property::pressedButtons) refresh();
  });
  refresh();
}

void MouseMapView::setSelected(std::optional<Button> button) {
  if (selected_ == button) return;
  selected_ = button;
  for (Hotspot& hotspot : hotspots_) hotspot.proxy->setChecked(selected_ == hotspot.spot.button);
  update();
}

double MouseMapView::hotspotScale(Button button) const {
  const Hotspot* hotspot = find(button);
  return hotspot ? hotspot->scale : 1.0;
}

QPointF MouseMapView::hotspotCentre(Button button) const {
  const Hotspot* hotspot = find(button);
  return hotspot ? hotspot->centre : QPointF();
}

QSize MouseMapView::sizeHint() const { return {560, heightForWidth(560)}; }

int MouseMapView::heightForWidth(int width) const {
  const double panelWidth = std::max(0.0, (width - map::kPanelSpacing) / 2);
  const double title = QFontMetricsF(titleFont()).height() + map::kTitleSpacing;
  // A little room below the drawing for the shadow of an enlarged hotspot near its edge.
  return static_cast<int>(std::ceil(title + panelWidth / map::kAspect + 4));
}

QSize MouseMapView::minimumSizeHint() const { return {300, 240}; }

void MouseMapView::refresh() {
  const auto& assignments = controller_.state().hardware.assignments;
  const auto& pressed = controller_.pressedButtons();
  bool changed = false;
  for (Hotspot& hotspot : hotspots_) {
    const Button button = hotspot.spot.button;
    const auto entry = assignments.find(button);
    const auto assignment = entry != assignments.end() ? entry->second : Rival500::factoryDefault(button);
    if (assignment != hotspot.assignment || hotspot.proxy->toolTip().isEmpty()) {
      hotspot.assignment = assignment;
      const QString text = tooltipFor(button, assignment);
      hotspot.proxy->setToolTip(text);
      hotspot.proxy->setAccessibleName(text);
      changed = true;
    }
    const bool isPressed = pressed.contains(button);
    if (isPressed != hotspot.pressed) {
      hotspot.pressed = isPressed;
      hotspot.animation->stop();
      hotspot.animation->setStartValue(hotspot.scale);
      hotspot.animation->setEndValue(isPressed ? map::kPressedScale : 1.0);
      hotspot.animation->start();
      changed = true;
    }
  }
  if (changed) update();
}

QFont MouseMapView::titleFont() const {
  QFont caption = font();
  caption.setPointSizeF(caption.pointSizeF() * 0.85);
  caption.setWeight(QFont::DemiBold);
  return caption;
}

void MouseMapView::relayout() {
  const auto panels = map::layoutPanels(QRectF(rect()), QFontMetricsF(titleFont()).height());
  for (Hotspot& hotspot : hotspots_) {
    hotspot.centre = map::spotCentre(hotspot.spot, panels[static_cast<std::size_t>(hotspot.panel)].area);
    placeProxy(hotspot);
  }
}

void MouseMapView::placeProxy(Hotspot& hotspot) {
  const double diameter = map::kHotspotDiameter * hotspot.scale;
  const QRectF circle(hotspot.centre.x() - diameter / 2, hotspot.centre.y() - diameter / 2, diameter, diameter);
  const QRect bounds = circle.toAlignedRect();
  if (hotspot.proxy->geometry() == bounds) return;
  hotspot.proxy->setGeometry(bounds);
  hotspot.proxy->setMask(QRegion(QRect(QPoint(0, 0), bounds.size()), QRegion::Ellipse));
}

void MouseMapView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  relayout();
}

void MouseMapView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) relayout();
}

void MouseMapView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QPalette& pal = palette();
  const QFont caption = titleFont();
  const auto panels = map::layoutPanels(QRectF(rect()), QFontMetricsF(caption).height());

  const std::array<QString, 2> titles = {QStringLiteral("THUMB SIDE"), QStringLiteral("TOP")};
  QColor outline = secondary(pal);
  outline.setAlphaF(outline.alphaF() * 0.5f);
  for (std::size_t i = 0; i < panels.size(); ++i) {
    painter.setFont(caption);
    painter.setPen(secondary(pal));
    painter.drawText(panels[i].title, Qt::AlignCenter, titles[i]);
    const QPainterPath shape = i == 0 ? map::sideShape(panels[i].area) : map::topShape(panels[i].area);
    painter.fillPath(shape, pal.color(QPalette::Base));
    painter.strokePath(shape, QPen(outline, map::kOutlineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
  }
  for (const Hotspot& hotspot : hotspots_) paintHotspot(painter, hotspot);
}

void MouseMapView::paintHotspot(QPainter& painter, const Hotspot& hotspot) const {
  const bool isSelected = selected_ == hotspot.spot.button;
  const double radius = map::kHotspotDiameter / 2;
  painter.save();
  painter.translate(hotspot.centre);
  painter.scale(hotspot.scale, hotspot.scale);
  painter.setPen(Qt::NoPen);

  // Soft shadow: a radial fade from the circle's edge out to the blur radius, one point lower.
  const double blur = isSelected ? 6 : 2;
  const double shadowOpacity = isSelected ? 0.35 : 0.15;
  QRadialGradient shadow(QPointF(0, 1), radius + blur);
  shadow.setColorAt((radius - blur) / (radius + blur), QColor::fromRgbF(0, 0, 0, static_cast<float>(shadowOpacity)));
  shadow.setColorAt(1, QColor(0, 0, 0, 0));
  painter.setBrush(shadow);
  painter.drawEllipse(QPointF(0, 1), radius + blur, radius + blur);

  QColor fill = map::colorFor(hotspot.assignment);
  fill.setAlphaF(hotspot.pressed ? 1.0f : 0.85f);
  painter.setBrush(fill);
  painter.drawEllipse(QPointF(0, 0), radius, radius);

  if (isSelected) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette().color(QPalette::WindowText), map::kRingWidth));
    painter.drawEllipse(QPointF(0, 0), map::kRingDiameter / 2, map::kRingDiameter / 2);
  }
  if (hotspot.proxy->hasFocus()) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::DashLine));
    painter.drawEllipse(QPointF(0, 0), map::kRingDiameter / 2 + 4, map::kRingDiameter / 2 + 4);
  }

  QFont label = font();
  label.setPixelSize(static_cast<int>(map::kLabelPixelSize));
  label.setBold(true);
  painter.setFont(label);
  painter.setPen(Qt::white);
  painter.drawText(QRectF(-radius, -radius, 2 * radius, 2 * radius), Qt::AlignCenter,
                   map::hotspotLabel(hotspot.spot.button));
  painter.restore();
}

const MouseMapView::Hotspot* MouseMapView::find(Button button) const {
  const auto it = std::find_if(hotspots_.begin(), hotspots_.end(),
                               [button](const Hotspot& h) { return h.spot.button == button; });
  return it == hotspots_.end() ? nullptr : &*it;
}

}  // namespace tandemo::ui
