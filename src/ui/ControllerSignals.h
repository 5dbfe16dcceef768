#pragma once

// Turns the controller's subscribe() notifications into one Qt signal, so views connect to the
// properties they show and update in place.

#include <QObject>

#include "controller/Controller.h"

namespace tandemo::ui {

class ControllerSignals final : public QObject {
  Q_OBJECT

 public:
  explicit ControllerSignals(Controller& controller, QObject* parent = nullptr);
  ~ControllerSignals() override;

  Controller& controller() const { return controller_; }

 signals:
  // Emitted on the main thread after every change the controller publishes.
  void changed(tandemo::Controller::Property property);

 private:
  Controller& controller_;
  Controller::ObserverId observer_;
};

}  // namespace tandemo::ui

Q_DECLARE_METATYPE(tandemo::Controller::Property)
