#include "ui/MapGeometry.h"

#include <QString>
#include <algorithm>

#include "core/Overloaded.h"

namespace tandemo::ui::map {
namespace {

// Point (x, y) of a unit square stretched over `rect`.
struct Frame {
  QRectF rect;
  QPointF operator()(double x, double y) const {
    return {rect.left() + x * rect.width(), rect.top() + y * rect.height()};
  }
};

struct Curve {
  double toX, toY, c1X, c1Y, c2X, c2Y;
};

void addCurves(QPainterPath& path, const Frame& p, std::span<const Curve> curves) {
  for (const Curve& c : curves) path.cubicTo(p(c.c1X, c.c1Y), p(c.c2X, c.c2Y), p(c.toX, c.toY));
}

void addLine(QPainterPath& path, const Frame& p, double x1, double y1, double x2, double y2) {
  path.moveTo(p(x1, y1));
  path.lineTo(p(x2, y2));
}

constexpr std::array<Curve, 4> kSideOutline = {{
    {0.14, 0.22, 0.10, 0.70, 0.10, 0.40},
    {0.42, 0.06, 0.16, 0.12, 0.30, 0.06},
    {0.88, 0.60, 0.62, 0.08, 0.84, 0.30},
    {0.72, 0.96, 0.90, 0.78, 0.84, 0.94},
}};

constexpr std::array<Curve, 6> kTopOutline = {{
    {0.90, 0.28, 0.74, 0.04, 0.90, 0.12},
    {0.86, 0.62, 0.90, 0.40, 0.92, 0.52},
    {0.50, 0.98, 0.80, 0.78, 0.72, 0.98},
    {0.14, 0.62, 0.28, 0.98, 0.20, 0.78},
    {0.10, 0.28, 0.08, 0.52, 0.10, 0.40},
    {0.50, 0.04, 0.10, 0.12, 0.26, 0.04},
}};

}  // namespace

QRectF fitArea(const QRectF& available) {
  const double height = std::max(0.0, std::min(available.height(), available.width() / kAspect));
  const double width = height * kAspect;
  return {available.left() + (available.width() - width) / 2, available.top(), width, height};
}

std::array<PanelLayout, 2> layoutPanels(const QRectF& bounds, double titleHeight) {
  const double panelWidth = std::max(0.0, (bounds.width() - kPanelSpacing) / 2);
  std::array<PanelLayout, 2> panels;
  for (std::size_t i = 0; i < panels.size(); ++i) {
    const double left = bounds.left() + static_cast<double>(i) * (panelWidth + kPanelSpacing);
    const QRectF title(left, bounds.top(), panelWidth, titleHeight);
    const double drawingTop = title.bottom() + kTitleSpacing;
    const QRectF available(left, drawingTop, panelWidth, std::max(0.0, bounds.bottom() - drawingTop));
    const QRectF area = fitArea(available);
    // The title sits centred over its drawing, as the panel is a centred stack.
    panels[i] = {QRectF(area.left(), title.top(), area.width(), titleHeight), area};
  }
  return panels;
}

std::span<const Spot> spots(Panel panel) {
  if (panel == Panel::side) return kSideSpots;
  return kTopSpots;
}

QPointF spotCentre(const Spot& spot, const QRectF& area) { return Frame{area}(spot.x, spot.y); }

QPainterPath sideShape(const QRectF& rect) {
  const Frame p{rect};
  QPainterPath path;
  path.setFillRule(Qt::WindingFill);
  path.moveTo(p(0.12, 0.96));
  addCurves(path, p, kSideOutline);
  path.closeSubpath();
  path.addRoundedRect(QRectF(p(0.20, 0.28), QSizeF(0.54 * rect.width(), 0.54 * rect.height())), 18, 18);
  return path;
}

QPainterPath topShape(const QRectF& rect) {
  const Frame p{rect};
  QPainterPath path;
  path.setFillRule(Qt::WindingFill);
  path.moveTo(p(0.50, 0.04));
  addCurves(path, p, kTopOutline);
  path.closeSubpath();
  addLine(path, p, 0.50, 0.04, 0.50, 0.40);
  path.addRoundedRect(QRectF(p(0.46, 0.24), QSizeF(0.08 * rect.width(), 0.14 * rect.height())), 8, 8);
  addLine(path, p, 0.10, 0.28, 0.23, 0.10);
  addLine(path, p, 0.11, 0.42, 0.24, 0.42);
  addLine(path, p, 0.90, 0.28, 0.77, 0.10);
  addLine(path, p, 0.89, 0.42, 0.77, 0.42);  // 0.77, not the mirror image 0.76, as drawn
  return path;
}

QColor colorFor(const Rival500::Assignment& assignment) {
  using A = Rival500::Assignment;
  const QColor blue(0, 122, 255), green(52, 199, 89), purple(175, 82, 222), grey(142, 142, 147),
      orange(255, 149, 0);
  return std::visit(Overloaded{
                        [&](const A::MouseButton&) { return blue; },
                        [&](const A::Key&) { return green; },
                        [&](const A::Media&) { return green; },
                        [&](const A::Disabled&) { return grey; },
                        [&](const A::Bridge&) { return orange; },
                        [&](const auto&) { return purple; },  // tilts, scroll steps, DPI switch
                    },
                    assignment.value);
}

QString hotspotLabel(Rival500::Button button) {
  if (button == Rival500::Button::tiltLeft) return QStringLiteral("\u25C0");
  if (button == Rival500::Button::tiltRight) return QStringLiteral("\u25B6");
  const std::string_view id = Rival500::rawValue(button);
  return QString::fromUtf8(id.substr(6).data(), static_cast<qsizetype>(id.size() - 6));
}

}  // namespace tandemo::ui::map
