#include "ui/ButtonsView.h"

namespace tandemo::ui {

ButtonsView::ButtonsView(ControllerSignals& model, QWidget* parent) : QWidget(parent) { static_cast<void>(model); }

}  // namespace tandemo::ui
