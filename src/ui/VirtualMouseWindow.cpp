#include "ui/VirtualMouseWindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "sim/VirtualRival500.h"

namespace tandemo::ui {
namespace {

constexpr int kColumns = 3;

QString number(Rival500::Button button) {
  switch (button) {
    case Rival500::Button::tiltLeft: return QStringLiteral("\u2190");
    case Rival500::Button::tiltRight: return QStringLiteral("\u2192");
    default: return QString::number(static_cast<int>(button) + 1);
  }
}

}  // namespace

VirtualMouseWindow::VirtualMouseWindow(sim::VirtualRival500& mouse, QWidget* parent)
    : QWidget(parent, Qt::Window), mouse_(mouse), plugged_(new QCheckBox(tr("Plugged in"), this)) {
  setWindowTitle(tr("Virtual mouse"));
  setObjectName("virtualMouseWindow");
  auto* layout = new QVBoxLayout(this);
  auto* about = new QLabel(tr("A simulated Rival 500. Hold a control's button to hold the control: "
                              "app-controlled buttons light up on the map in Tandemo's Buttons tab."),
                           this);
  about->setWordWrap(true);
  layout->addWidget(about);

  plugged_->setObjectName("pluggedIn");
  plugged_->setChecked(mouse_.pluggedIn());
  connect(plugged_, &QCheckBox::toggled, this, &VirtualMouseWindow::setPlugged);
  layout->addWidget(plugged_);

  auto* grid = new QGridLayout;
  int index = 0;
  for (const Rival500::Button button : Rival500::displayOrder) {
    const QString label = QString::fromUtf8(Rival500::label(button).data(),
                                            static_cast<qsizetype>(Rival500::label(button).size()));
    auto* key = new QPushButton(number(button) + "  " + label, this);
    key->setObjectName(QString::fromLatin1(Rival500::rawValue(button).data(),
                                           static_cast<qsizetype>(Rival500::rawValue(button).size())));
    key->setAccessibleName(label);
    key->setToolTip(tr("Hold to hold \u201c%1\u201d").arg(label));
    key->setEnabled(mouse_.pluggedIn());
    connect(key, &QPushButton::pressed, this, [this, button] { press(button); });
    connect(key, &QPushButton::released, this, [this, button] { release(button); });
    grid->addWidget(key, index / kColumns, index % kColumns);
    buttons_.emplace(button, key);
    ++index;
  }
  layout->addLayout(grid);
  layout->addStretch(1);
}

void VirtualMouseWindow::setPlugged(bool plugged) {
  if (plugged == mouse_.pluggedIn()) return;
  if (!plugged) releaseAll();  // a control held while the cable goes stays up on the next plug-in
  if (plugged) {
    mouse_.plugIn();
  } else {
    mouse_.unplug();
  }
  for (auto& [button, key] : buttons_) key->setEnabled(plugged);
}

void VirtualMouseWindow::press(Rival500::Button button) {
  if (std::exchange(held_[button], true)) return;
  mouse_.press(button);
}

void VirtualMouseWindow::release(Rival500::Button button) {
  if (!std::exchange(held_[button], false)) return;
  mouse_.release(button);
}

void VirtualMouseWindow::releaseAll() {
  for (auto& [button, key] : buttons_) {
    key->setDown(false);
    release(button);
  }
}

}  // namespace tandemo::ui
