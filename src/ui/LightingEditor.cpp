#include "ui/LightingEditor.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/TabWidgets.h"

namespace tandemo::ui {

namespace {

// The next colour offered: red takes blue, green takes red, blue takes green.
Rival500::ColorStop rotated(const Rival500::ColorStop& stop, std::int64_t position) {
  return {position, stop.blue, stop.red, stop.green};
}

QString wellStyle(const Rival500::ColorStop& stop) {
  return QStringLiteral("QPushButton { background-color: rgb(%1, %2, %3); border: 1px solid palette(mid);"
                        " border-radius: 4px; } QPushButton:focus { border: 2px solid palette(highlight); }")
      .arg(stop.red)
      .arg(stop.green)
      .arg(stop.blue);
}

}  // namespace

void setCycle(Rival500::Lighting& lighting, bool cycle) {
  if (cycle) {
    if (lighting.stops.size() == 1) lighting.stops.push_back(rotated(lighting.stops.front(), 50));
    return;
  }
  if (lighting.stops.empty()) return;
  lighting.stops.resize(1);
  lighting.stops.front().position = 0;
  lighting.durationMs = 1000;
}

void addColor(Rival500::Lighting& lighting) {
  if (lighting.stops.empty()) return;
  const Rival500::ColorStop& last = lighting.stops.back();
  lighting.stops.push_back(rotated(last, std::min<std::int64_t>(last.position + 20, 99)));
}

std::optional<std::array<std::uint8_t, 3>> srgbBytes(const QColor& color) {
  const QColor rgb = color.toRgb();
  if (!rgb.isValid()) return std::nullopt;
  // Channels are kept in 16 bits, so a byte can come back a hair below itself: nudge before truncating.
  auto byte = [](double value) {
    double scaled = value * 255.0 + 1e-4;
    if (std::isnan(scaled)) scaled = 255.0;
    return static_cast<std::uint8_t>(std::clamp(scaled, 0.0, 255.0));
  };
  return std::array<std::uint8_t, 3>{byte(rgb.redF()), byte(rgb.greenF()), byte(rgb.blueF())};
}

LightingEditor::LightingEditor(const QString& name, QWidget* parent) : QWidget(parent), name_(name) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);

  auto* modeRow = new QHBoxLayout;
  modeRow->setSpacing(0);
  auto* modes = new QButtonGroup(this);
  steady_ = segmentButton("Steady");
  cycle_ = segmentButton("Color cycle");
  for (auto [button, object] : {std::pair{steady_, "steady"}, std::pair{cycle_, "cycle"}}) {
    button->setObjectName(object);
    button->setAccessibleName(name + " mode: " + button->text());
    modes->addButton(button);
    modeRow->addWidget(button);
  }
  connect(steady_, &QPushButton::clicked, this, [this] { edit([](auto& l) { setCycle(l, false); }); });
  connect(cycle_, &QPushButton::clicked, this, [this] { edit([](auto& l) { setCycle(l, true); }); });
  modeRow->addStretch();
  layout->addLayout(modeRow);

  rowsLayout_ = new QVBoxLayout;
  rowsLayout_->setSpacing(4);
  layout->addLayout(rowsLayout_);

  addColor_ = new QPushButton("Add color");
  addColor_->setObjectName("addColor");
  addColor_->setAccessibleName(name + ": Add color");
  connect(addColor_, &QPushButton::clicked, this, [this] { edit(addColor); });
  auto* addRow = new QHBoxLayout;
  addRow->addWidget(addColor_);
  addRow->addStretch();
  layout->addLayout(addRow);

  cycleRow_ = new QWidget;
  auto* cycleLayout = new QHBoxLayout(cycleRow_);
  cycleLayout->setContentsMargins(0, 0, 0, 0);
  auto* cycleLabel = new QLabel("Cycle");
  duration_ = new QSlider(Qt::Horizontal);
  duration_->setObjectName("cycleTime");
  duration_->setAccessibleName(name + ": Cycle");
  duration_->setRange(500, 30000);  // milliseconds: 0.5 to 30 seconds
  duration_->setSingleStep(100);
  duration_->setPageStep(1000);
  cycleLabel->setBuddy(duration_);
  connect(duration_, &QSlider::valueChanged, this,
          [this](int ms) { edit([ms](auto& l) { l.durationMs = ms; }); });
  durationText_ = new QLabel;
  durationText_->setObjectName("cycleText");
  durationText_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  durationText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  durationText_->setFixedWidth(std::max(50, durationText_->fontMetrics().horizontalAdvance("30.0 s") + 4));
  cycleLayout->addWidget(cycleLabel);
  cycleLayout->addWidget(duration_, 1);
  cycleLayout->addWidget(durationText_);
  layout->addWidget(cycleRow_);

  note_ = new QLabel("Stops must go from low to high percent. Add up to 14.");
  note_->setWordWrap(true);
  scaleFont(note_, 0.75);
  fade(note_, kTertiary);
  layout->addWidget(note_);

  auto* rainbow = new QPushButton("SteelSeries rainbow");
  rainbow->setObjectName("rainbow");
  rainbow->setAccessibleName(name + ": SteelSeries rainbow");
  scaleFont(rainbow, 0.85);
  connect(rainbow, &QPushButton::clicked, this,
          [this] { edit([](auto& l) { l = Rival500::Lighting::factory(); }); });
  auto* rainbowRow = new QHBoxLayout;
  rainbowRow->addWidget(rainbow);
  rainbowRow->addStretch();
  layout->addLayout(rainbowRow);
  layout->addStretch(1);

  refresh();
}

