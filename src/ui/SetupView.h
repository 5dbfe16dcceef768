#pragma once

// The Setup tab: the two permissions and the state of the mouse's keyboard interface, the
// switches for writing to the mouse, factory reset and firmware, the app's own switches, the
// World of Warcraft instructions and the activity log. Acts only through controller operations.

#include <functional>

#include <QPointer>
#include <QWidget>

#include "ui/ControllerSignals.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace tandemo::ui {

class SetupView final : public QWidget {
  Q_OBJECT

 public:
  explicit SetupView(ControllerSignals& model, QWidget* parent = nullptr);

 private:
  struct PermissionRow {
    QString title;
    QLabel* icon;
    QPushButton* grant;
  };

  Controller& c() const { return model_.controller(); }
  void editState(const std::function<void(AppState&)>& change);
  PermissionRow addPermissionRow(QVBoxLayout* into, const QString& title, const QString& why, const QString& name,
                                 const std::function<void()>& request);
  QGroupBox* buildPermissions();
  QGroupBox* buildKeyboard();
  QGroupBox* buildMouse();
  QGroupBox* buildApp();
  QGroupBox* buildWow();
  QGroupBox* buildLog();
  // Opens the factory-reset confirmation; the reset runs only when it is confirmed.
  void confirmFactory();
  void refresh();
  void refreshPermission(PermissionRow& row, bool granted);
  void refreshLog();

  ControllerSignals& model_;
  PermissionRow inputMonitoring_{};
  PermissionRow accessibility_{};
  QLabel* keyboardDot_ = nullptr;
  QLabel* keyboardText_ = nullptr;
  QPushButton* tryAgain_ = nullptr;
  QLabel* hiddenKeysWarning_ = nullptr;
  QCheckBox* writeOnConnect_ = nullptr;
  QCheckBox* saveToMemory_ = nullptr;
  QPushButton* restore_ = nullptr;
  QPushButton* readFirmware_ = nullptr;
  QCheckBox* launchAtLogin_ = nullptr;
  QCheckBox* openAtLaunch_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QPointer<QMessageBox> confirmation_;
};

}  // namespace tandemo::ui
