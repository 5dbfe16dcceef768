#pragma once

// The Profiles tab: the list of profiles with add, remove, automatic switching and the pin on
// the left; the chosen profile's name, app ids and the actions of its app-controlled buttons on
// the right. Built once; every controller change updates the widgets in place.

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QWidget>

#include "ui/ControllerSignals.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;

namespace tandemo::ui {

class HostActionEditor;

class ProfilesView final : public QWidget {
  Q_OBJECT

 public:
  explicit ProfilesView(ControllerSignals& model, QWidget* parent = nullptr);

 private:
  struct AppRow {
    QWidget* row;
    QLabel* text;
    QToolButton* remove;
  };
  struct ButtonRow {
    Rival500::Button button;
    QWidget* box;
    QToolButton* disclose;
    QLabel* dot;
    QLabel* summary;
    QWidget* content;
    HostActionEditor* editor;
  };

  Controller& c() const { return model_.controller(); }
  // The chosen profile's id, or the first profile's while none is chosen.
  std::optional<Uuid> shownID() const;
  const Profile* shownProfile() const;
  // One change of the state, applied to the shown profile; nothing when there is none.
  void editShown(const std::function<void(Profile&)>& edit);
  void addAppID(const std::string& text);
  void removeAppID(std::size_t index);

  QWidget* buildLeft();
  QWidget* buildDetail();
  void refresh();
  void refreshList();
  void refreshPin();
  void refreshDetail(const Profile& profile);
  void refreshAppRows(const Profile& profile);
  void refreshButtonRows(const Profile& profile);
  void rebuildButtonRows(const std::vector<Rival500::Button>& buttons);

  ControllerSignals& model_;
  std::optional<Uuid> selectedID_;

  QListWidget* list_ = nullptr;
  QToolButton* add_ = nullptr;
  QToolButton* remove_ = nullptr;
  QCheckBox* autoSwitch_ = nullptr;
  QComboBox* pin_ = nullptr;
  QLabel* front_ = nullptr;

  QStackedWidget* detailStack_ = nullptr;
  QLineEdit* name_ = nullptr;
  QLabel* fallbackHint_ = nullptr;
  QVBoxLayout* appRowsLayout_ = nullptr;
  std::vector<AppRow> appRows_;
  QLineEdit* newAppID_ = nullptr;
  QPushButton* runningApps_ = nullptr;
  QLabel* noBridgedHint_ = nullptr;
  QVBoxLayout* buttonRowsLayout_ = nullptr;
  std::vector<ButtonRow> buttonRows_;
  std::set<Rival500::Button> expanded_;
};

}  // namespace tandemo::ui