void LightingEditor::setLighting(const Rival500::Lighting& lighting) {
  if (lighting == lighting_) return;
  lighting_ = lighting;
  refresh();
}

void LightingEditor::edit(const std::function<void(Rival500::Lighting&)>& change) {
  Rival500::Lighting next = lighting_;
  change(next);
  if (next == lighting_) return;
  lighting_ = next;
  refresh();
  emit lightingEdited(lighting_);
}

void LightingEditor::pickColor(std::size_t index) {
  if (index >= lighting_.stops.size()) return;
  const Rival500::ColorStop& stop = lighting_.stops[index];
  auto* dialog = new QColorDialog(QColor(stop.red, stop.green, stop.blue), this);
  dialog->setObjectName("colorDialog");
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QStringLiteral("%1: color %2").arg(name_).arg(index + 1));
  dialog->setOption(QColorDialog::ShowAlphaChannel, false);
  connect(dialog, &QColorDialog::colorSelected, this, [this, index](const QColor& color) {
    const auto bytes = srgbBytes(color);
    if (!bytes) return;
    edit([&](Rival500::Lighting& l) {
      if (index >= l.stops.size()) return;  // the stop went away while the dialog was open
      l.stops[index].red = (*bytes)[0];
      l.stops[index].green = (*bytes)[1];
      l.stops[index].blue = (*bytes)[2];
    });
  });
  dialog->open();
}

LightingEditor::StopRow LightingEditor::makeRow(std::size_t index) {
  const QString number = QString::number(index + 1);
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* well = new QPushButton;
  well->setObjectName("well" + number);
  well->setAccessibleName(name_ + ": color " + number);
  well->setFixedSize(44, 24);
  connect(well, &QPushButton::clicked, this, [this, index] { pickColor(index); });
  auto* position = new QSpinBox;
  position->setObjectName("position" + number);
  position->setAccessibleName(name_ + ": position of color " + number);
  position->setRange(0, 99);
  position->setPrefix("at ");
  position->setSuffix("%");
  connect(position, &QSpinBox::valueChanged, this, [this, index](int value) {
    edit([&](Rival500::Lighting& l) {
      if (index < l.stops.size()) l.stops[index].position = value;
    });
  });
  auto* remove = new QToolButton;
  const QIcon icon = QIcon::fromTheme("list-remove");
  if (icon.isNull()) remove->setText(QStringLiteral("\u2296"));
  else remove->setIcon(icon);
  remove->setAutoRaise(true);
  remove->setObjectName("remove" + number);
  remove->setAccessibleName(name_ + ": remove color " + number);
  remove->setToolTip("Remove this color");
  connect(remove, &QToolButton::clicked, this, [this, index] {
    edit([&](Rival500::Lighting& l) {
      if (index < l.stops.size()) l.stops.erase(l.stops.begin() + static_cast<std::ptrdiff_t>(index));
    });
  });
  auto* steadyText = new QLabel("Color");
  fade(steadyText, kSecondary);
  layout->addWidget(well);
  layout->addWidget(position);
  layout->addWidget(steadyText);
  layout->addStretch();
  layout->addWidget(remove);
  return {row, well, position, remove, steadyText};
}

void LightingEditor::refresh() {
  const auto& stops = lighting_.stops;
  const bool cycle = stops.size() > 1;
  steady_->setChecked(!cycle);
  cycle_->setChecked(cycle);

  while (rows_.size() > stops.size()) {
    // The row's remove button may be the one whose click brought us here: delete it later.
    rows_.back().row->hide();
    rows_.back().row->deleteLater();
    rows_.pop_back();
  }
  while (rows_.size() < stops.size()) {
    rows_.push_back(makeRow(rows_.size()));
    rowsLayout_->addWidget(rows_.back().row);
  }
  for (std::size_t i = 0; i < stops.size(); ++i) {
    const StopRow& row = rows_[i];
    const QString style = wellStyle(stops[i]);
    if (row.well->styleSheet() != style) row.well->setStyleSheet(style);
    row.well->setToolTip(QColor(stops[i].red, stops[i].green, stops[i].blue).name());
    const int position = static_cast<int>(std::clamp<std::int64_t>(stops[i].position, 0, 99));
    if (row.position->value() != position) {
      const QSignalBlocker block(row.position);
      row.position->setValue(position);
    }
    row.position->setVisible(cycle);
    row.remove->setVisible(cycle);
    row.remove->setEnabled(stops.size() >= 3);
    row.steadyText->setVisible(!cycle);
  }

  // Rows made later would otherwise be reached last by Tab: keep the chain in reading order.
  QWidget* previous = cycle_;
  for (const StopRow& row : rows_)
    for (QWidget* next : {static_cast<QWidget*>(row.well), static_cast<QWidget*>(row.position),
                          static_cast<QWidget*>(row.remove)}) {
      setTabOrder(previous, next);
      previous = next;
    }
  setTabOrder(previous, addColor_);

  addColor_->setVisible(cycle);
  addColor_->setEnabled(stops.size() < maxStops);
  cycleRow_->setVisible(cycle);
  note_->setVisible(cycle);
  {
    const QSignalBlocker block(duration_);
    duration_->setValue(static_cast<int>(std::clamp<std::int64_t>(lighting_.durationMs, 500, 30000)));
  }
  durationText_->setText(QString::asprintf("%.1f s", static_cast<double>(lighting_.durationMs) / 1000.0));
}

}  // namespace tandemo::ui
