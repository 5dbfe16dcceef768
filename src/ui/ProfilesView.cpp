#include "ui/ProfilesView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/ActionEditor.h"
#include "ui/TabWidgets.h"

namespace tandemo::ui {

namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kActiveRole = Qt::UserRole + 1;
const QColor kActiveGreen(52, 199, 89);
const QColor kPressedOrange(255, 149, 0);

QString qs(const std::string& text) { return QString::fromStdString(text); }

// Trims horizontal white space only; line breaks stay.
QString trimHorizontal(const QString& text) {
  auto horizontal = [](QChar ch) {
    return ch.isSpace() && ch != u'\n' && ch != u'\r' && ch != u'\v' && ch != u'\f' && ch != QChar(0x85) &&
           ch != QChar(0x2028) && ch != QChar(0x2029);
  };
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && horizontal(text[begin])) ++begin;
  while (end > begin && horizontal(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

// Draws the green marker of the active profile at the row's trailing end.
class ActiveMarkerDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    if (!index.data(kActiveRole).toBool()) return;
    constexpr qreal diameter = 7;
    const QRectF dot(option.rect.right() - 8 - diameter, option.rect.center().y() - diameter / 2 + 1, diameter,
                     diameter);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(kActiveGreen);
    painter->drawEllipse(dot);
    painter->restore();
  }
};

}  // namespace

ProfilesView::ProfilesView(ControllerSignals& model, QWidget* parent) : QWidget(parent), model_(model) {
  auto* layout = new QHBoxLayout(this);
  layout->setSpacing(12);
  layout->addWidget(buildLeft());
  auto* divider = new QFrame;
  divider->setFrameShape(QFrame::VLine);
  divider->setFrameShadow(QFrame::Plain);
  divider->setForegroundRole(QPalette::Mid);
  layout->addWidget(divider);
  layout->addWidget(buildDetail(), 1);

  connect(&model_, &ControllerSignals::changed, this, [this](Controller::Property property) {
    using P = Controller::Property;
    if (property == P::state || property == P::frontBundleID || property == P::pressedButtons) refresh();
  });
  refresh();
}

std::optional<Uuid> ProfilesView::shownID() const {
  if (selectedID_) return selectedID_;
  const auto& profiles = c().state().profiles;
  if (profiles.empty()) return std::nullopt;
  return profiles.front().id;
}

const Profile* ProfilesView::shownProfile() const {
  const auto id = shownID();
  if (!id) return nullptr;
  for (const Profile& profile : c().state().profiles)
    if (profile.id == *id) return &profile;
  return nullptr;
}

void ProfilesView::editShown(const std::function<void(Profile&)>& edit) {
  const auto id = shownID();
  if (!id) return;
  AppState next = c().state();
  for (Profile& profile : next.profiles) {
    if (profile.id != *id) continue;
    edit(profile);
    c().setState(std::move(next));
    return;
  }
}

void ProfilesView::addAppID(const std::string& text) {
  const std::string id = trimHorizontal(qs(text)).toStdString();
  const Profile* profile = shownProfile();
  if (id.empty() || profile == nullptr) return;
  if (std::find(profile->bundleIDs.begin(), profile->bundleIDs.end(), id) != profile->bundleIDs.end()) return;
  editShown([&](Profile& p) { p.bundleIDs.push_back(id); });
}

void ProfilesView::removeAppID(std::size_t index) {
  const Profile* profile = shownProfile();
  if (profile == nullptr || index >= profile->bundleIDs.size()) return;
  const std::string entry = profile->bundleIDs[index];
  editShown([&](Profile& p) { std::erase(p.bundleIDs, entry); });
}

