#include "ui/ActionEditor.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>
#include <vector>

#include "core/Overloaded.h"

namespace tandemo::ui {
namespace {

const QColor kOrange(255, 149, 0);

QSpinBox* makeStepper(const QString& prefix, const QString& name, int min, int max, int step, QWidget* parent) {
  auto* spin = new QSpinBox(parent);
  spin->setPrefix(prefix);
  spin->setRange(min, max);
  spin->setSingleStep(step);
  spin->setAccessibleName(name);
  return spin;
}

void setSpin(QSpinBox* spin, std::int64_t value) {
  if (spin->value() == value) return;
  const QSignalBlocker block(spin);
  spin->setValue(static_cast<int>(value));
}

void setLine(QLineEdit* edit, const std::string& text) {
  const QString qtext = QString::fromStdString(text);
  if (edit->text() == qtext) return;
  const QSignalBlocker block(edit);
  edit->setText(qtext);
}

// Checked modifier toggles take the selection colour: many styles draw "checked" too faintly.
void tintChecked(QToolButton* toggle) {
  QPalette tint;  // empty: inherits the theme
  if (toggle->isChecked()) {
    const QPalette& theme = toggle->parentWidget()->palette();
    tint.setColor(QPalette::Button, theme.color(QPalette::Highlight));
    tint.setColor(QPalette::ButtonText, theme.color(QPalette::HighlightedText));
  }
  toggle->setPalette(tint);
}

QWidget* page(QVBoxLayout*& layout, QWidget* parent) {
  auto* widget = new QWidget(parent);
  layout = new QVBoxLayout(widget);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  return widget;
}

// A wrapped label that remembers its measurements. Qt measures a wrapped label by laying out its
// whole text again on every call, and the layouts of a window ask dozens of times while it is
// built and shown; the answers change only with the text, the font or the geometry settings.
class Caption final : public QLabel {
 public:
  using QLabel::QLabel;

  QSize sizeHint() const override { return remembered(kSizeHint, [this] { return QLabel::sizeHint(); }); }
  QSize minimumSizeHint() const override {
    return remembered(kMinimumSizeHint, [this] { return QLabel::minimumSizeHint(); });
  }
  int heightForWidth(int width) const override {
    return remembered(width, [this, width] { return QSize(width, QLabel::heightForWidth(width)); }).height();
  }

 protected:
  bool event(QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type == QEvent::FontChange || type == QEvent::StyleChange || type == QEvent::ContentsRectChange ||
        type == QEvent::LayoutDirectionChange || type == QEvent::Polish || type == QEvent::ScreenChangeInternal) {
      answers_.clear();
    }
    return QLabel::event(event);
  }

 private:
  static constexpr int kSizeHint = -2, kMinimumSizeHint = -3;  // widths are never negative

  template <typename Measure>
  QSize remembered(int key, Measure measure) const {
    // setText, setWordWrap, setIndent, setMargin, setAlignment and setSizePolicy send no event:
    // compare what they change.
    const Settings now{text(), wordWrap(), indent(), margin(), alignment(), sizePolicy()};
    if (!(now == settings_)) {
      answers_.clear();
      settings_ = now;
    }
    for (const auto& [asked, answer] : answers_) {
      if (asked == key) return answer;
    }
    const QSize answer = measure();
    if (answers_.size() >= 8) answers_.erase(answers_.begin());
    answers_.emplace_back(key, answer);
    return answer;
  }

  struct Settings {
    QString text;
    bool wrap = false;
    int indent = 0;
    int margin = 0;
    Qt::Alignment alignment;
    QSizePolicy policy;
    bool operator==(const Settings&) const = default;
  };
  mutable Settings settings_;
  mutable std::vector<std::pair<int, QSize>> answers_;
};

// The style's warning sign, loaded when first shown: most actions never show it, and loading
// the theme's image would delay the window's first frame.
class WarningIcon final : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void showEvent(QShowEvent* event) override {
    if (pixmap().isNull()) setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(14, 14));
    QLabel::showEvent(event);
  }
};

}  // namespace

