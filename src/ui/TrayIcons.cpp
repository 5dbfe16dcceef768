#include "ui/TrayIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tandemo::ui {
namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64};

// A mouse seen from above in a square of `size`: body, the split between the buttons, the wheel.
QPixmap drawnMouse(int size, bool filled) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  const qreal pen = std::max(1.0, s / 14);
  const QRectF body(s * 0.22, s * 0.06, s * 0.56, s * 0.88);
  QPainterPath outline;
  outline.addRoundedRect(body, body.width() / 2, body.width() / 2);
  // Light body with a dark rim reads on dark and light panels alike.
  p.setPen(QPen(QColor(0x30, 0x30, 0x30), pen));
  p.setBrush(filled ? QColor(0xe6, 0xe6, 0xe6) : Qt::transparent);
  p.drawPath(outline);
  if (!filled) {
    p.setPen(QPen(QColor(0xe6, 0xe6, 0xe6), pen * 0.6));
    p.drawPath(outline);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), pen));
  }
  const qreal splitY = body.top() + body.height() * 0.42;
  p.drawLine(QPointF(body.left(), splitY), QPointF(body.right(), splitY));
  p.drawLine(QPointF(s / 2, body.top()), QPointF(s / 2, splitY));
  p.setBrush(QColor(0x30, 0x30, 0x30));
  p.drawRoundedRect(QRectF(s / 2 - pen, body.top() + s * 0.12, 2 * pen, s * 0.16), pen, pen);
  return pixmap;
}

QPixmap slashed(QPixmap pixmap) {
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = pixmap.width();
  p.setPen(QPen(QColor(0xd3, 0x2f, 0x2f), std::max(1.5, s / 10), Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(s * 0.15, s * 0.85), QPointF(s * 0.85, s * 0.15));
  return pixmap;
}

}  // namespace

QIcon mouseIcon(bool connected) {
  QIcon themed = QIcon::fromTheme(QStringLiteral("input-mouse"));
  if (connected && !themed.isNull()) return themed;  // the theme loads what a size needs, when needed
  QIcon icon;
  for (const int size : kSizes) {
    if (themed.isNull()) {
      icon.addPixmap(drawnMouse(size, connected));
    } else if (connected) {
      icon.addPixmap(themed.pixmap(size, size));
    } else {
      icon.addPixmap(slashed(themed.pixmap(size, size, QIcon::Disabled)));
    }
  }
  return icon;
}

QIcon windowIcon() {
  const QIcon source = mouseIcon(true);
  QIcon icon;
  for (const int size : {16, 32, 48}) icon.addPixmap(source.pixmap(size, size));
  return icon;
}

}  // namespace tandemo::ui
