#pragma once

// One light's editor: steady colour or colour cycle, one row per stop with a colour well, the
// cycle time and the factory rainbow. The owner shows a value with setLighting() whenever the
// state changes and turns every lightingEdited() into a change of the state.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QWidget>

#include "device/Rival500.h"

class QColor;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QToolButton;
class QVBoxLayout;

namespace tandemo::ui {

// The light's stops as the mode picker changes them: to a cycle, a single stop gains a second at
// 50 % with its channels rotated; to steady, only the first stop stays, at 0 %, with a 1 s cycle.
void setCycle(Rival500::Lighting& lighting, bool cycle);
// Appends a stop 20 % after the last (at most 99 %) with the last stop's channels rotated.
void addColor(Rival500::Lighting& lighting);
// A picked colour as sRGB bytes; absent when it cannot be converted.
std::optional<std::array<std::uint8_t, 3>> srgbBytes(const QColor& color);

class LightingEditor final : public QWidget {
  Q_OBJECT

 public:
  static constexpr std::size_t maxStops = 14;

  // `name` ("Logo light") names the editor's controls for screen readers and the colour dialog.
  explicit LightingEditor(const QString& name, QWidget* parent = nullptr);

  // Shows `lighting` without emitting lightingEdited(); rows are reused, focus stays where it is.
  void setLighting(const Rival500::Lighting& lighting);
  const Rival500::Lighting& lighting() const { return lighting_; }

 signals:
  // Emitted once for every edit the user makes, with the whole new light.
  void lightingEdited(const tandemo::Rival500::Lighting& lighting);

 private:
  struct StopRow {
    QWidget* row;
    QPushButton* well;
    QSpinBox* position;
    QToolButton* remove;
    QLabel* steadyText;
  };

  void edit(const std::function<void(Rival500::Lighting&)>& change);
  void pickColor(std::size_t index);
  StopRow makeRow(std::size_t index);
  void refresh();

  QString name_;
  Rival500::Lighting lighting_;
  QPushButton* steady_ = nullptr;
  QPushButton* cycle_ = nullptr;
  QVBoxLayout* rowsLayout_ = nullptr;
  std::vector<StopRow> rows_;
  QPushButton* addColor_ = nullptr;
  QWidget* cycleRow_ = nullptr;
  QSlider* duration_ = nullptr;
  QLabel* durationText_ = nullptr;
  QLabel* note_ = nullptr;
};

}  // namespace tandemo::ui
