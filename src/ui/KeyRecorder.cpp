// The key recorder and the mapping from a key press to a chord.

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <array>
#include <utility>

#include "device/Rival500.h"
#include "linux/HidUsageKeyCodes.h"
#include "ui/ActionEditor.h"

namespace tandemo::ui {
namespace {

// XKB keycodes, which X11 and Wayland report as the native scan code, are evdev codes plus 8.
constexpr quint32 kXkbOffset = 8;

// Keys with no native scan code (offscreen and other platforms that give none) are recorded by
// the Qt key where it names one physical key; shifted symbols and layout-specific keys are not,
// and pressing them records nothing.
std::optional<std::uint8_t> usageForQtKey(int key, Qt::KeyboardModifiers modifiers) {
  const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<std::uint8_t>(0x04 + (key - Qt::Key_A));
  if (key >= Qt::Key_1 && key <= Qt::Key_9) {
    return static_cast<std::uint8_t>((keypad ? 0x59 : 0x1E) + (key - Qt::Key_1));
  }
  if (key == Qt::Key_0) return std::uint8_t{keypad ? std::uint8_t{0x62} : std::uint8_t{0x27}};
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return static_cast<std::uint8_t>(0x3A + (key - Qt::Key_F1));
  if (key >= Qt::Key_F13 && key <= Qt::Key_F24) return static_cast<std::uint8_t>(0x68 + (key - Qt::Key_F13));
  static constexpr std::array<std::pair<int, std::uint8_t>, 32> table = {{
      {Qt::Key_Return, 0x28},   {Qt::Key_Enter, 0x58},      {Qt::Key_Escape, 0x29},
      {Qt::Key_Backspace, 0x2A}, {Qt::Key_Tab, 0x2B},       {Qt::Key_Backtab, 0x2B},
      {Qt::Key_Space, 0x2C},    {Qt::Key_Minus, 0x2D},      {Qt::Key_Equal, 0x2E},
      {Qt::Key_BracketLeft, 0x2F}, {Qt::Key_BracketRight, 0x30}, {Qt::Key_Backslash, 0x31},
      {Qt::Key_Semicolon, 0x33}, {Qt::Key_Apostrophe, 0x34}, {Qt::Key_QuoteLeft, 0x35},
      {Qt::Key_Comma, 0x36},    {Qt::Key_Period, 0x37},     {Qt::Key_Slash, 0x38},
      {Qt::Key_Insert, 0x49},   {Qt::Key_Home, 0x4A},       {Qt::Key_PageUp, 0x4B},
      {Qt::Key_Delete, 0x4C},   {Qt::Key_End, 0x4D},        {Qt::Key_PageDown, 0x4E},
      {Qt::Key_Right, 0x4F},    {Qt::Key_Left, 0x50},       {Qt::Key_Down, 0x51},
      {Qt::Key_Up, 0x52},       {Qt::Key_NumLock, 0x53},    {Qt::Key_Asterisk, 0x55},
      {Qt::Key_Plus, 0x57},     {Qt::Key_Clear, 0x53},
  }};
  if (keypad) {
    if (key == Qt::Key_Slash) return std::uint8_t{0x54};
    if (key == Qt::Key_Minus) return std::uint8_t{0x56};
    if (key == Qt::Key_Period) return std::uint8_t{0x63};
  }
  for (const auto& [qtKey, usage] : table) {
    if (qtKey == key) return usage;
  }
  return std::nullopt;
}

std::optional<std::uint8_t> usageOf(const QKeyEvent& event) {
  const quint32 scanCode = event.nativeScanCode();
  if (scanCode > kXkbOffset && scanCode - kXkbOffset <= 0xFFFF) {
    return linux_platform::usageForLinuxKey(static_cast<std::uint16_t>(scanCode - kXkbOffset));
  }
  return usageForQtKey(event.key(), event.modifiers());
}

}  // namespace

bool isModifierPress(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Shift: case Qt::Key_Control: case Qt::Key_Meta: case Qt::Key_Alt:
    case Qt::Key_AltGr: case Qt::Key_Super_L: case Qt::Key_Super_R: case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R: case Qt::Key_CapsLock:
      return true;
    default:
      break;
  }
  // The eight modifier usages and Caps Lock, whatever the layout calls them.
  const auto usage = usageOf(event);
  return usage && (*usage >= 0xE0 || *usage == 0x39);
}