QWidget* ProfilesView::buildLeft() {
  auto* column = new QWidget;
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);

  list_ = new QListWidget;
  list_->setObjectName("profileList");
  list_->setAccessibleName("Profiles");
  list_->setFixedWidth(220);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setItemDelegate(new ActiveMarkerDelegate(list_));
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
    const auto items = list_->selectedItems();
    if (items.isEmpty()) return;
    selectedID_ = Uuid::parse(items.front()->data(kIdRole).toString().toStdString());
    refresh();
  });
  layout->addWidget(list_, 1);

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(4);
  add_ = iconButton("list-add", QStringLiteral("+"), "Add profile");
  add_->setObjectName("addProfile");
  remove_ = iconButton("list-remove", QStringLiteral("\u2212"), "Remove profile");
  remove_->setObjectName("removeProfile");
  connect(add_, &QToolButton::clicked, this, [this] { c().addProfile(); });
  connect(remove_, &QToolButton::clicked, this, [this] {
    if (const Profile* profile = shownProfile()) {
      const Uuid id = profile->id;  // the profile is gone once the state changes
      c().removeProfile(id);
    }
  });
  buttons->addWidget(add_);
  buttons->addWidget(remove_);
  buttons->addStretch();
  layout->addLayout(buttons);

  autoSwitch_ = new QCheckBox("Switch by front app");
  autoSwitch_->setObjectName("autoSwitch");
  autoSwitch_->setAccessibleName("Switch by front app");
  connect(autoSwitch_, &QCheckBox::clicked, this, [this](bool on) {
    AppState next = c().state();
    next.autoSwitch = on;
    c().setState(std::move(next));
  });
  layout->addWidget(autoSwitch_);

  auto* pinRow = new QHBoxLayout;
  auto* pinLabel = new QLabel("Pin");
  pin_ = new QComboBox;
  pin_->setObjectName("pin");
  pin_->setAccessibleName("Pin");
  pinLabel->setBuddy(pin_);
  connect(pin_, &QComboBox::activated, this, [this](int index) {
    AppState next = c().state();
    next.pinnedProfileID = Uuid::parse(pin_->itemData(index).toString().toStdString());
    c().setState(std::move(next));
  });
  pinRow->addWidget(pinLabel);
  pinRow->addWidget(pin_, 1);
  layout->addLayout(pinRow);

  front_ = caption(QString(), 0.8, kTertiary);
  front_->setObjectName("frontApp");
  front_->setWordWrap(false);
  front_->setFixedWidth(220);
  layout->addWidget(front_);
  return column;
}

QWidget* ProfilesView::buildDetail() {
  detailStack_ = new QStackedWidget;
  auto* none = new QLabel("No profile");
  none->setObjectName("noProfile");
  none->setAlignment(Qt::AlignCenter);
  fade(none, kSecondary);
  detailStack_->addWidget(none);

  auto* scroll = new QScrollArea;
  scroll->setAccessibleName("Profile");
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* detail = new QWidget;
  detail->setObjectName("profileDetail");
  auto* layout = new QVBoxLayout(detail);
  layout->setContentsMargins(0, 0, 4, 0);
  layout->setSpacing(18);
  scroll->setWidget(detail);
  detailStack_->addWidget(scroll);

  name_ = new QLineEdit;
  name_->setObjectName("profileName");
  name_->setAccessibleName("Profile name");
  name_->setPlaceholderText("Profile name");
  scaleFont(name_, 1.2);
  connect(name_, &QLineEdit::textEdited, this,
          [this](const QString& text) { editShown([&](Profile& p) { p.name = text.toStdString(); }); });
  layout->addWidget(name_);

  auto* apps = new QGroupBox("Active for these apps");
  auto* appsLayout = new QVBoxLayout(apps);
  appsLayout->setSpacing(8);
  fallbackHint_ = caption("No apps listed: this is the fallback profile, used whenever no other profile matches.",
                          0.9, 0.7);
  fallbackHint_->setObjectName("fallbackHint");
  appsLayout->addWidget(fallbackHint_);
  appRowsLayout_ = new QVBoxLayout;
  appRowsLayout_->setSpacing(2);
  appsLayout->addLayout(appRowsLayout_);

  auto* entry = new QHBoxLayout;
  newAppID_ = new QLineEdit;
  newAppID_->setObjectName("newAppID");
  newAppID_->setAccessibleName("App id to add");
  newAppID_->setPlaceholderText("or a bundle ID prefix, e.g. com.blizzard.");
  connect(newAppID_, &QLineEdit::returnPressed, this, [this] {
    addAppID(newAppID_->text().toStdString());
    newAppID_->clear();
  });
  runningApps_ = new QPushButton("Add running app");
  runningApps_->setObjectName("addRunningApp");
  runningApps_->setAccessibleName("Add running app");
  runningApps_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  auto* menu = new QMenu(runningApps_);
  menu->setObjectName("runningAppsMenu");
  connect(menu, &QMenu::aboutToShow, this, [this, menu] {
    menu->clear();
    for (const Controller::AppEntry& app : c().runningApps()) {
      QAction* action = menu->addAction(qs(app.name + "  (" + app.bundleID + ")"));
      connect(action, &QAction::triggered, this, [this, id = app.bundleID] { addAppID(id); });
    }
  });
  runningApps_->setMenu(menu);
  entry->addWidget(newAppID_, 1);
  entry->addWidget(runningApps_);
  appsLayout->addLayout(entry);
  appsLayout->addWidget(caption("World of Warcraft's apps all start with com.blizzard.worldofwarcraft.", 0.8, kTertiary));
  appsLayout->addWidget(caption("Under Wine or Proton a game's app id is its window class: wow.exe, or "
                                "steam_app_<id> for a Steam game (its Steam app id).",
                                0.8, kTertiary));
  layout->addWidget(apps);

  auto* actions = new QGroupBox("What the app-controlled buttons do here");
  auto* actionsLayout = new QVBoxLayout(actions);
  actionsLayout->setSpacing(6);
  noBridgedHint_ = caption("No button is set to App-controlled. Choose one on the Buttons tab.");
  noBridgedHint_->setObjectName("noBridgedHint");
  actionsLayout->addWidget(noBridgedHint_);
  buttonRowsLayout_ = new QVBoxLayout;
  buttonRowsLayout_->setSpacing(6);
  actionsLayout->addLayout(buttonRowsLayout_);
  layout->addWidget(actions);
  layout->addStretch(1);
  return detailStack_;
}

