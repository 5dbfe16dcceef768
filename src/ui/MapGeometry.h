#pragma once

// The mouse map's geometry in one place: outline paths, hotspot positions and the fitting of the
// two panels, all from the layout's fractions and point sizes. Painting, hit-testing and tests
// read these, so a hotspot drawn is a hotspot clicked.

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <array>
#include <span>

#include "device/Rival500.h"

namespace tandemo::ui::map {

struct Spot {
  Rival500::Button button;
  double x;  // fractions of the drawing area, from its top-left corner
  double y;
};

// Listed in drawing order: later spots lie on top of earlier ones.
inline constexpr std::array<Spot, 6> kSideSpots = {{
    {Rival500::Button::button6, 0.30, 0.42},
    {Rival500::Button::button5, 0.58, 0.36},
    {Rival500::Button::button4, 0.63, 0.55},
    {Rival500::Button::button7, 0.30, 0.67},
    {Rival500::Button::button9, 0.63, 0.73},
    {Rival500::Button::button8, 0.46, 0.60},
}};
inline constexpr std::array<Spot, 9> kTopSpots = {{
    {Rival500::Button::button1, 0.36, 0.20},
    {Rival500::Button::button2, 0.64, 0.20},
    {Rival500::Button::button3, 0.50, 0.31},
    {Rival500::Button::tiltLeft, 0.405, 0.31},
    {Rival500::Button::tiltRight, 0.595, 0.31},
    {Rival500::Button::button10, 0.50, 0.46},
    {Rival500::Button::button11, 0.165, 0.21},
    {Rival500::Button::button12, 0.165, 0.35},
    {Rival500::Button::button13, 0.835, 0.25},
}};

inline constexpr double kAspect = 0.72;          // drawing area width / height
inline constexpr double kPanelSpacing = 28;      // between the two panels
inline constexpr double kTitleSpacing = 8;       // between a panel's title and its drawing
inline constexpr double kOutlineWidth = 2;
inline constexpr double kHotspotDiameter = 34;
inline constexpr double kRingDiameter = 40;
inline constexpr double kRingWidth = 3;
inline constexpr double kPressedScale = 1.25;
inline constexpr double kLabelPixelSize = 13;

enum class Panel { side, top };

struct PanelLayout {
  QRectF title;  // where the upper-case title is drawn
  QRectF area;   // the drawing area, kAspect wide per unit of height
};

// The largest kAspect rectangle inside `available`, centred horizontally, at its top.
QRectF fitArea(const QRectF& available);
// Splits the map's rectangle into the two panels, side first; `titleHeight` is the title's line.
std::array<PanelLayout, 2> layoutPanels(const QRectF& bounds, double titleHeight);

std::span<const Spot> spots(Panel panel);
QPointF spotCentre(const Spot& spot, const QRectF& area);

QPainterPath sideShape(const QRectF& rect);
QPainterPath topShape(const QRectF& rect);

// The hotspot colour of an assignment, shared with the legend.
QColor colorFor(const Rival500::Assignment& assignment);
// The text inside a hotspot: the button's number, or a triangle for the tilts.
QString hotspotLabel(Rival500::Button button);

}  // namespace tandemo::ui::map