QFont scaledFont(const QFont& base, double factor) {
  QFont font = base;
  if (font.pointSizeF() > 0) {
    font.setPointSizeF(font.pointSizeF() * factor);
  } else {
    font.setPixelSize(std::max(1, static_cast<int>(font.pixelSize() * factor + 0.5)));
  }
  return font;
}

QLabel* makeCaption(const QString& text, Tone tone, QWidget* parent) {
  auto* label = new Caption(text, parent);
  label->setWordWrap(true);
  label->setFont(scaledFont(label->font(), tone == Tone::tertiary ? 0.77 : 0.85));
  if (tone == Tone::warning) {
    QPalette orange;
    orange.setColor(QPalette::WindowText, kOrange);
    label->setPalette(orange);
  } else {
    label->setForegroundRole(QPalette::PlaceholderText);
  }
  return label;
}

// ---- SequenceEditor ----

SequenceEditor::SequenceEditor(QWidget* parent)
    : QWidget(parent), rowsLayout_(new QVBoxLayout), add_(new QPushButton(QStringLiteral("Add step"), this)) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(6);
  rowsLayout_->setContentsMargins(0, 0, 0, 0);
  rowsLayout_->setSpacing(4);
  column->addLayout(rowsLayout_);

  add_->setObjectName(QStringLiteral("addStep"));
  add_->setAutoDefault(false);
  auto* menu = new QMenu(add_);
  menu->addAction(QStringLiteral("Keyboard shortcut"), this, [this] { append({SequenceStep::Chord{KeyChord{122}}}); });
  menu->addAction(QStringLiteral("Mouse button"), this, [this] { append({SequenceStep::Mouse{4}}); });
  menu->addAction(QStringLiteral("Type text"), this, [this] { append({SequenceStep::Text{}}); });
  menu->addAction(QStringLiteral("Wait"), this, [this] { append({SequenceStep::Delay{100}}); });
  add_->setMenu(menu);
  column->addWidget(add_, 0, Qt::AlignLeft);
  column->addWidget(makeCaption(QStringLiteral("Runs once, top to bottom, when the button goes down."), Tone::secondary, this));
}

void SequenceEditor::setSteps(const std::vector<SequenceStep>& steps) {
  std::size_t keep = 0;
  while (keep < rows_.size() && keep < steps.size() && rows_[keep].kind == steps[keep].value.index()) ++keep;
  for (std::size_t i = keep; i < rows_.size(); ++i) {
    rows_[i].widget->hide();
    rows_[i].widget->deleteLater();  // may be the sender of the edit that got us here
  }
  rows_.resize(keep, Row{nullptr, 0});
  for (std::size_t i = keep; i < steps.size(); ++i) {
    rows_.push_back(makeRow(i, steps[i]));
    rowsLayout_->addWidget(rows_.back().widget);
  }
  steps_ = steps;
  for (std::size_t i = 0; i < rows_.size(); ++i) showStep(rows_[i], steps_[i]);
}