void ProfilesView::refresh() {
  const AppState& state = c().state();
  refreshList();
  refreshPin();
  remove_->setEnabled(state.profiles.size() >= 2);
  if (autoSwitch_->isChecked() != state.autoSwitch) autoSwitch_->setChecked(state.autoSwitch);
  const QString front = QStringLiteral("Front app: ") + (c().frontBundleID() ? qs(*c().frontBundleID()) : "\u2014");
  front_->setToolTip(front);
  setTextIfChanged(front_, front_->fontMetrics().elidedText(front, Qt::ElideMiddle, front_->width()));

  if (const Profile* profile = shownProfile()) {
    detailStack_->setCurrentIndex(1);
    refreshDetail(*profile);
  } else {
    detailStack_->setCurrentIndex(0);
  }
}

void ProfilesView::refreshList() {
  const auto& profiles = c().state().profiles;
  const auto active = c().activeProfile();
  const auto shown = shownID();
  const QSignalBlocker block(list_);
  while (list_->count() > static_cast<int>(profiles.size())) delete list_->takeItem(list_->count() - 1);
  int shownRow = -1;
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    const int row = static_cast<int>(i);
    QListWidgetItem* item = list_->item(row);
    if (item == nullptr) item = new QListWidgetItem(list_);
    const Profile& profile = profiles[i];
    const bool isActive = active && active->id == profile.id;
    if (item->text() != qs(profile.name)) item->setText(qs(profile.name));
    item->setData(kIdRole, qs(profile.id.string()));
    item->setData(kActiveRole, isActive);
    item->setData(Qt::AccessibleTextRole, qs(profile.name) + (isActive ? ", active" : ""));
    if (shown && profile.id == *shown) shownRow = row;
  }
  if (shownRow >= 0) {
    if (list_->currentRow() != shownRow || !list_->item(shownRow)->isSelected()) list_->setCurrentRow(shownRow);
  } else {
    list_->clearSelection();
    list_->setCurrentRow(-1);
  }
}

void ProfilesView::refreshPin() {
  const AppState& state = c().state();
  QStringList names{"Automatic"};
  for (const Profile& profile : state.profiles) names.append(qs(profile.name));
  const QSignalBlocker block(pin_);
  bool same = pin_->count() == names.size();
  for (int i = 0; same && i < names.size(); ++i) same = pin_->itemText(i) == names[i];
  if (!same) {
    pin_->clear();
    pin_->addItem(names.front(), QString());
    for (const Profile& profile : state.profiles) pin_->addItem(qs(profile.name), qs(profile.id.string()));
  }
  for (std::size_t i = 0; i < state.profiles.size(); ++i)
    pin_->setItemData(static_cast<int>(i) + 1, qs(state.profiles[i].id.string()));
  // A pin naming no profile counts as none.
  const int index = state.pinnedProfileID ? pin_->findData(qs(state.pinnedProfileID->string())) : 0;
  pin_->setCurrentIndex(std::max(index, 0));
}

void ProfilesView::refreshDetail(const Profile& profile) {
  if (name_->text() != qs(profile.name)) name_->setText(qs(profile.name));
  refreshAppRows(profile);
  refreshButtonRows(profile);
  // Rows made later would otherwise be reached last by Tab: keep the chain in reading order.
  QWidget* previous = name_;
  auto chain = [&previous](QWidget* next) {
    setTabOrder(previous, next);
    previous = next;
  };
  for (const AppRow& row : appRows_) chain(row.remove);
  chain(newAppID_);
  chain(runningApps_);
  for (const ButtonRow& row : buttonRows_) {
    chain(row.disclose);
    chain(row.editor);
  }
}

