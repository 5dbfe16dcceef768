#include "ui/TabWidgets.h"

#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace tandemo::ui {

void fade(QWidget* widget, double opacity) {
  QPalette palette = widget->palette();
  QColor color = palette.color(QPalette::WindowText);
  color.setAlphaF(static_cast<float>(opacity));
  palette.setColor(QPalette::WindowText, color);
  widget->setPalette(palette);
}

void scaleFont(QWidget* widget, double factor) {
  QFont font = widget->font();
  font.setPointSizeF(font.pointSizeF() * factor);
  widget->setFont(font);
}

QLabel* caption(const QString& text, double scale, double opacity) {
  auto* label = new QLabel(text);
  label->setWordWrap(true);
  scaleFont(label, scale);
  fade(label, opacity);
  return label;
}

void setTextIfChanged(QLabel* label, const QString& text) {
  if (label->text() != text) label->setText(text);
}

void setDot(QLabel* dot, const QColor& color, int diameter) {
  if (dot->property("dotColor").value<QColor>() == color) return;
  dot->setProperty("dotColor", color);
  const qreal ratio = dot->devicePixelRatioF();
  QPixmap pixmap(QSize(diameter, diameter) * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  painter.drawEllipse(QRectF(0, 0, diameter, diameter));
  dot->setPixmap(pixmap);
  dot->setFixedSize(diameter, diameter);
}

QToolButton* iconButton(const char* themeIcon, const QString& fallback, const QString& name) {
  auto* button = new QToolButton;
  const QIcon icon = QIcon::fromTheme(QString::fromLatin1(themeIcon));
  if (icon.isNull()) button->setText(fallback);
  else button->setIcon(icon);
  button->setAccessibleName(name);
  button->setToolTip(name);
  return button;
}

QPushButton* segmentButton(const QString& text) {
  auto* button = new QPushButton(text);
  button->setCheckable(true);
  button->setStyleSheet(
      "QPushButton { padding: 4px 14px; border: 1px solid palette(mid); background: palette(button);"
      " color: palette(button-text); }"
      " QPushButton:checked { background: palette(highlight); color: palette(highlighted-text);"
      " border-color: palette(highlight); }"
      " QPushButton:focus { border: 2px solid palette(highlight); }"
      " QPushButton:checked:focus { border: 2px solid palette(highlighted-text); }");
  return button;
}

QVBoxLayout* scrollingContent(QWidget* tab, const QString& name) {
  auto* outer = new QVBoxLayout(tab);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* scroll = new QScrollArea;
  scroll->setAccessibleName(name);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  outer->addWidget(scroll);
  auto* content = new QWidget;
  scroll->setWidget(content);
  return new QVBoxLayout(content);
}

}  // namespace tandemo::ui
