#include "ui/Screenshots.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMenu>
#include <QTabWidget>
#include <QTimer>
#include <functional>

#include "sim/VirtualRival500.h"
#include "ui/TandemoApp.h"
#include "ui/VirtualMouseWindow.h"

namespace tandemo::ui {
namespace {

constexpr int kSettleLimitMs = 5000;
constexpr int kAnimationMs = 400;  // the map's pressed animation and any fade finish within this

// Runs the event loop until `done` holds or `limitMs` pass; whether it holds.
bool runUntil(const std::function<bool()>& done, int limitMs) {
  QTimer heartbeat;  // wakes the loop so `done` is checked even when nothing else happens
  heartbeat.start(10);
  const QDeadlineTimer deadline(limitMs);
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return done();
}

void settle(int ms) {
  const QDeadlineTimer deadline(ms);
  runUntil([&] { return deadline.hasExpired(); }, ms + 100);
}

const char* const kTabFiles[] = {"buttons.png", "profiles.png", "sensitivity-and-lights.png", "setup.png"};

}  // namespace

QStringList takeScreenshots(TandemoApp& app, sim::VirtualRival500& mouse, const QString& folder, QString& error) {
  Controller& c = app.model().controller();
  if (!QDir().mkpath(folder)) {
    error = QStringLiteral("cannot create %1").arg(folder);
    return {};
  }
  // The start-up firmware read and write finish, and the keyboard interface is taken.
  const bool ready = runUntil(
      [&] {
        return c.connected() && c.firmware() && !c.writing() && c.lastWriteMessage() &&
               c.keyboardState().is<HIDLink::KeyboardState::Seized>();
      },
      kSettleLimitMs);
  const auto bridged = c.state().hardware.bridgedButtons();
  if (!ready || bridged.empty()) {
    error = QStringLiteral("the virtual mouse did not get ready with an app-controlled control");
    return {};
  }
  const Rival500::Button held = bridged.front();
  mouse.press(held);
  if (!runUntil([&] { return c.pressedButtons().contains(held); }, kSettleLimitMs)) {
    error = QStringLiteral("the held control did not reach the map");
    return {};
  }

  QStringList written;
  auto save = [&](QWidget& widget, const QString& name) {
    const QString file = QDir(folder).filePath(name);
    if (widget.grab().save(file)) {
      written << file;
    } else {
      error = QStringLiteral("cannot write %1").arg(file);
    }
  };
  MainWindow& window = app.window();
  window.resize(MainWindow::kDefaultSize);
  window.show();
  for (int tab = 0; tab < window.tabs().count() && tab < static_cast<int>(std::size(kTabFiles)); ++tab) {
    window.tabs().setCurrentIndex(tab);
    settle(kAnimationMs);
    save(window, QString::fromLatin1(kTabFiles[tab]));
  }
  window.tabs().setCurrentIndex(0);

  QMenu& menu = app.trayMenu();
  menu.popup(QPoint(0, 0));
  settle(100);
  save(menu, QStringLiteral("tray-menu.png"));
  menu.hide();
  if (VirtualMouseWindow* virtualMouse = app.virtualMouseWindow()) {
    virtualMouse->show();
    settle(100);
    save(*virtualMouse, QStringLiteral("virtual-mouse.png"));
  }
  mouse.release(held);
  return error.isEmpty() ? written : QStringList{};
}

}  // namespace tandemo::ui
