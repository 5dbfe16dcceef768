#pragma once

// The mouse map: the thumb side and the top of the mouse, one hotspot per control coloured by
// its firmware assignment, enlarged while the control is held, clickable to select it. Reads
// the controller; the selection belongs to the owner, which answers hotspotClicked() with
// setSelected().

#include <QWidget>
#include <optional>
#include <vector>

#include "ui/ControllerSignals.h"
#include "ui/MapGeometry.h"

class QAbstractButton;
class QVariantAnimation;

namespace tandemo::ui {

class MouseMapView final : public QWidget {
  Q_OBJECT

 public:
  explicit MouseMapView(ControllerSignals& model, QWidget* parent = nullptr);

  void setSelected(std::optional<Rival500::Button> button);
  std::optional<Rival500::Button> selected() const { return selected_; }

  // 1 at rest, kPressedScale once the press animation has run.
  double hotspotScale(Rival500::Button button) const;
  // The centre of a hotspot in this widget's coordinates.
  QPointF hotspotCentre(Rival500::Button button) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 signals:
  void hotspotClicked(tandemo::Rival500::Button button);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct Hotspot {
    map::Spot spot;
    map::Panel panel;
    QAbstractButton* proxy;  // focus, clicks, tooltip and accessible name; paints nothing
    QVariantAnimation* animation;
    Rival500::Assignment assignment;
    double scale = 1;
    bool pressed = false;
    QPointF centre;
  };

  void refresh();
  void relayout();
  void placeProxy(Hotspot& hotspot);
  void paintHotspot(QPainter& painter, const Hotspot& hotspot) const;
  const Hotspot* find(Rival500::Button button) const;
  QFont titleFont() const;

  Controller& controller_;
  std::vector<Hotspot> hotspots_;
  std::optional<Rival500::Button> selected_;
};

}  // namespace tandemo::ui
