#include "ui/ButtonsView.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <array>

#include "ui/ActionEditor.h"
#include "ui/MouseMapView.h"
#include "ui/PlatformTexts.h"

namespace tandemo::ui {
namespace {

using Rival500::Assignment;
using Rival500::Button;

// The "Acts as" choices in picker order, by the Assignment alternative each one selects.
struct KindChoice {
  const char* text;
  int assignmentCase;
};
constexpr std::array<KindChoice, 10> kKinds = {{
    {"Mouse button", 0},
    {"App-controlled (Tandemo)", 9},
    {"Type a key", 1},
    {"Media key", 2},
    {"Scroll left (tilt)", 3},
    {"Scroll right (tilt)", 4},
    {"Scroll up", 5},
    {"Scroll down", 6},
    {"Switch DPI preset", 7},
    {"Off", 8},
}};
constexpr int kMouseCase = 0, kKeyCase = 1, kMediaCase = 2, kBridgeCase = 9;

QString qstr(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

class LegendDot final : public QWidget {
 public:
  LegendDot(QColor color, QWidget* parent) : QWidget(parent), color_(color) { setFixedSize(10, 10); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color_);
    painter.drawEllipse(QRectF(rect()));
  }

 private:
  QColor color_;
};

// Sets the combo box's choice without telling its listeners; -1 when `data` is not offered.
void choose(QComboBox* box, const QVariant& data) {
  const int index = box->findData(data);
  if (box->currentIndex() == index) return;
  const QSignalBlocker block(box);
  box->setCurrentIndex(index);
}

QWidget* labelledRow(const QString& text, QComboBox* box, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* label = new QLabel(text, row);
  label->setBuddy(box);
  box->setParent(row);
  box->setAccessibleName(text);
  layout->addWidget(label);
  layout->addWidget(box, 1);
  return row;
}

}  // namespace

ButtonsView::ButtonsView(ControllerSignals& model, QWidget* parent)
    : QWidget(parent), controller_(model.controller()) {
  setObjectName(QStringLiteral("buttonsView"));
  auto* row = new QHBoxLayout(this);
  row->setSpacing(20);
  row->addWidget(buildMapColumn(model), 1);
  auto* divider = new QFrame(this);
  divider->setFrameShape(QFrame::VLine);
  divider->setFrameShadow(QFrame::Sunken);
  row->addWidget(divider);

  inspectorStack_ = new QStackedWidget(this);
  inspectorStack_->setFixedWidth(360);
  auto* none = new QLabel(QStringLiteral("Select a button"), inspectorStack_);
  none->setAlignment(Qt::AlignCenter);
  none->setForegroundRole(QPalette::PlaceholderText);
  inspectorStack_->addWidget(none);
  auto* scroll = new QScrollArea(inspectorStack_);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setWidget(buildInspector());
  inspectorStack_->addWidget(scroll);
  row->addWidget(inspectorStack_);

  map_->setSelected(selected_);
  connect(map_, &MouseMapView::hotspotClicked, this, [this](Button button) { setSelected(button); });
  connect(&model, &ControllerSignals::changed, this, [this](Controller::Property property) {
    if (property == Controller::Property::state || property == Controller::Property::frontBundleID) refresh();
  });
  refresh();
}

QWidget* ButtonsView::buildMapColumn(ControllerSignals& model) {
  auto* column = new QWidget(this);
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(12);
  map_ = new MouseMapView(model, column);
  layout->addWidget(map_);

  auto* legend = new QHBoxLayout;
  legend->setSpacing(16);
  const std::array<std::pair<Assignment, const char*>, 5> entries = {{
      {Assignment::mouseButton(1), "Mouse button"},
      {Assignment::bridge(), "App-controlled"},
      {Assignment::key(0x04), "Types a key"},
      {Assignment::scrollUp(), "Scroll / DPI"},
      {Assignment::disabled(), "Off"},
  }};
  for (const auto& [assignment, text] : entries) {
    auto* entry = new QHBoxLayout;
    entry->setSpacing(4);
    entry->addWidget(new LegendDot(map::colorFor(assignment), column));
    auto* label = new QLabel(QString::fromUtf8(text), column);
    label->setFont(scaledFont(label->font(), 0.85));
    entry->addWidget(label);
    legend->addLayout(entry);
  }
  legend->addStretch(1);
  layout->addLayout(legend);
  layout->addWidget(makeCaption(QStringLiteral("Press a button on the mouse to light it up here. Click a circle to change it."),
                                Tone::secondary, column));
  layout->addStretch(1);
  return column;
}

QWidget* ButtonsView::buildInspector() {
  auto* inspector = new QWidget;
  inspector->setObjectName(QStringLiteral("buttonInspector"));
  auto* column = new QVBoxLayout(inspector);
  column->setContentsMargins(0, 0, 4, 0);
  column->setSpacing(18);

  auto* header = new QVBoxLayout;
  header->setSpacing(2);
  title_ = new QLabel(inspector);
  title_->setObjectName(QStringLiteral("inspectorTitle"));
  QFont titleFont = scaledFont(title_->font(), 1.3);
  titleFont.setWeight(QFont::DemiBold);
  title_->setFont(titleFont);
  identifier_ = makeCaption(QString(), Tone::secondary, inspector);
  header->addWidget(title_);
  header->addWidget(identifier_);
  column->addLayout(header);

  auto* mouseBox = new QGroupBox(QStringLiteral("In the mouse"), inspector);
  auto* mouse = new QVBoxLayout(mouseBox);
  mouse->setContentsMargins(4, 4, 4, 4);
  mouse->setSpacing(10);
  actsAs_ = new QComboBox;
  actsAs_->setObjectName(QStringLiteral("actsAs"));
  mouse->addWidget(labelledRow(QStringLiteral("Acts as"), actsAs_, mouseBox));
  connect(actsAs_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) setKind(actsAs_->itemData(index).toInt());
  });

  mouseNumber_ = new QComboBox;
  mouseNumber_->setObjectName(QStringLiteral("buttonNumber"));
  for (int n = 1; n <= 8; ++n) mouseNumber_->addItem(QString::fromStdString(Assignment::mouseButton(n).summary()), n);
  mouseRow_ = new QWidget(mouseBox);
  auto* mouseLayout = new QVBoxLayout(mouseRow_);
  mouseLayout->setContentsMargins(0, 0, 0, 0);
  mouseLayout->addWidget(labelledRow(QStringLiteral("Button number"), mouseNumber_, mouseRow_));
  mouseHint_ = makeCaption(QString(), Tone::secondary, mouseRow_);
  mouseLayout->addWidget(mouseHint_);
  connect(mouseNumber_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0 && selected_) controller_.setAssignment(*selected_, Assignment::mouseButton(mouseNumber_->itemData(index).toInt()));
  });
  mouse->addWidget(mouseRow_);

  key_ = new QComboBox;
  key_->setObjectName(QStringLiteral("keyPicker"));
  for (const auto& key : Rival500::typeableKeys()) key_->addItem(qstr(key.name), static_cast<int>(key.usage));
  keyRow_ = new QWidget(mouseBox);
  auto* keyLayout = new QVBoxLayout(keyRow_);
  keyLayout->setContentsMargins(0, 0, 0, 0);
  keyLayout->addWidget(labelledRow(QStringLiteral("Key"), key_, keyRow_));
  keyLayout->addWidget(makeCaption(QStringLiteral("The mouse types this key itself, even with Tandemo closed."),
                                   Tone::secondary, keyRow_));
  connect(key_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0 && selected_) controller_.setAssignment(*selected_, Assignment::key(static_cast<std::uint8_t>(key_->itemData(index).toUInt())));
  });
  mouse->addWidget(keyRow_);

  media_ = new QComboBox;
  media_->setObjectName(QStringLiteral("mediaPicker"));
  for (const auto& key : Rival500::mediaKeys()) media_->addItem(qstr(key.name), static_cast<int>(key.usage));
  mediaRow_ = labelledRow(QStringLiteral("Media key"), media_, mouseBox);
  connect(media_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0 && selected_) controller_.setAssignment(*selected_, Assignment::media(static_cast<std::uint8_t>(media_->itemData(index).toUInt())));
  });
  mouse->addWidget(mediaRow_);

  bridgeText_ = makeCaption(QStringLiteral("The mouse sends a hidden key; Tandemo turns it into the action below, "
                                           "which can differ per app."),
                            Tone::secondary, mouseBox);
  mouse->addWidget(bridgeText_);
  takesEffect_ = makeCaption(QStringLiteral("Takes effect after Write to mouse."), Tone::tertiary, mouseBox);
  mouse->addWidget(takesEffect_);
  column->addWidget(mouseBox);

  profileBox_ = new QGroupBox(inspector);
  profileBox_->setObjectName(QStringLiteral("profileGroup"));
  auto* profile = new QVBoxLayout(profileBox_);
  profile->setContentsMargins(4, 4, 4, 4);
  profile->setSpacing(10);
  profile_ = new QComboBox;
  profile_->setObjectName(QStringLiteral("profilePicker"));
  profile->addWidget(labelledRow(QStringLiteral("In Tandemo, profile"), profile_, profileBox_));
  profile_->setAccessibleName(QStringLiteral("Profile"));
  connect(profile_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index < 0) return;
    profileID_ = Uuid::parse(profile_->itemData(index).toString().toStdString());
    stopRecording();
    refresh();
  });
  editor_ = new HostActionEditor(profileBox_);
  connect(editor_, &HostActionEditor::actionEdited, this, [this](const HostAction& action) {
    const auto shown = inspectedProfile();
    if (selected_ && shown) controller_.setAction(*selected_, action, shown->id);
  });
  profile->addWidget(editor_);
  wowHint_ = makeCaption(QString(), Tone::secondary, profileBox_);
  wowHint_->setObjectName(QStringLiteral("wowHint"));
  profile->addWidget(wowHint_);
  column->addWidget(profileBox_);
  column->addStretch(1);
  return inspector;
}

