#include "ui/SetupView.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "ui/KeyboardTexts.h"
#include "ui/PlatformTexts.h"
#include "ui/TabWidgets.h"

namespace tandemo::ui {

namespace {

const QColor kRed(255, 59, 48);
const QColor kGray(142, 142, 147);
const QColor kGreen(52, 199, 89);
const QColor kOrange(255, 149, 0);

struct KeyboardRow {
  QString text;
  QColor color;
  bool tryAgain = false;
};

KeyboardRow keyboardRow(const HIDLink::KeyboardState& state) {
  using S = HIDLink::KeyboardState;
  const QString text = texts::keyboardStateText(state);
  if (state.is<S::Absent>()) return {text, kRed};
  if (state.is<S::Idle>()) return {text, kGray};
  if (state.is<S::Seized>()) return {text, kGreen};
  return {text, kOrange, state.is<S::NeedsInputMonitoring>()};
}

QPixmap drawn(int size, qreal ratio, const std::function<void(QPainter&)>& paint) {
  QPixmap pixmap(QSize(size, size) * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  paint(painter);
  return pixmap;
}

// A green disc with a check mark, or a red ring with a cross.
QPixmap permissionIcon(bool granted, qreal ratio) {
  return drawn(20, ratio, [granted](QPainter& p) {
    if (granted) {
      p.setPen(Qt::NoPen);
      p.setBrush(kGreen);
      p.drawEllipse(QRectF(1, 1, 18, 18));
      p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      QPainterPath check;
      check.moveTo(5.5, 10.5);
      check.lineTo(8.7, 13.6);
      check.lineTo(14.5, 6.8);
      p.setBrush(Qt::NoBrush);
      p.drawPath(check);
    } else {
      p.setPen(QPen(kRed, 1.6));
      p.drawEllipse(QRectF(1.5, 1.5, 17, 17));
      p.setPen(QPen(kRed, 1.8, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(7, 7), QPointF(13, 13));
      p.drawLine(QPointF(13, 7), QPointF(7, 13));
    }
  });
}

QCheckBox* toggle(const QString& text, const char* name) {
  auto* box = new QCheckBox(text);
  box->setObjectName(name);
  box->setAccessibleName(text);
  return box;
}

QPushButton* button(const QString& text, const char* name) {
  auto* push = new QPushButton(text);
  push->setObjectName(name);
  push->setAccessibleName(text);
  return push;
}

}  // namespace

SetupView::SetupView(ControllerSignals& model, QWidget* parent) : QWidget(parent), model_(model) {
  auto* layout = scrollingContent(this, "Setup");
  layout->setSpacing(18);
  layout->setContentsMargins(11, 11, 15, 11);
  layout->addWidget(buildPermissions());
  layout->addWidget(buildKeyboard());
  layout->addWidget(buildMouse());
  layout->addWidget(buildApp());
  layout->addWidget(buildWow());
  layout->addWidget(buildLog());
  layout->addStretch(1);

  connect(&model_, &ControllerSignals::changed, this, [this](Controller::Property property) {
    if (property == Controller::Property::log) refreshLog();
    else refresh();
  });
  refresh();
  refreshLog();
}

void SetupView::editState(const std::function<void(AppState&)>& change) {
  AppState next = c().state();
  change(next);
  c().setState(std::move(next));
}

SetupView::PermissionRow SetupView::addPermissionRow(QVBoxLayout* into, const QString& title, const QString& why,
                                                     const QString& name, const std::function<void()>& request) {
  auto* row = new QHBoxLayout;
  row->setSpacing(10);
  auto* icon = new QLabel;
  icon->setObjectName(name + "Icon");
  icon->setFixedSize(20, 20);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(2);
  auto* heading = new QLabel(title);
  QFont font = heading->font();
  font.setWeight(QFont::Medium);
  heading->setFont(font);
  texts->addWidget(heading);
  texts->addWidget(caption(why));
  auto* grant = button("Grant\u2026", "");
  grant->setObjectName(name + "Grant");
  grant->setAccessibleName("Grant " + title);
  connect(grant, &QPushButton::clicked, this, request);
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addLayout(texts, 1);
  row->addWidget(grant, 0, Qt::AlignVCenter);
  into->addLayout(row);
  return {title, icon, grant};
}

QGroupBox* SetupView::buildPermissions() {
  auto* box = new QGroupBox("Permissions Tandemo needs");
  auto* layout = new QVBoxLayout(box);
  layout->setSpacing(12);
  inputMonitoring_ =
      addPermissionRow(layout, "Input devices",
                       "Lets Tandemo read the extra buttons (the mouse sends them as hidden keys).", "inputMonitoring",
                       [this] { c().requestInputMonitoring(); });
  accessibility_ = addPermissionRow(
      layout, "Virtual input", "Lets Tandemo send the mouse buttons, keys and scrolls it makes into other apps.",
      "accessibility", [this] { c().requestAccessibility(); });
  layout->addWidget(caption("Both come from Tandemo's udev rule, installed once (see Help). Tandemo notices within "
                            "a couple of seconds."));
  return box;
}

QGroupBox* SetupView::buildKeyboard() {
  auto* box = new QGroupBox("Extra buttons");
  auto* layout = new QVBoxLayout(box);
  auto* row = new QHBoxLayout;
  keyboardDot_ = new QLabel;
  keyboardDot_->setObjectName("keyboardDot");
  keyboardDot_->setFixedSize(10, 10);
  keyboardText_ = new QLabel;
  keyboardText_->setObjectName("keyboardText");
  keyboardText_->setWordWrap(true);
  tryAgain_ = button("Try again", "tryAgain");
  connect(tryAgain_, &QPushButton::clicked, this, [this] { c().refreshPermissions(); });
  row->addWidget(keyboardDot_);
  row->addWidget(keyboardText_, 1);
  row->addWidget(tryAgain_);
  layout->addLayout(row);
  hiddenKeysWarning_ = caption(
      "Until Tandemo holds the mouse, app-controlled buttons send their hidden keys (F13\u2013F24) to the "
      "desktop, whose default keymap gives several of them a job, such as microphone mute or touchpad toggle.");
  hiddenKeysWarning_->setObjectName("hiddenKeysWarning");
  layout->addWidget(hiddenKeysWarning_);
  return box;
}

QGroupBox* SetupView::buildMouse() {
  auto* box = new QGroupBox("Mouse");
  auto* layout = new QVBoxLayout(box);
  writeOnConnect_ = toggle("Write my settings to the mouse whenever it's plugged in", "writeOnConnect");
  connect(writeOnConnect_, &QCheckBox::clicked, this,
          [this](bool on) { editState([on](AppState& s) { s.writeOnConnect = on; }); });
  saveToMemory_ = toggle("Also save into the mouse's own memory (survives unplugging, works on other computers)",
                         "saveToOnboardMemory");
  connect(saveToMemory_, &QCheckBox::clicked, this,
          [this](bool on) { editState([on](AppState& s) { s.saveToOnboardMemory = on; }); });
  restore_ = button("Restore SteelSeries defaults", "restoreDefaults");
  connect(restore_, &QPushButton::clicked, this, &SetupView::confirmFactory);
  readFirmware_ = button("Read firmware again", "readFirmware");
  connect(readFirmware_, &QPushButton::clicked, this, [this] { c().readFirmware(); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(restore_);
  buttons->addWidget(readFirmware_);
  buttons->addStretch();
  layout->addWidget(writeOnConnect_);
  layout->addWidget(saveToMemory_);
  layout->addLayout(buttons);
  return box;
}

QGroupBox* SetupView::buildApp() {
  auto* box = new QGroupBox("Tandemo");
  auto* layout = new QVBoxLayout(box);
  launchAtLogin_ = toggle("Start at login", "launchAtLogin");
  connect(launchAtLogin_, &QCheckBox::clicked, this, [this](bool on) { c().setLaunchAtLogin(on); });
  openAtLaunch_ = toggle("Open this window when Tandemo starts", "openWindowAtLaunch");
  connect(openAtLaunch_, &QCheckBox::clicked, this,
          [this](bool on) { editState([on](AppState& s) { s.openWindowAtLaunch = on; }); });
  layout->addWidget(launchAtLogin_);
  layout->addWidget(openAtLaunch_);
  layout->addWidget(caption("Tandemo lives in the system tray. Quit it from there. Buttons set to \u201cMouse "
                            "button\u201d, \u201cType a key\u201d or \u201cSwitch DPI\u201d keep working with it "
                            "closed; app-controlled buttons need it running."));
  return box;
}

QGroupBox* SetupView::buildWow() {
  auto* box = new QGroupBox("In World of Warcraft");
  auto* layout = new QVBoxLayout(box);
  auto* steps = new QLabel(
      "1. Press Write to mouse once.\n"
      "2. In WoW: Escape \u203a Options \u203a Keybindings. Click the action you want, then press the mouse "
      "button. It appears as Mouse Button 9\u201315.\n"
      "3. Hold Shift, Ctrl or Alt while pressing for the modifier versions, exactly like a keyboard key.\n"
      "Keep it one press, one action: that is what Blizzard allows.");
  steps->setWordWrap(true);
  steps->setAccessibleName("Steps for World of Warcraft");
  steps->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(steps);
  layout->addWidget(caption(QString::fromUtf8(texts::kWineProtonHint), 1.0));
  return box;
}

QGroupBox* SetupView::buildLog() {
  auto* box = new QGroupBox("Log");
  auto* layout = new QVBoxLayout(box);
  log_ = new QPlainTextEdit;
  log_->setObjectName("log");
  log_->setAccessibleName("Activity log");
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_->setFixedHeight(120);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSizeF(font.pointSizeF() * 0.9);
  log_->setFont(font);
  layout->addWidget(log_);
  return box;
}

void SetupView::confirmFactory() {
  if (confirmation_) {
    confirmation_->raise();
    return;
  }
  auto* box = new QMessageBox(QMessageBox::Warning, "Tandemo", "Put the mouse back to how SteelSeries shipped it?",
                              QMessageBox::NoButton, this);
  box->setObjectName("factoryConfirmation");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setInformativeText("Buttons 9, 11, 12 and 13 go dark, button 10 switches DPI, tilt scrolls sideways, "
                          "DPI 800/1600, rainbow lights. Your profiles stay.");
  QPushButton* restore = box->addButton("Restore defaults", QMessageBox::DestructiveRole);
  restore->setObjectName("confirmRestore");
  QPushButton* cancel = box->addButton(QMessageBox::Cancel);
  cancel->setObjectName("cancelRestore");
  box->setDefaultButton(cancel);
  box->setEscapeButton(cancel);
  connect(box, &QMessageBox::finished, this, [this, box, restore] {
    if (box->clickedButton() == restore) c().restoreFactory();
  });
  confirmation_ = box;
  box->open();
}

void SetupView::refreshPermission(PermissionRow& row, bool granted) {
  if (row.icon->property("granted") != QVariant(granted)) {
    row.icon->setProperty("granted", granted);
    row.icon->setPixmap(permissionIcon(granted, row.icon->devicePixelRatioF()));
    row.icon->setAccessibleName(row.title + (granted ? ": granted" : ": not granted"));
  }
  row.grant->setVisible(!granted);
}

void SetupView::refresh() {
  refreshPermission(inputMonitoring_, c().inputMonitoring());
  refreshPermission(accessibility_, c().accessibility());

  const HIDLink::KeyboardState& keyboard = c().keyboardState();
  const KeyboardRow row = keyboardRow(keyboard);
  setDot(keyboardDot_, row.color, 10);
  if (keyboardText_->text() != row.text) keyboardText_->setText(row.text);
  keyboardDot_->setAccessibleName(row.text);
  tryAgain_->setVisible(row.tryAgain);
  // The hidden keys reach the desktop only from a plugged-in mouse that Tandemo does not hold.
  const bool keysLeak = !c().state().hardware.bridgedButtons().empty() &&
                        !keyboard.is<HIDLink::KeyboardState::Seized>() &&
                        !keyboard.is<HIDLink::KeyboardState::Absent>();
  hiddenKeysWarning_->setVisible(keysLeak);

  const AppState& state = c().state();
  if (writeOnConnect_->isChecked() != state.writeOnConnect) writeOnConnect_->setChecked(state.writeOnConnect);
  if (saveToMemory_->isChecked() != state.saveToOnboardMemory) saveToMemory_->setChecked(state.saveToOnboardMemory);
  if (openAtLaunch_->isChecked() != state.openWindowAtLaunch) openAtLaunch_->setChecked(state.openWindowAtLaunch);
  if (launchAtLogin_->isChecked() != c().launchAtLogin()) launchAtLogin_->setChecked(c().launchAtLogin());
  restore_->setEnabled(c().connected());
  readFirmware_->setEnabled(c().connected());
  // A reset confirmed after the mouse went away would only fail: withdraw the question.
  if (!c().connected() && confirmation_) confirmation_->reject();
}

void SetupView::refreshLog() {
  QStringList lines;
  for (const std::string& entry : c().log()) lines.append(QString::fromStdString(entry));
  const QString text = lines.join('\n');
  if (log_->toPlainText() == text) return;
  QScrollBar* bar = log_->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  const int kept = bar->value();
  log_->setPlainText(text);
  bar->setValue(atEnd ? bar->maximum() : kept);
}

}  // namespace tandemo::ui
