#pragma once

#include <vector>

#include "device/Rival500.h"

namespace tandemo {

// Everything written to the mouse: control assignments, DPI presets, polling rate and lights.
struct HardwareConfig {
  // A control without an entry is programmed with its factory default.
  Rival500::ButtonMap<Rival500::Assignment> assignments;
  std::int64_t dpi1 = 800;
  std::int64_t dpi2 = 1600;
  std::int64_t pollingHz = 1000;
  Rival500::Lighting logo = Rival500::Lighting::factory();
  Rival500::Lighting wheel = Rival500::Lighting::factory();

  // The mouse as shipped.
  static HardwareConfig factory() { return {}; }

  // Controls assigned `bridge`, in display order.
  std::vector<Rival500::Button> bridgedButtons() const;

  // The six packets of a full write: DPI 1, DPI 2, polling, logo, wheel, button map.
  // Fails with the first invalid light's error (the logo is checked first).
  Expected<std::vector<Rival500::Packet>, Rival500::LightingError> packets() const;

  bool operator==(const HardwareConfig&) const = default;
};

}  // namespace tandemo
