#pragma once

// A controller on virtual time against the simulated desktop, for widget tests. The settings
// file lives in memory; advance() moves time on and lets Qt process what the change posted.

#include <QCoreApplication>
#include <QWidget>
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

}  // namespace tandemo::ui::testing
