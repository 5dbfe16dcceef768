#include "ui/MainHeader.h"

#include <QHBoxLayout>
#include <algorithm>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tandemo::ui {
namespace {

constexpr int kSpacing = 14;
constexpr int kLastWriteWidth = 260;

bool darkPalette(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

// Secondary text: the text colour faded towards the background, readable on light and dark themes.
QColor secondary(const QPalette& palette) {
  const QColor text = palette.color(QPalette::WindowText);
  const QColor back = palette.color(QPalette::Window);
  return QColor::fromRgbF(text.redF() * 0.62f + back.redF() * 0.38f, text.greenF() * 0.62f + back.greenF() * 0.38f,
                          text.blueF() * 0.62f + back.blueF() * 0.38f);
}

QColor failureRed(const QPalette& palette) {
  return darkPalette(palette) ? QColor(0xff, 0x6b, 0x6b) : QColor(0xc6, 0x28, 0x28);
}

void setTextColor(QLabel* label, const QColor& color) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
}

QLabel* caption(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() * 0.85);
  label->setFont(font);
  setTextColor(label, secondary(parent->palette()));
  return label;
}

// A filled circle whose colour is held in the "color" property (tests read it there).
class StatusDot final : public QWidget {
 public:
  explicit StatusDot(QWidget* parent) : QWidget(parent) { setFixedSize(10, 10); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(property("color").value<QColor>());
    p.drawEllipse(rect());
  }
};

// A small spinning arc; it turns only while shown, so an idle window costs nothing.
class Spinner final : public QWidget {
 public:
  explicit Spinner(QWidget* parent) : QWidget(parent) {
    setFixedSize(16, 16);
    timer_.setInterval(80);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
      angle_ = (angle_ + 30) % 360;
      QWidget::update();
    });
  }

 protected:
  void showEvent(QShowEvent*) override { timer_.start(); }
  void hideEvent(QHideEvent*) override { timer_.stop(); }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::WindowText), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(rect()).adjusted(2, 2, -2, -2), -angle_ * 16, 270 * 16);
  }

 private:
  QTimer timer_;
  int angle_ = 0;
};

}  // namespace

MainHeader::MainHeader(ControllerSignals& model, bool simulated, QWidget* parent)
    : QWidget(parent),
      model_(model),
      dot_(new StatusDot(this)),
      title_(new QLabel(this)),
      caption_(caption({}, this)),
      profile_(new QLabel(this)),
      lastWrite_(caption({}, this)),
      spinner_(new Spinner(this)),
      write_(new QPushButton(tr("Write to mouse"), this)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(16, 10, 16, 10);
  row->setSpacing(kSpacing);

  dot_->setObjectName("statusDot");
  row->addWidget(dot_, 0, Qt::AlignVCenter);

  auto* left = new QVBoxLayout;
  left->setSpacing(1);
  title_->setObjectName("deviceTitle");
  QFont headline = title_->font();
  headline.setBold(true);
  headline.setPointSizeF(headline.pointSizeF() * 1.1);
  title_->setFont(headline);
  caption_->setObjectName("deviceCaption");
  left->addWidget(title_);
  left->addWidget(caption_);
  row->addLayout(left);

  if (simulated) {
    auto* note = caption(tr("Simulated mouse"), this);
    note->setObjectName("simulatedNote");
    note->setToolTip(tr("Started with --simulate: Tandemo drives a virtual Rival 500, not a real one"));
    auto* open = new QPushButton(tr("Virtual mouse\u2026"), this);
    open->setObjectName("virtualMouseButton");
    open->setAccessibleName(tr("Open the virtual mouse"));
    connect(open, &QPushButton::clicked, this, &MainHeader::virtualMouseRequested);
    row->addWidget(note, 0, Qt::AlignVCenter);
    row->addWidget(open, 0, Qt::AlignVCenter);
  }
  row->addStretch(1);

  auto* right = new QVBoxLayout;
  right->setSpacing(1);
  auto* profileCaption = caption(tr("Active profile"), this);
  profileCaption->setAlignment(Qt::AlignRight);
  profile_->setObjectName("activeProfile");
  profile_->setAlignment(Qt::AlignRight);
  QFont callout = profile_->font();
  callout.setPointSizeF(callout.pointSizeF() * 0.95);
  callout.setWeight(QFont::Medium);
  profile_->setFont(callout);
  right->addWidget(profileCaption);
  right->addWidget(profile_);
  row->addLayout(right);

  lastWrite_->setObjectName("lastWriteMessage");
  lastWrite_->setWordWrap(true);
  lastWrite_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lastWrite_->setMaximumWidth(kLastWriteWidth);
  lastWrite_->setMaximumHeight(lastWrite_->fontMetrics().lineSpacing() * 2);  // at most two lines
  row->addWidget(lastWrite_, 0, Qt::AlignVCenter);

  spinner_->setObjectName("writeSpinner");
  spinner_->setAccessibleName(tr("Writing to the mouse"));
  row->addWidget(spinner_, 0, Qt::AlignVCenter);

  write_->setObjectName("writeButton");
  write_->setToolTip(tr("Push the button map, DPI, polling rate and lights to the mouse"));
  write_->setAccessibleDescription(write_->toolTip());
  write_->setDefault(true);  // the prominent button of the window
  connect(write_, &QPushButton::clicked, this, [this] { model_.controller().writeToMouse(); });
  row->addWidget(write_, 0, Qt::AlignVCenter);

  connect(&model_, &ControllerSignals::changed, this, &MainHeader::update);
  showConnection();
  showProfile();
  showWrite();
}

void MainHeader::update(Controller::Property property) {
  using P = Controller::Property;
  switch (property) {
    case P::connected:
    case P::firmware: showConnection(); [[fallthrough]];
    case P::writing:
    case P::lastWrite: showWrite(); break;
    case P::state:
    case P::frontBundleID: showProfile(); break;
    default: break;
  }
}

void MainHeader::showConnection() {
  const Controller& c = model_.controller();
  const bool connected = c.connected();
  dot_->setProperty("color", connected ? QColor(0x34, 0xc7, 0x59) : QColor(0xff, 0x3b, 0x30));
  dot_->setAccessibleName(connected ? tr("Mouse connected") : tr("Mouse not connected"));
  dot_->update();
  title_->setText(connected ? tr("SteelSeries Rival 500") : tr("Rival 500 not plugged in"));
  caption_->setText(connected ? "Firmware " + QString::fromStdString(c.firmware().value_or("\u2026"))
                              : tr("Plug the mouse into a USB port"));
}

void MainHeader::showProfile() {
  const auto profile = model_.controller().activeProfile();
  profile_->setText(profile ? QString::fromStdString(profile->name) : QStringLiteral("\u2014"));
  profile_->setAccessibleName(tr("Active profile: %1").arg(profile_->text()));
}

void MainHeader::showWrite() {
  const Controller& c = model_.controller();
  const auto& message = c.lastWriteMessage();
  lastWrite_->setVisible(message.has_value());
  lastWrite_->setText(QString::fromStdString(message.value_or("")));
  // A wrapping label gets squeezed by the row: it keeps the width its text needs, up to the limit.
  lastWrite_->setMinimumWidth(
      std::min(lastWrite_->fontMetrics().horizontalAdvance(lastWrite_->text()) + 2, kLastWriteWidth));
  setTextColor(lastWrite_, c.lastWriteFailed() ? failureRed(palette()) : secondary(palette()));
  lastWrite_->setProperty("failed", c.lastWriteFailed());
  spinner_->setVisible(c.writing());
  write_->setEnabled(c.connected() && !c.writing());
}

}  // namespace tandemo::ui