void ProfilesView::refreshAppRows(const Profile& profile) {
  const auto& ids = profile.bundleIDs;
  fallbackHint_->setVisible(ids.empty());
  while (appRows_.size() > ids.size()) {
    // The row's button may be the one whose click brought us here: delete it later.
    appRows_.back().row->hide();
    appRows_.back().row->deleteLater();
    appRows_.pop_back();
  }
  while (appRows_.size() < ids.size()) {
    const std::size_t index = appRows_.size();
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* text = new QLabel;
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* remove = iconButton("list-remove", QStringLiteral("\u2296"), QString());
    remove->setAutoRaise(true);
    remove->setObjectName(QStringLiteral("removeAppID%1").arg(index));
    connect(remove, &QToolButton::clicked, this, [this, index] { removeAppID(index); });
    layout->addWidget(text);
    layout->addStretch();
    layout->addWidget(remove);
    appRowsLayout_->addWidget(row);
    appRows_.push_back({row, text, remove});
  }
  for (std::size_t i = 0; i < ids.size(); ++i) {
    setTextIfChanged(appRows_[i].text, qs(ids[i]));
    appRows_[i].text->setAccessibleName(qs(ids[i]));
    appRows_[i].remove->setAccessibleName("Remove " + qs(ids[i]));
    appRows_[i].remove->setToolTip("Remove " + qs(ids[i]));
  }
}

void ProfilesView::rebuildButtonRows(const std::vector<Rival500::Button>& buttons) {
  for (ButtonRow& row : buttonRows_) {
    row.box->hide();
    row.box->deleteLater();
  }
  buttonRows_.clear();
  for (Rival500::Button button : buttons) {
    const QString label = QString::fromUtf8(Rival500::label(button));
    const QString raw = QString::fromUtf8(Rival500::rawValue(button));
    auto* box = new QWidget;
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    boxLayout->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setSpacing(6);
    auto* disclose = new QToolButton;
    disclose->setObjectName("disclose_" + raw);
    disclose->setArrowType(Qt::RightArrow);
    disclose->setCheckable(true);
    disclose->setAutoRaise(true);
    auto* dot = new QLabel;
    dot->setObjectName("pressed_" + raw);
    auto* name = new QLabel(label);
    auto* summary = new QLabel;
    summary->setObjectName("summary_" + raw);
    fade(summary, kSecondary);
    header->addWidget(disclose);
    header->addWidget(dot);
    header->addWidget(name);
    header->addStretch();
    header->addWidget(summary);
    boxLayout->addLayout(header);

    auto* content = new QWidget;
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(20, 6, 0, 6);
    auto* editor = new HostActionEditor;
    editor->setObjectName("actionEditor_" + raw);
    editor->setAccessibleName(label + " action");
    contentLayout->addWidget(editor);
    boxLayout->addWidget(content);

    const bool open = expanded_.contains(button);
    disclose->setChecked(open);
    disclose->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    content->setVisible(open);
    connect(disclose, &QToolButton::toggled, this, [this, button, disclose, content](bool on) {
      if (on) expanded_.insert(button);
      else expanded_.erase(button);
      disclose->setArrowType(on ? Qt::DownArrow : Qt::RightArrow);
      content->setVisible(on);
    });
    connect(editor, &HostActionEditor::actionEdited, this, [this, button](const HostAction& action) {
      if (const Profile* profile = shownProfile()) {
        const Uuid id = profile->id;
        c().setAction(button, action, id);
      }
    });
    buttonRowsLayout_->addWidget(box);
    buttonRows_.push_back({button, box, disclose, dot, summary, content, editor});
  }
}

void ProfilesView::refreshButtonRows(const Profile& profile) {
  const auto bridged = c().state().hardware.bridgedButtons();
  noBridgedHint_->setVisible(bridged.empty());
  bool same = bridged.size() == buttonRows_.size();
  for (std::size_t i = 0; same && i < bridged.size(); ++i) same = buttonRows_[i].button == bridged[i];
  if (!same) rebuildButtonRows(bridged);

  const auto& pressed = c().pressedButtons();
  for (ButtonRow& row : buttonRows_) {
    const auto found = profile.actions.find(row.button);
    const HostAction action = found != profile.actions.end() ? found->second : HostAction{};
    const QString summary = qs(action.summary());
    setTextIfChanged(row.summary, summary);
    row.disclose->setAccessibleName(QString::fromUtf8(Rival500::label(row.button)) + ": " + summary);
    QColor color = kPressedOrange;
    if (!pressed.contains(row.button)) color.setAlphaF(0.35f);
    setDot(row.dot, color, 8);
    if (!(row.editor->action() == action)) row.editor->setAction(action);
  }
}

}  // namespace tandemo::ui
