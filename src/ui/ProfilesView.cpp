#include "ui/ProfilesView.h"

namespace tandemo::ui {

ProfilesView::ProfilesView(ControllerSignals& model, QWidget* parent) : QWidget(parent) { static_cast<void>(model); }

}  // namespace tandemo::ui
