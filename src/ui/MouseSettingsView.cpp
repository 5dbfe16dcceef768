#include "ui/MouseSettingsView.h"

namespace tandemo::ui {

MouseSettingsView::MouseSettingsView(ControllerSignals& model, QWidget* parent) : QWidget(parent) { static_cast<void>(model); }

}  // namespace tandemo::ui
