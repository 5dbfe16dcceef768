#pragma once

#include <QWidget>
#include <map>

#include "device/Rival500.h"

class QCheckBox;
class QPushButton;

namespace tandemo::sim {
class VirtualRival500;
}

namespace tandemo::ui {

// The simulated Rival 500 at the user's fingertips: plug it in or out, and hold any of its
// fifteen controls for as long as the pointer (or Space) holds the control's button.
class VirtualMouseWindow final : public QWidget {
  Q_OBJECT

 public:
  explicit VirtualMouseWindow(sim::VirtualRival500& mouse, QWidget* parent = nullptr);

  // Lets go of every control this window holds.
  void releaseAll();

 private:
  void setPlugged(bool plugged);
  void press(Rival500::Button button);
  void release(Rival500::Button button);

  sim::VirtualRival500& mouse_;
  QCheckBox* plugged_;
  std::map<Rival500::Button, QPushButton*> buttons_;
  std::map<Rival500::Button, bool> held_;
};

}  // namespace tandemo::ui
