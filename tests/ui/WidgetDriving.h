#pragma once

// Drives widgets as a user does: picks a combo box entry from its open popup, presses keys with
// the native scan code a real keyboard gives, finds widgets by object or accessible name.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

namespace tandemo::ui::testing {

// Opens the popup and clicks the entry, so activated() fires even for the current entry.
inline bool pick(QComboBox* box, const QString& text) {
  const int index = box->findText(text);
  if (index < 0) return false;
  box->showPopup();
  QAbstractItemView* view = box->view();
  const QModelIndex item = view->model()->index(index, box->modelColumn(), view->rootIndex());
  view->scrollTo(item);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
  return true;
}

// XKB keycodes of a few keys (evdev code + 8), as X11 and Wayland report them.
inline constexpr quint32 kScanA = 30 + 8;
inline constexpr quint32 kScanK = 37 + 8;
inline constexpr quint32 kScanLeftShift = 42 + 8;
inline constexpr quint32 kScanF21 = 191 + 8;

// A key press delivered the way the window system delivers it: to the focus widget.
inline bool pressNative(QWidget* target, int key, Qt::KeyboardModifiers modifiers, quint32 scanCode,
                        const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers, scanCode, 0, 0, text);
  return QApplication::sendEvent(target, &press);
}

template <class W = QWidget>
W* byAccessibleName(QWidget* root, const QString& name) {
  for (W* widget : root->findChildren<W*>()) {
    if (widget->accessibleName() == name) return widget;
  }
  return nullptr;
}

}  // namespace tandemo::ui::testing