void ButtonsView::setSelected(std::optional<Button> button) {
  // A chord being recorded belongs to the control it was started for.
  if (button != selected_) stopRecording();
  selected_ = button;
  map_->setSelected(button);
  refresh();
}

void ButtonsView::stopRecording() {
  for (KeyRecorder* recorder : editor_->findChildren<KeyRecorder*>()) recorder->stop();
}

std::optional<Profile> ButtonsView::inspectedProfile() const {
  if (profileID_) {
    for (const Profile& profile : controller_.state().profiles) {
      if (profile.id == *profileID_) return profile;
    }
  }
  return controller_.activeProfile();
}

void ButtonsView::refresh() {
  inspectorStack_->setCurrentIndex(selected_ ? 1 : 0);
  if (!selected_) return;
  const Button button = *selected_;
  const auto& assignments = controller_.state().hardware.assignments;
  const auto entry = assignments.find(button);
  const Assignment assignment = entry != assignments.end() ? entry->second : Rival500::factoryDefault(button);

  title_->setText(qstr(Rival500::label(button)));
  const QString id = qstr(Rival500::rawValue(button)).toLower();
  identifier_->setText(id.left(1).toUpper() + id.mid(1));
  refreshMouseGroup(button, assignment);
  refreshProfileGroup(button, assignment.is<Assignment::Bridge>());
}

