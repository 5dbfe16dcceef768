#include "ui/MouseSettingsView.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/LightingEditor.h"
#include "ui/TabWidgets.h"

namespace tandemo::ui {

namespace {

// Any integer, written in the user's locale or plainly.
std::optional<std::int64_t> parseInteger(const QString& text) {
  bool ok = false;
  const qlonglong value = QLocale().toLongLong(text.trimmed(), &ok);
  if (ok) return value;
  const qlonglong plain = text.trimmed().toLongLong(&ok);
  if (ok) return plain;
  return std::nullopt;
}

constexpr int kDpiStep = 100;

}  // namespace

MouseSettingsView::MouseSettingsView(ControllerSignals& model, QWidget* parent) : QWidget(parent), model_(model) {
  auto* layout = scrollingContent(this, "Sensitivity & Lights");
  layout->setSpacing(14);

  layout->addWidget(buildSensitivity());
  layout->addWidget(buildPolling());

  auto* lights = new QHBoxLayout;
  lights->setSpacing(16);
  auto addLight = [&](const QString& title, const char* objectName, Rival500::Lighting HardwareConfig::*field) {
    auto* box = new QGroupBox(title);
    auto* boxLayout = new QVBoxLayout(box);
    auto* editor = new LightingEditor(title);
    editor->setObjectName(objectName);
    boxLayout->addWidget(editor);
    connect(editor, &LightingEditor::lightingEdited, this, [this, field](const Rival500::Lighting& lighting) {
      editHardware([&](HardwareConfig& hardware) { hardware.*field = lighting; });
    });
    lights->addWidget(box, 1, Qt::AlignTop);
    return editor;
  };
  logo_ = addLight("Logo light", "logoLight", &HardwareConfig::logo);
  wheel_ = addLight("Wheel light", "wheelLight", &HardwareConfig::wheel);
  layout->addLayout(lights);

  layout->addWidget(caption("Everything here reaches the mouse when you press Write to mouse."));
  layout->addStretch(1);

  connect(&model_, &ControllerSignals::changed, this, [this](Controller::Property property) {
    if (property == Controller::Property::state) refresh();
  });
  refresh();
}

void MouseSettingsView::editHardware(const std::function<void(HardwareConfig&)>& change) {
  AppState next = c().state();
  change(next.hardware);
  if (next.hardware == c().state().hardware) return;
  c().setState(std::move(next));
}

QGroupBox* MouseSettingsView::buildSensitivity() {
  auto* box = new QGroupBox("Sensitivity");
  auto* layout = new QVBoxLayout(box);
  dpi1_ = makeDpiRow("Preset 1", "dpi1", &HardwareConfig::dpi1, layout);
  dpi2_ = makeDpiRow("Preset 2", "dpi2", &HardwareConfig::dpi2, layout);
  layout->addWidget(caption("Set a button to \u201cSwitch DPI preset\u201d to flip between them. "
                              "The mouse starts on preset 1."));
  return box;
}

MouseSettingsView::DpiRow MouseSettingsView::makeDpiRow(const QString& title, const QString& objectName,
                                                        DpiField field, QVBoxLayout* into) {
  auto* row = new QHBoxLayout;
  auto* label = new QLabel(title);
  label->setFixedWidth(70);
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setObjectName(objectName + "Slider");
  slider->setAccessibleName(title + " DPI slider");
  // Positions are hundreds of DPI: 100 to 12000 in steps of 100.
  slider->setRange(1, 12000 / kDpiStep);
  slider->setPageStep(4);
  label->setBuddy(slider);
  auto* text = new QLineEdit;
  text->setObjectName(objectName + "Field");
  text->setAccessibleName(title + " DPI");
  text->setFixedWidth(64);
  text->setAlignment(Qt::AlignRight);
  auto* unit = caption("DPI", 1.0);
  unit->setWordWrap(false);
  row->addWidget(label);
  row->addWidget(slider, 1);
  row->addWidget(text);
  row->addWidget(unit);
  into->addLayout(row);

  connect(slider, &QSlider::valueChanged, this, [this, field](int position) {
    editHardware([&](HardwareConfig& hardware) { hardware.*field = std::int64_t{position} * kDpiStep; });
  });
  // Every parsable keystroke is stored as typed; range limits apply only when the packet is built.
  connect(text, &QLineEdit::textEdited, this, [this, field](const QString& typed) {
    if (const auto value = parseInteger(typed)) editHardware([&](HardwareConfig& hardware) { hardware.*field = *value; });
  });
  connect(text, &QLineEdit::editingFinished, this, [this, field, text] {
    const QString formatted = QLocale().toString(static_cast<qlonglong>(c().state().hardware.*field));
    if (text->text() != formatted) text->setText(formatted);
  });
  return {field, slider, text};
}

QGroupBox* MouseSettingsView::buildPolling() {
  auto* box = new QGroupBox("Polling rate");
  auto* layout = new QHBoxLayout(box);
  layout->setSpacing(0);
  polling_ = new QButtonGroup(this);
  for (std::int64_t hz : Rival500::pollingChoices) {
    const QString title = QString::number(hz) + " Hz";
    auto* segment = segmentButton(title);
    segment->setObjectName(QStringLiteral("polling%1").arg(hz));
    segment->setAccessibleName("Polling " + title);
    polling_->addButton(segment, static_cast<int>(hz));
    layout->addWidget(segment);
  }
  layout->addStretch();
  connect(polling_, &QButtonGroup::idClicked, this,
          [this](int hz) { editHardware([hz](HardwareConfig& hardware) { hardware.pollingHz = hz; }); });
  return box;
}

void MouseSettingsView::refreshDpi(const DpiRow& row) {
  const std::int64_t value = c().state().hardware.*row.field;
  const int position = static_cast<int>(
      std::clamp<std::int64_t>(std::llround(static_cast<double>(value) / kDpiStep), 1, 12000 / kDpiStep));
  if (row.slider->value() != position) {
    const QSignalBlocker block(row.slider);
    row.slider->setValue(position);
  }
  // The field keeps what the user is typing: it is only replaced when it says something else.
  const auto shown = parseInteger(row.text->text());
  if (shown == value || (!shown && row.text->hasFocus())) return;
  row.text->setText(QLocale().toString(static_cast<qlonglong>(value)));
}

void MouseSettingsView::refresh() {
  const HardwareConfig& hardware = c().state().hardware;
  refreshDpi(dpi1_);
  refreshDpi(dpi2_);
  for (QAbstractButton* segment : polling_->buttons()) {
    const bool on = polling_->id(segment) == hardware.pollingHz;
    if (segment->isChecked() != on) segment->setChecked(on);
  }
  if (polling_->checkedButton() != nullptr && polling_->id(polling_->checkedButton()) != hardware.pollingHz) {
    // A rate outside the choices (from an old file) selects no segment.
    polling_->setExclusive(false);
    polling_->checkedButton()->setChecked(false);
    polling_->setExclusive(true);
  }
  logo_->setLighting(hardware.logo);
  wheel_->setLighting(hardware.wheel);
}

}  // namespace tandemo::ui
