#pragma once

// The Buttons tab: the mouse map with its legend on the left, the inspector of the selected
// control on the right. The inspector edits the control's firmware assignment and, for an
// app-controlled control, its host action in one profile.

#include <QWidget>
#include <optional>

#include "model/Uuid.h"
#include "ui/ControllerSignals.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QStackedWidget;

namespace tandemo::ui {

class HostActionEditor;
class MouseMapView;

class ButtonsView final : public QWidget {
  Q_OBJECT

 public:
  explicit ButtonsView(ControllerSignals& model, QWidget* parent = nullptr);

  // The control in the inspector; starts at button9.
  std::optional<Rival500::Button> selected() const { return selected_; }
  void setSelected(std::optional<Rival500::Button> button);

 private:
  QWidget* buildMapColumn(ControllerSignals& model);
  QWidget* buildInspector();
  void refresh();
  void refreshMouseGroup(Rival500::Button button, const Rival500::Assignment& assignment);
  void refreshProfileGroup(Rival500::Button button, bool bridged);
  std::optional<Profile> inspectedProfile() const;
  void setKind(int assignmentCase);
  void stopRecording();  // an Assignment alternative

  Controller& controller_;
  std::optional<Rival500::Button> selected_ = Rival500::Button::button9;
  std::optional<Uuid> profileID_;  // chosen in the inspector; none follows the active profile

  MouseMapView* map_;
  QStackedWidget* inspectorStack_;
  QLabel* title_;
  QLabel* identifier_;
  QComboBox* actsAs_;
  QWidget* mouseRow_;
  QComboBox* mouseNumber_;
  QLabel* mouseHint_;
  QWidget* keyRow_;
  QComboBox* key_;
  QWidget* mediaRow_;
  QComboBox* media_;
  QLabel* bridgeText_;
  QLabel* takesEffect_;
  QGroupBox* profileBox_;
  QComboBox* profile_;
  HostActionEditor* editor_;
  QLabel* wowHint_;
};

}  // namespace tandemo::ui