SequenceEditor::Row SequenceEditor::makeRow(std::size_t index, const SequenceStep& step) {
  auto* widget = new QWidget(this);
  widget->setObjectName(QStringLiteral("step%1").arg(index + 1));
  auto* layout = new QHBoxLayout(widget);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* number = new QLabel(QStringLiteral("%1.").arg(index + 1), widget);
  number->setForegroundRole(QPalette::PlaceholderText);
  number->setFixedWidth(22);
  layout->addWidget(number);

  Row row{widget, step.value.index()};
  const QString position = QStringLiteral("Step %1, ").arg(index + 1);
  std::visit(Overloaded{
                 [&](const SequenceStep::Chord&) {
                   row.recorder = new KeyRecorder(widget);
                   connect(row.recorder, &KeyRecorder::recordingStarted, this,
                           [this, recorder = row.recorder] { stopOtherRecorders(recorder); });
                   connect(row.recorder, &KeyRecorder::chordRecorded, this,
                           [this, index](const KeyChord& chord) { edit(index, {SequenceStep::Chord{chord}}); });
                   layout->addWidget(row.recorder);
                 },
                 [&](const SequenceStep::Mouse&) {
                   row.spin = makeStepper(QStringLiteral("Mouse button "), position + QStringLiteral("mouse button"), 1, 32, 1, widget);
                   connect(row.spin, &QSpinBox::valueChanged, this,
                           [this, index](int n) { edit(index, {SequenceStep::Mouse{n}}); });
                   layout->addWidget(row.spin);
                 },
                 [&](const SequenceStep::Text&) {
                   row.edit = new QLineEdit(widget);
                   row.edit->setPlaceholderText(QStringLiteral("Text"));
                   row.edit->setAccessibleName(position + QStringLiteral("text"));
                   connect(row.edit, &QLineEdit::textEdited, this,
                           [this, index](const QString& text) { edit(index, {SequenceStep::Text{text.toStdString()}}); });
                   layout->addWidget(row.edit, 1);
                 },
                 [&](const SequenceStep::Delay&) {
                   row.spin = makeStepper(QStringLiteral("Wait "), position + QStringLiteral("wait in milliseconds"), 10, 5000, 10, widget);
                   row.spin->setSuffix(QStringLiteral(" ms"));
                   connect(row.spin, &QSpinBox::valueChanged, this,
                           [this, index](int ms) { edit(index, {SequenceStep::Delay{ms}}); });
                   layout->addWidget(row.spin);
                 },
             },
             step.value);
  if (row.recorder) row.recorder->setAccessibleName(position + QStringLiteral("key"));
  layout->addStretch(1);
  row.remove = new QToolButton(widget);
  row.remove->setObjectName(QStringLiteral("removeStep"));
  row.remove->setAutoRaise(true);
  row.remove->setText(QStringLiteral("\u2212"));
  row.remove->setIcon(QIcon::fromTheme(QStringLiteral("list-remove")));
  row.remove->setToolTip(QStringLiteral("Remove this step"));
  row.remove->setAccessibleName(QStringLiteral("Remove step %1").arg(index + 1));
  row.remove->setFocusPolicy(Qt::StrongFocus);
  connect(row.remove, &QToolButton::clicked, this, [this, index] { removeStep(index); });
  layout->addWidget(row.remove);
  return row;
}

void SequenceEditor::showStep(Row& row, const SequenceStep& step) {
  std::visit(Overloaded{
                 [&](const SequenceStep::Chord& c) { row.recorder->setChord(c.chord); },
                 [&](const SequenceStep::Mouse& m) { setSpin(row.spin, m.button); },
                 [&](const SequenceStep::Text& t) { setLine(row.edit, t.text); },
                 [&](const SequenceStep::Delay& d) { setSpin(row.spin, d.ms); },
             },
             step.value);
}

void SequenceEditor::edit(std::size_t index, SequenceStep step) {
  if (index >= steps_.size()) return;
  auto steps = steps_;
  steps[index] = std::move(step);
  commit(std::move(steps));
}

void SequenceEditor::removeStep(std::size_t index) {
  if (index >= steps_.size()) return;
  auto steps = steps_;
  steps.erase(steps.begin() + static_cast<std::ptrdiff_t>(index));
  // Keyboard focus moves on to the next row's minus button, or to "Add step".
  const bool hadFocus = rows_[index].remove->hasFocus();
  commit(std::move(steps));
  if (!hadFocus) return;
  if (index < rows_.size()) {
    rows_[index].remove->setFocus();
  } else {
    add_->setFocus();
  }
}

void SequenceEditor::append(SequenceStep step) {
  auto steps = steps_;
  steps.push_back(std::move(step));
  commit(std::move(steps));
}

// One key press records one chord: the recorder started last takes it, the others stop.
void SequenceEditor::stopOtherRecorders(const KeyRecorder* recording) {
  for (Row& row : rows_) {
    if (row.recorder && row.recorder != recording) row.recorder->stop();
  }
}

void SequenceEditor::commit(std::vector<SequenceStep> steps) {
  setSteps(steps);
  emit stepsEdited(steps_);
}

// ---- HostActionEditor ----

