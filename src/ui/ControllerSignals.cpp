#include "ui/ControllerSignals.h"

namespace tandemo::ui {

ControllerSignals::ControllerSignals(Controller& controller, QObject* parent)
    : QObject(parent), controller_(controller) {
  qRegisterMetaType<Controller::Property>();
  observer_ = controller_.subscribe([this](Controller::Property property) { emit changed(property); });
}

ControllerSignals::~ControllerSignals() { controller_.unsubscribe(observer_); }

}  // namespace tandemo::ui
