#pragma once

// Helpers for the widget tests. A controller on virtual time against the simulated desktop, with
// the settings file in memory: advance() moves time on and lets Qt process what the change posted.
// Widgets are driven as a user does: combo box entries picked from the open popup, keys pressed
// with the native scan code a real keyboard gives.

#include <QtTest>
#include <QtWidgets>
#include <memory>
#include <optional>

#include "controller/Controller.h"
#include "core/VirtualLoop.h"
#include "model/StateCodec.h"
#include "model/StateStore.h"
#include "sim/FakeServices.h"
#include "sim/SimulatedDesktop.h"
#include "ui/ControllerSignals.h"

namespace tandemo::ui::testing {

inline constexpr const char* kSettingsPath = "/home/me/.config/Tandemo/state.json";

struct UiFixture {
  explicit UiFixture(std::optional<AppState> state = std::nullopt, bool pluggedIn = true)
      : desktop(loop, pluggedIn) {
    if (state) files.put(kSettingsPath, encodeState(*state));
    controller = std::make_unique<Controller>(desktop.services(loop, store));
    controllerSignals = std::make_unique<ControllerSignals>(*controller);
    advance(1.0);  // the start-up firmware read and write settle
  }

  void advance(double secondsToAdvance) {
    loop.advance(seconds(secondsToAdvance));
    QCoreApplication::processEvents();
  }
  template <class Edit>
  void change(Edit edit) {
    AppState next = controller->state();
    edit(next);
    controller->setState(std::move(next));
    QCoreApplication::processEvents();
  }

  VirtualLoop loop;
  sim::SimulatedDesktop desktop;
  sim::MemoryFileSystem files;
  StateStore store{files, kSettingsPath};
  std::unique_ptr<Controller> controller;
  std::unique_ptr<ControllerSignals> controllerSignals;
};

// A view on a fixture's controller, shown at the main window's size.
template <class View>
struct Shown {
  explicit Shown(std::optional<AppState> state = std::nullopt, QSize size = {976, 560})
      : f(std::move(state)), view(*f.controllerSignals) {
    view.resize(size);
    view.show();
    QCoreApplication::processEvents();
  }
  template <class W = QWidget>
  W* get(const char* name) {
    return view.template findChild<W*>(QLatin1String(name));
  }
  bool shown(const char* name) { return get(name)->isVisibleTo(&view); }

  UiFixture f;
  View view;
};

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
