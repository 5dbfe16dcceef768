#include "ui/ActionEditor.h"

namespace tandemo::ui {

HostActionEditor::HostActionEditor(QWidget* parent) : QWidget(parent) {}

void HostActionEditor::setAction(const HostAction& action) { action_ = action; }

}  // namespace tandemo::ui
