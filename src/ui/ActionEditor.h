#pragma once

// Editors for host actions: HostActionEditor edits one action, SequenceEditor a sequence's steps,
// KeyRecorder records one key chord from the keyboard. They keep no model state: the owner shows
// a value with setAction()/setSteps()/setChord() whenever the state changes and turns every
// *Edited()/chordRecorded() signal into a controller operation.

#include <QWidget>
#include <optional>
#include <vector>

#include "model/HostAction.h"

class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;
class QVBoxLayout;

namespace tandemo::ui {

// Small caption texts shared by the views that embed these editors.
enum class Tone { secondary, tertiary, warning };
QLabel* makeCaption(const QString& text, Tone tone, QWidget* parent = nullptr);
QFont scaledFont(const QFont& base, double factor);

// The chord a key press records: the key by its physical position (the native scan code, an
// XKB keycode on X11 and Wayland), modifiers from the event. Absent when the key has no code in
// the key table. Pure modifier presses are not chords: see isModifierPress().
std::optional<KeyChord> chordForKeyPress(const QKeyEvent& event);
bool isModifierPress(const QKeyEvent& event);

class KeyRecorder final : public QWidget {
  Q_OBJECT

 public:
  explicit KeyRecorder(QWidget* parent = nullptr);
  ~KeyRecorder() override;

  void setChord(const KeyChord& chord);
  const KeyChord& chord() const { return chord_; }
  bool isRecording() const { return recording_; }
  // Starting while recording does nothing; stopping keeps the chord.
  void start();
  void stop();

 signals:
  void chordRecorded(const tandemo::KeyChord& chord);
  void recordingStarted();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void showState();

  KeyChord chord_;
  bool recording_ = false;
  QPushButton* button_;
  QPushButton* cancel_;
};

class SequenceEditor final : public QWidget {
  Q_OBJECT

 public:
  explicit SequenceEditor(QWidget* parent = nullptr);

  // Updates the rows in place; rows are only rebuilt from the first step whose kind changed.
  void setSteps(const std::vector<SequenceStep>& steps);
  const std::vector<SequenceStep>& steps() const { return steps_; }

 signals:
  void stepsEdited(const std::vector<tandemo::SequenceStep>& steps);

 private:
  struct Row {
    QWidget* widget;
    std::size_t kind;  // SequenceStep::Value index
    KeyRecorder* recorder = nullptr;
    QSpinBox* spin = nullptr;
    QLineEdit* edit = nullptr;
    QToolButton* remove = nullptr;
  };

  Row makeRow(std::size_t index, const SequenceStep& step);
  void showStep(Row& row, const SequenceStep& step);
  void edit(std::size_t index, SequenceStep step);
  void removeStep(std::size_t index);
  void append(SequenceStep step);
  void commit(std::vector<SequenceStep> steps);
  void stopOtherRecorders(const KeyRecorder* recording);

  std::vector<SequenceStep> steps_;  // what the rows show
  std::vector<Row> rows_;
  QVBoxLayout* rowsLayout_;
  QPushButton* add_;
};

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
  void buildPages();
  void commit(HostAction action);
  void showAction();

  HostAction action_;
  QComboBox* kind_;
  std::vector<QWidget*> pages_;  // one per HostAction::Kind
  QSpinBox* mouseButton_;
  QLabel* primaryClickHint_;
  KeyRecorder* recorder_;
  std::vector<QToolButton*> modifiers_;  // shift, control, option, command
  QLineEdit* text_;
  QSpinBox* vertical_;
  QSpinBox* horizontal_;
  SequenceEditor* sequence_;
  QWidget* warning_;
};

}  // namespace tandemo::ui
