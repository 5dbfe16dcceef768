#include "ui/SetupView.h"

namespace tandemo::ui {

SetupView::SetupView(ControllerSignals& model, QWidget* parent) : QWidget(parent) { static_cast<void>(model); }

}  // namespace tandemo::ui
