#pragma once

#include <QWidget>

#include "ui/ControllerSignals.h"

namespace tandemo::ui {

// Placeholder until the tab is built.
class ProfilesView final : public QWidget {
  Q_OBJECT

 public:
  explicit ProfilesView(ControllerSignals& model, QWidget* parent = nullptr);
};

}  // namespace tandemo::ui
