#include "ui/TandemoApp.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>

#include "ui/ButtonsView.h"
#include "ui/MainHeader.h"
#include "ui/MouseSettingsView.h"
#include "ui/ProfilesView.h"
#include "ui/SetupView.h"
#include "ui/TrayIcons.h"
#include "ui/VirtualMouseWindow.h"

namespace tandemo::ui {
namespace {

// Theme icon for a tab: the first name the icon theme has, or none.
QIcon themeIcon(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (QIcon::hasThemeIcon(QString::fromLatin1(name))) return QIcon::fromTheme(QString::fromLatin1(name));
  }
  return {};
}

QString text(const std::string& value) { return QString::fromStdString(value); }
// A user's text as a menu entry: "&" stays an ampersand instead of marking a shortcut letter.
QString entryText(const std::string& value) { return text(value).replace('&', QStringLiteral("&&")); }

}  // namespace

// ---- the settings window ----

MainWindow::MainWindow(ControllerSignals& model, bool simulated, QWidget* parent)
    : QWidget(parent), header_(new MainHeader(model, simulated, this)), tabs_(new QTabWidget(this)) {
  setWindowTitle(tr("Tandemo"));
  setObjectName("mainWindow");
  resize(kDefaultSize);
  setMinimumSize(kMinimumSize);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(header_);
  auto* divider = new QFrame(this);
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Sunken);
  column->addWidget(divider);

  auto* tabArea = new QVBoxLayout;
  tabArea->setContentsMargins(12, 12, 12, 12);
  tabs_->setObjectName("tabs");
  tabs_->setDocumentMode(true);
  // The Buttons tab is built at once; the others when first shown, which keeps start-up short.
  tabs_->addTab(new ButtonsView(model, tabs_), themeIcon({"input-mouse"}), tr("Buttons"));
  const auto addLazyTab = [&](std::function<QWidget*(QWidget*)> make, QIcon icon, const QString& title) {
    auto* page = new QWidget(tabs_);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    const int index = tabs_->addTab(page, std::move(icon), title);
    connect(tabs_, &QTabWidget::currentChanged, page, [page, layout, index, make = std::move(make)](int shown) {
      if (shown == index && layout->isEmpty()) layout->addWidget(make(page));
    });
  };
  addLazyTab([&model](QWidget* page) { return new ProfilesView(model, page); },
             themeIcon({"system-users", "x-office-address-book"}), tr("Profiles"));
  addLazyTab([&model](QWidget* page) { return new MouseSettingsView(model, page); },
             themeIcon({"preferences-desktop-peripherals", "preferences-other"}), tr("Sensitivity && Lights"));
  addLazyTab([&model](QWidget* page) { return new SetupView(model, page); },
             themeIcon({"preferences-system", "emblem-system"}), tr("Setup"));
  tabArea->addWidget(tabs_);
  column->addLayout(tabArea, 1);
}

bool MainWindow::event(QEvent* event) {
  // The icon is decoded from the theme's large image, which takes longer than building the
  // window: it comes once the first frame is on screen.
  if (event->type() == QEvent::Paint && !iconRequested_) {
    iconRequested_ = true;
    QTimer::singleShot(0, this, [this] { setWindowIcon(ui::windowIcon()); });
  }
  return QWidget::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  emit closed();
}

// ---- the scene ----

TandemoApp::TandemoApp(Controller& controller, Options options, QObject* parent)
    : QObject(parent),
      controller_(controller),
      model_(std::make_unique<ControllerSignals>(controller)),
      window_(std::make_unique<MainWindow>(*model_, options.virtualMouse != nullptr)),
      menu_(std::make_unique<QMenu>()),
      useTray_(options.useTray) {
  if (options.virtualMouse) {
    virtualMouse_ = std::make_unique<VirtualMouseWindow>(*options.virtualMouse);
    connect(&window_->header(), &MainHeader::virtualMouseRequested, this, &TandemoApp::showVirtualMouse);
  }
  buildMenu();
  // Every way out goes through quit(); closing a window alone never ends the program, and an
  // end the session asks for still releases and saves.
  QApplication::setQuitOnLastWindowClosed(false);
  connect(qApp, &QCoreApplication::aboutToQuit, this, &TandemoApp::quit);
  connect(window_.get(), &MainWindow::closed, this, [this] {
    if (!hasTray()) quit();
  });
  connect(model_.get(), &ControllerSignals::changed, this, &TandemoApp::update);
  showConnection();
  showProfiles();
}

TandemoApp::~TandemoApp() { delete tray_; }  // before the menu it shows

