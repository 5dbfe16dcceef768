#pragma once

// Edits one host action in place. The owner shows a value with setAction() whenever the state
// changes, and turns every actionEdited() into a controller operation. Placeholder until built.

#include <QWidget>

#include "model/HostAction.h"

namespace tandemo::ui {

class HostActionEditor final : public QWidget {
  Q_OBJECT

 public:
  explicit HostActionEditor(QWidget* parent = nullptr);

  // Shows `action` without emitting actionEdited(); keeps focus and the cursor where they are.
  void setAction(const HostAction& action);
  const HostAction& action() const { return action_; }

 signals:
  // Emitted once for every edit the user makes, with the whole new action.
  void actionEdited(const tandemo::HostAction& action);

 private:
  HostAction action_;
};

}  // namespace tandemo::ui