void ButtonsView::refreshMouseGroup(Button button, const Assignment& assignment) {
  // "App-controlled" only for controls with a hidden key to send.
  const bool offersBridge = Rival500::markerKey(button).has_value();
  if (actsAs_->count() != (offersBridge ? 10 : 9)) {
    const QSignalBlocker block(actsAs_);
    actsAs_->clear();
    for (const KindChoice& kind : kKinds) {
      if (kind.assignmentCase != kBridgeCase || offersBridge) actsAs_->addItem(QString::fromUtf8(kind.text), kind.assignmentCase);
    }
  }
  const int current = static_cast<int>(assignment.value.index());
  choose(actsAs_, current);

  mouseRow_->setVisible(current == kMouseCase);
  keyRow_->setVisible(current == kKeyCase);
  mediaRow_->setVisible(current == kMediaCase);
  bridgeText_->setVisible(current == kBridgeCase);
  takesEffect_->setVisible(current != kBridgeCase);
  if (const auto* mouse = std::get_if<Assignment::MouseButton>(&assignment.value)) {
    choose(mouseNumber_, QVariant(static_cast<int>(mouse->number)));
    mouseHint_->setVisible(mouse->number <= 8);
    mouseHint_->setText(QStringLiteral("Reaches the game as Mouse Button %1, no app needed.").arg(mouse->number));
  } else if (const auto* key = std::get_if<Assignment::Key>(&assignment.value)) {
    choose(key_, QVariant(static_cast<int>(key->usage)));
  } else if (const auto* media = std::get_if<Assignment::Media>(&assignment.value)) {
    choose(media_, QVariant(static_cast<int>(media->usage)));
  }
}