void TandemoApp::buildMenu() {
  menu_->setObjectName("trayMenu");
  status_ = menu_->addAction(QString());
  status_->setEnabled(false);
  profileLine_ = menu_->addAction(QString());
  profileLine_->setEnabled(false);
  menu_->addSeparator();
  connect(menu_->addAction(tr("Open Tandemo\u2026")), &QAction::triggered, this, &TandemoApp::showWindow);
  write_ = menu_->addAction(tr("Write settings to mouse"));
  connect(write_, &QAction::triggered, this, [this] { controller_.writeToMouse(); });

  profileMenu_ = menu_->addMenu(tr("Profile"));
  profileMenu_->setObjectName("profileMenu");
  profileGroup_ = new QActionGroup(profileMenu_);
  automatic_ = profileMenu_->addAction(tr("Automatic (by front app)"));
  automatic_->setCheckable(true);
  profileGroup_->addAction(automatic_);
  connect(automatic_, &QAction::triggered, this, [this] { pin(std::nullopt); });
  profileMenu_->addSeparator();

  menu_->addSeparator();
  if (virtualMouse_) {
    connect(menu_->addAction(tr("Virtual mouse\u2026")), &QAction::triggered, this, &TandemoApp::showVirtualMouse);
    menu_->addSeparator();
  }
  quit_ = menu_->addAction(tr("Quit Tandemo"));
  quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quit_->setShortcutContext(Qt::ApplicationShortcut);
  connect(quit_, &QAction::triggered, this, &TandemoApp::quit);
  window_->addAction(quit_);
}

void TandemoApp::start() {
  if (useTray_ && QSystemTrayIcon::isSystemTrayAvailable()) {
    tray_ = new QSystemTrayIcon(this);
    tray_->setContextMenu(menu_.get());
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      if (reason == QSystemTrayIcon::Trigger) showWindow();
    });
    showConnection();
    tray_->show();
  }
  // Without a tray the window is the only way in, whatever the settings say.
  if (!hasTray() || controller_.state().openWindowAtLaunch) showWindow();
}

void TandemoApp::showWindow() {
  if (window_->isMinimized()) window_->showNormal();
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void TandemoApp::showVirtualMouse() {
  if (!virtualMouse_) return;
  virtualMouse_->show();
  virtualMouse_->raise();
  virtualMouse_->activateWindow();
}

void TandemoApp::quit() {
  if (quitting_) return;
  quitting_ = true;
  controller_.releaseBridge();
  if (virtualMouse_) virtualMouse_->releaseAll();
  controller_.flushPendingSave();
  QCoreApplication::quit();
}

void TandemoApp::update(Controller::Property property) {
  using P = Controller::Property;
  if (property == P::connected) showConnection();
  if (property == P::state || property == P::frontBundleID) showProfiles();
}

void TandemoApp::showConnection() {
  const bool connected = controller_.connected();
  status_->setText(connected ? tr("Rival 500 connected") : tr("Rival 500 not plugged in"));
  write_->setEnabled(connected);
  if (tray_) {
    tray_->setIcon(mouseIcon(connected));
    tray_->setToolTip(tr("Tandemo \u2014 %1").arg(status_->text()));
  }
}

void TandemoApp::showProfiles() {
  const AppState& state = controller_.state();
  const auto active = controller_.activeProfile();
  profileLine_->setText(tr("Profile: ") + (active ? entryText(active->name) : QStringLiteral("\u2014")));

  // Entries are updated in place, so an open menu keeps its items while the state changes.
  while (profileEntries_.size() > state.profiles.size()) {
    delete profileEntries_.back();
    profileEntries_.pop_back();
  }
  while (profileEntries_.size() < state.profiles.size()) {
    auto* entry = profileMenu_->addAction(QString());
    entry->setCheckable(true);
    profileGroup_->addAction(entry);
    const std::size_t index = profileEntries_.size();
    connect(entry, &QAction::triggered, this, [this, index] {
      const auto& profiles = controller_.state().profiles;
      if (index < profiles.size()) pin(profiles[index].id);
    });
    profileEntries_.push_back(entry);
  }
  // A pin that names no profile counts as none.
  bool pinned = false;
  for (std::size_t i = 0; i < state.profiles.size(); ++i) {
    const bool isPinned = state.pinnedProfileID == state.profiles[i].id;
    profileEntries_[i]->setText(entryText(state.profiles[i].name));
    profileEntries_[i]->setChecked(isPinned);
    pinned = pinned || isPinned;
  }
  automatic_->setChecked(!pinned);
}

void TandemoApp::pin(std::optional<Uuid> id) {
  AppState next = controller_.state();
  if (next.pinnedProfileID == id) return showProfiles();
  next.pinnedProfileID = std::move(id);
  controller_.setState(std::move(next));
}

}  // namespace tandemo::ui
