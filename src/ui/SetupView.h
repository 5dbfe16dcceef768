#pragma once

#include <QWidget>

#include "ui/ControllerSignals.h"

namespace tandemo::ui {

// Placeholder until the tab is built.
class SetupView final : public QWidget {
  Q_OBJECT

 public:
  explicit SetupView(ControllerSignals& model, QWidget* parent = nullptr);
};

}  // namespace tandemo::ui
