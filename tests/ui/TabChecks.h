#pragma once

// Checks the tab tests share: which controls a screen reader could not name, and where Tab goes.

#include <QApplication>
#include <QStringList>
#include <QTest>
#include <QWidget>

namespace tandemo::ui::testing {

// Class and object names of the visible focusable widgets under `root` that have no accessible name.
inline QStringList unnamedControls(QWidget& root) {
  QStringList unnamed;
  for (QWidget* widget : root.findChildren<QWidget*>()) {
    if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(&root)) continue;
    if (widget->objectName().startsWith("qt_")) continue;  // a part of a Qt widget, named by its owner
    if (widget->accessibleName().isEmpty())
      unnamed.append(QString::fromLatin1(widget->metaObject()->className()) + " " + widget->objectName());
  }
  return unnamed;
}

// The object names focus visits from `start` on, pressing Tab `count` times; a Qt part counts as its owner.
inline QStringList tabWalk(QWidget& window, QWidget* start, int count) {
  QCoreApplication::processEvents();  // rows just added are shown on the next round
  QApplication::setActiveWindow(&window);
  start->setFocus(Qt::TabFocusReason);
  QStringList names;
  for (int i = 0; i < count; ++i) {
    QWidget* focused = QApplication::focusWidget();
    while (focused != nullptr && focused->objectName().startsWith("qt_")) focused = focused->parentWidget();
    names.append(focused != nullptr ? focused->objectName() : QString());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  return names;
}

}  // namespace tandemo::ui::testing