HostActionEditor::HostActionEditor(QWidget* parent) : QWidget(parent), kind_(new QComboBox(this)) {
  setObjectName(QStringLiteral("hostActionEditor"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(8);

  auto* kindRow = new QHBoxLayout;
  auto* does = new QLabel(QStringLiteral("Does"), this);
  does->setBuddy(kind_);
  kind_->setObjectName(QStringLiteral("actionKind"));
  kind_->setAccessibleName(QStringLiteral("Does"));
  for (HostAction::Kind kind : HostAction::allKinds) {
    const auto name = displayName(kind);
    kind_->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  }
  // activated(), not currentIndexChanged(): choosing the current kind again also blanks the action.
  connect(kind_, &QComboBox::activated, this,
          [this](int index) { commit(HostAction::blank(HostAction::allKinds[static_cast<std::size_t>(index)])); });
  kindRow->addWidget(does);
  kindRow->addWidget(kind_, 1);
  column->addLayout(kindRow);

  buildPages();
  for (QWidget* widget : pages_) column->addWidget(widget);

  warning_ = new QWidget(this);
  warning_->setObjectName(QStringLiteral("oneToOneWarning"));
  auto* warningRow = new QHBoxLayout(warning_);
  warningRow->setContentsMargins(0, 0, 0, 0);
  auto* icon = new WarningIcon(warning_);
  icon->setAlignment(Qt::AlignTop);
  warningRow->addWidget(icon);
  warningRow->addWidget(makeCaption(QStringLiteral("More than one input per press. Fine on the desktop; "
                                                   "Blizzard's rules forbid it in the game."),
                                    Tone::warning, warning_),
                        1);
  column->addWidget(warning_);
  showAction();
}

void HostActionEditor::buildPages() {
  QVBoxLayout* layout = nullptr;
  // none
  pages_.push_back(page(layout, this));
  layout->addWidget(makeCaption(QStringLiteral("The button does nothing in this profile."), Tone::secondary, pages_.back()));
  // mouseButton
  pages_.push_back(page(layout, this));
  mouseButton_ = makeStepper(QStringLiteral("Mouse button "), QStringLiteral("Mouse button"), 1, 32, 1, pages_.back());
  mouseButton_->setObjectName(QStringLiteral("mouseButtonStepper"));
  connect(mouseButton_, &QSpinBox::valueChanged, this, [this](int n) { commit({HostAction::MouseButton{n}}); });
  layout->addWidget(mouseButton_, 0, Qt::AlignLeft);
  primaryClickHint_ = makeCaption(QStringLiteral("That's the left, right or middle click. Usually you want 4 or higher."),
                                  Tone::warning, pages_.back());
  primaryClickHint_->setObjectName(QStringLiteral("primaryClickHint"));
  layout->addWidget(primaryClickHint_);
  // key
  pages_.push_back(page(layout, this));
  recorder_ = new KeyRecorder(pages_.back());
  recorder_->setObjectName(QStringLiteral("shortcutRecorder"));
  connect(recorder_, &KeyRecorder::chordRecorded, this, [this](const KeyChord& chord) { commit({HostAction::Key{chord}}); });
  layout->addWidget(recorder_);
  auto* modifierRow = new QHBoxLayout;
  const std::array<std::pair<const char*, const char*>, 4> modifiers = {{
      {"\u21E7", "Shift"}, {"\u2303", "Control"}, {"\u2325", "Alt (Option)"}, {"\u2318", "Super (Command)"}}};
  for (const auto& [symbol, name] : modifiers) {
    auto* toggle = new QToolButton(pages_.back());
    toggle->setText(QString::fromUtf8(symbol));
    toggle->setCheckable(true);
    toggle->setAccessibleName(QString::fromUtf8(name));
    toggle->setToolTip(QString::fromUtf8(name));
    toggle->setFocusPolicy(Qt::StrongFocus);
    toggle->setMinimumWidth(32);
    modifiers_.push_back(toggle);
    modifierRow->addWidget(toggle);
    connect(toggle, &QToolButton::toggled, this, [this, toggle] {
      tintChecked(toggle);
      if (!std::holds_alternative<HostAction::Key>(action_.value)) return;
      KeyChord chord = std::get<HostAction::Key>(action_.value).chord;
      chord.shift = modifiers_[0]->isChecked();
      chord.control = modifiers_[1]->isChecked();
      chord.option = modifiers_[2]->isChecked();
      chord.command = modifiers_[3]->isChecked();
      commit({HostAction::Key{chord}});
    });
  }
  modifierRow->addStretch(1);
  layout->addLayout(modifierRow);
  layout->addWidget(makeCaption(QStringLiteral("Held for as long as you hold the mouse button."), Tone::secondary, pages_.back()));
  // text
  pages_.push_back(page(layout, this));
  text_ = new QLineEdit(pages_.back());
  text_->setObjectName(QStringLiteral("textToType"));
  text_->setPlaceholderText(QStringLiteral("Text to type"));
  text_->setAccessibleName(QStringLiteral("Text to type"));
  connect(text_, &QLineEdit::textEdited, this, [this](const QString& text) { commit({HostAction::Text{text.toStdString()}}); });
  layout->addWidget(text_);
  // scroll
  pages_.push_back(page(layout, this));
  vertical_ = makeStepper(QStringLiteral("Vertical: "), QStringLiteral("Vertical scroll lines"), -20, 20, 1, pages_.back());
  vertical_->setObjectName(QStringLiteral("verticalStepper"));
  horizontal_ = makeStepper(QStringLiteral("Horizontal: "), QStringLiteral("Horizontal scroll lines"), -20, 20, 1, pages_.back());
  horizontal_->setObjectName(QStringLiteral("horizontalStepper"));
  connect(vertical_, &QSpinBox::valueChanged, this, [this](int dy) {
    if (const auto* s = std::get_if<HostAction::Scroll>(&action_.value)) commit({HostAction::Scroll{s->dx, dy}});
  });
  connect(horizontal_, &QSpinBox::valueChanged, this, [this](int dx) {
    if (const auto* s = std::get_if<HostAction::Scroll>(&action_.value)) commit({HostAction::Scroll{dx, s->dy}});
  });
  layout->addWidget(vertical_, 0, Qt::AlignLeft);
  layout->addWidget(horizontal_, 0, Qt::AlignLeft);
  layout->addWidget(makeCaption(QStringLiteral("Positive = up / left, in lines per press."), Tone::secondary, pages_.back()));
  // sequence
  pages_.push_back(page(layout, this));
  sequence_ = new SequenceEditor(pages_.back());
  sequence_->setObjectName(QStringLiteral("sequenceEditor"));
  connect(sequence_, &SequenceEditor::stepsEdited, this,
          [this](const std::vector<SequenceStep>& steps) { commit({HostAction::Sequence{steps}}); });
  layout->addWidget(sequence_);
}

void HostActionEditor::setAction(const HostAction& action) {
  if (action_ == action) return;
  action_ = action;
  showAction();
}

void HostActionEditor::commit(HostAction action) {
  action_ = std::move(action);
  showAction();
  emit actionEdited(action_);
}

void HostActionEditor::showAction() {
  const auto kind = static_cast<std::size_t>(action_.kind());
  if (kind_->currentIndex() != static_cast<int>(kind)) {
    const QSignalBlocker block(kind_);
    kind_->setCurrentIndex(static_cast<int>(kind));
  }
  for (std::size_t i = 0; i < pages_.size(); ++i) pages_[i]->setVisible(i == kind);
  std::visit(Overloaded{
                 [](const HostAction::None&) {},
                 [&](const HostAction::MouseButton& m) {
                   setSpin(mouseButton_, m.button);
                   primaryClickHint_->setVisible(m.button <= 3);
                 },
                 [&](const HostAction::Key& k) {
                   recorder_->setChord(k.chord);
                   const std::array<bool, 4> flags = {k.chord.shift, k.chord.control, k.chord.option, k.chord.command};
                   for (std::size_t i = 0; i < flags.size(); ++i) {
                     if (modifiers_[i]->isChecked() == flags[i]) continue;
                     const QSignalBlocker block(modifiers_[i]);
                     modifiers_[i]->setChecked(flags[i]);
                     tintChecked(modifiers_[i]);
                   }
                 },
                 [&](const HostAction::Text& t) { setLine(text_, t.text); },
                 [&](const HostAction::Scroll& s) {
                   setSpin(vertical_, s.dy);
                   setSpin(horizontal_, s.dx);
                 },
                 [&](const HostAction::Sequence& s) { sequence_->setSteps(s.steps); },
             },
             action_.value);
  warning_->setVisible(!action_.isOneToOne());
}

}  // namespace tandemo::ui