// Modifiers as the chord stores them: Alt is the option flag and Super (Qt's Meta) the command
// flag, the keys the synthesiser presses for them on this desktop.
std::optional<KeyChord> chordForKeyPress(const QKeyEvent& event) {
  const auto usage = usageOf(event);
  if (!usage) return std::nullopt;
  const auto key = Rival500::keyForUsage(*usage);
  if (!key || !key->macKeyCode) return std::nullopt;
  const Qt::KeyboardModifiers mods = event.modifiers();
  return KeyChord{*key->macKeyCode, mods.testFlag(Qt::ShiftModifier), mods.testFlag(Qt::ControlModifier),
                  mods.testFlag(Qt::AltModifier), mods.testFlag(Qt::MetaModifier)};
}

KeyRecorder::KeyRecorder(QWidget* parent)
    : QWidget(parent), button_(new QPushButton(this)), cancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(button_, 0, Qt::AlignVCenter);
  row->addWidget(cancel_, 0, Qt::AlignVCenter);
  row->addStretch(1);
  button_->setObjectName(QStringLiteral("keyRecorderButton"));
  button_->setAutoDefault(false);
  cancel_->setObjectName(QStringLiteral("keyRecorderCancel"));
  cancel_->setAccessibleName(QStringLiteral("Cancel recording"));
  cancel_->setAutoDefault(false);
  connect(button_, &QPushButton::clicked, this, &KeyRecorder::start);
  connect(cancel_, &QPushButton::clicked, this, &KeyRecorder::stop);
  showState();
}

KeyRecorder::~KeyRecorder() {
  if (recording_) qApp->removeEventFilter(this);
}

void KeyRecorder::setChord(const KeyChord& chord) {
  if (chord_ == chord) return;
  chord_ = chord;
  showState();
}

void KeyRecorder::start() {
  if (recording_) return;
  recording_ = true;
  // Sees every key event of the application's windows before any widget does.
  qApp->installEventFilter(this);
  showState();
  emit recordingStarted();
}

void KeyRecorder::stop() {
  if (!recording_) return;
  recording_ = false;
  qApp->removeEventFilter(this);
  showState();
}

bool KeyRecorder::eventFilter(QObject* watched, QEvent* event) {
  if (!recording_) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::ShortcutOverride) {
    event->accept();  // claims the key, so no shortcut fires on it
    return true;
  }
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  const auto& press = static_cast<const QKeyEvent&>(*event);
  if (isModifierPress(press)) return true;
  // A key the table has no code for is swallowed too, and recording goes on.
  if (const auto chord = chordForKeyPress(press)) {
    stop();
    chord_ = *chord;
    showState();
    emit chordRecorded(*chord);
  }
  return true;
}

void KeyRecorder::hideEvent(QHideEvent* event) {
  stop();
  QWidget::hideEvent(event);
}

void KeyRecorder::showState() {
  const QString display = QString::fromStdString(chord_.display());
  button_->setText(recording_ ? QStringLiteral("Press a key\u2026") : display);
  button_->setAccessibleName(recording_ ? QStringLiteral("Recording a key, press one")
                                        : QStringLiteral("Key ") + display + QStringLiteral(", press to record"));
  QPalette tint;  // empty: inherits the theme
  if (recording_) {
    tint.setColor(QPalette::Button, QColor(255, 149, 0));
    tint.setColor(QPalette::ButtonText, Qt::black);
  }
  button_->setPalette(tint);
  cancel_->setVisible(recording_);
}

}  // namespace tandemo::ui
