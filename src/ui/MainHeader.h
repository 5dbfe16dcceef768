#pragma once

#include <QWidget>

#include "ui/ControllerSignals.h"

class QLabel;
class QPushButton;

namespace tandemo::ui {

// The settings window's header: connection dot and texts, the active profile, the last write's
// outcome (red after a failure, until the next write replaces it), a spinner while a write runs
// and "Write to mouse". In simulate mode it says so and offers the virtual mouse window.
class MainHeader final : public QWidget {
  Q_OBJECT

 public:
  MainHeader(ControllerSignals& model, bool simulated, QWidget* parent = nullptr);

 signals:
  void virtualMouseRequested();

 private:
  void update(Controller::Property property);
  void showConnection();
  void showProfile();
  void showWrite();

  ControllerSignals& model_;
  QWidget* dot_;
  QLabel* title_;
  QLabel* caption_;
  QLabel* profile_;
  QLabel* lastWrite_;
  QWidget* spinner_;
  QPushButton* write_;
};

}  // namespace tandemo::ui
