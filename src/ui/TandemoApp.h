#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

#include "ui/ControllerSignals.h"

class QAction;
class QActionGroup;
class QMenu;
class QSystemTrayIcon;
class QTabWidget;

namespace tandemo::sim {
class VirtualRival500;
}

namespace tandemo::ui {

class MainHeader;
class VirtualMouseWindow;

// The settings window: the header above the four tabs.
class MainWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr QSize kDefaultSize{1000, 660};
  static constexpr QSize kMinimumSize{940, 620};

  MainWindow(ControllerSignals& model, bool simulated, QWidget* parent = nullptr);

  MainHeader& header() const { return *header_; }
  QTabWidget& tabs() const { return *tabs_; }

 signals:
  void closed();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  MainHeader* header_;
  QTabWidget* tabs_;
  bool iconRequested_ = false;
};

// The application scene: the tray icon and its menu, the settings window, the virtual mouse
// window in simulate mode, and quitting. Without a system tray the window opens at start and
// closing it quits; with one, closing only hides it.
class TandemoApp final : public QObject {
  Q_OBJECT

 public:
  struct Options {
    bool useTray = true;  // false: never show a tray icon (screenshots), as if there were no tray
    sim::VirtualRival500* virtualMouse = nullptr;  // set in simulate mode
  };

  TandemoApp(Controller& controller, Options options, QObject* parent = nullptr);
  ~TandemoApp() override;

  // Shows the tray icon, and the window when there is no tray or the settings ask for it.
  void start();
  void showWindow();
  void showVirtualMouse();
  // Releases every held bridged action, writes the pending save, then ends the event loop.
  void quit();

  bool hasTray() const { return tray_ != nullptr; }
  MainWindow& window() const { return *window_; }
  QMenu& trayMenu() const { return *menu_; }
  QSystemTrayIcon* trayIcon() const { return tray_; }
  VirtualMouseWindow* virtualMouseWindow() const { return virtualMouse_.get(); }
  ControllerSignals& model() const { return *model_; }

 private:
  void buildMenu();
  void update(Controller::Property property);
  void showConnection();
  void showProfiles();
  void pin(std::optional<Uuid> id);

  Controller& controller_;
  std::unique_ptr<ControllerSignals> model_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<VirtualMouseWindow> virtualMouse_;
  QSystemTrayIcon* tray_ = nullptr;
  bool useTray_;
  bool quitting_ = false;

  QAction* status_ = nullptr;
  QAction* profileLine_ = nullptr;
  QAction* write_ = nullptr;
  QAction* automatic_ = nullptr;
  QMenu* profileMenu_ = nullptr;
  QActionGroup* profileGroup_ = nullptr;
  std::vector<QAction*> profileEntries_;
  QAction* quit_ = nullptr;
};

}  // namespace tandemo::ui
