#pragma once

// The Sensitivity & Lights tab: the two DPI presets, the polling rate and the logo and wheel
// lights. Edits change the controller's state at once; they reach the mouse on the next write.

#include <functional>

#include <QWidget>

#include "ui/ControllerSignals.h"

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QSlider;
class QVBoxLayout;

namespace tandemo::ui {

class LightingEditor;

class MouseSettingsView final : public QWidget {
  Q_OBJECT

 public:
  explicit MouseSettingsView(ControllerSignals& model, QWidget* parent = nullptr);

 private:
  using DpiField = std::int64_t HardwareConfig::*;
  struct DpiRow {
    DpiField field;
    QSlider* slider;
    QLineEdit* text;
  };

  Controller& c() const { return model_.controller(); }
  void editHardware(const std::function<void(HardwareConfig&)>& change);
  QGroupBox* buildSensitivity();
  QGroupBox* buildPolling();
  DpiRow makeDpiRow(const QString& title, const QString& objectName, DpiField field, QVBoxLayout* into);
  void refresh();
  void refreshDpi(const DpiRow& row);

  ControllerSignals& model_;
  DpiRow dpi1_{};
  DpiRow dpi2_{};
  QButtonGroup* polling_ = nullptr;
  LightingEditor* logo_ = nullptr;
  LightingEditor* wheel_ = nullptr;
};

}  // namespace tandemo::ui