void ButtonsView::refreshProfileGroup(Button button, bool bridged) {
  const auto profile = inspectedProfile();
  profileBox_->setVisible(bridged && profile.has_value());
  if (!bridged || !profile) return;  // hiding the group also ends a recording in its editor
  const auto& profiles = controller_.state().profiles;
  bool same = profile_->count() == static_cast<int>(profiles.size());
  for (std::size_t i = 0; same && i < profiles.size(); ++i) {
    const int row = static_cast<int>(i);
    same = profile_->itemText(row) == QString::fromStdString(profiles[i].name) &&
           profile_->itemData(row).toString() == QString::fromStdString(profiles[i].id.string());
  }
  if (!same) {
    const QSignalBlocker block(profile_);
    profile_->clear();
    for (const Profile& p : profiles) profile_->addItem(QString::fromStdString(p.name), QString::fromStdString(p.id.string()));
  }
  choose(profile_, QString::fromStdString(profile->id.string()));

  const auto entry = profile->actions.find(button);
  const HostAction action = entry != profile->actions.end() ? entry->second : HostAction{};
  editor_->setAction(action);
  const auto* mouse = std::get_if<HostAction::MouseButton>(&action.value);
  wowHint_->setVisible(mouse && mouse->button >= 4);
  if (mouse) {
    wowHint_->setText(QStringLiteral("In WoW, open Options \u203A Keybindings, click a slot and press this button: it "
                                     "shows up as Mouse Button %1. Shift/Ctrl/Alt combos work too.\n")
                          .arg(mouse->button) +
                      QString::fromUtf8(texts::kWineProtonHint));
  }
}

void ButtonsView::setKind(int assignmentCase) {
  if (!selected_) return;
  const Button button = *selected_;
  Assignment assignment = Assignment::disabled();
  switch (assignmentCase) {
    case kMouseCase: assignment = Assignment::mouseButton(Rival500::nativeMouseButton(button).value_or(4)); break;
    case kKeyCase: assignment = Assignment::key(0x3A); break;      // F1
    case kMediaCase: assignment = Assignment::media(0xCD); break;  // Play / Pause
    case 3: assignment = Assignment::tiltLeft(); break;
    case 4: assignment = Assignment::tiltRight(); break;
    case 5: assignment = Assignment::scrollUp(); break;
    case 6: assignment = Assignment::scrollDown(); break;
    case 7: assignment = Assignment::dpiSwitch(); break;
    case kBridgeCase: assignment = Assignment::bridge(); break;
    default: break;
  }
  controller_.setAssignment(button, assignment);
}

}  // namespace tandemo::ui
