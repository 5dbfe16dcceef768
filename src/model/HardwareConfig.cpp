#include "model/HardwareConfig.h"

namespace tandemo {

using namespace Rival500;

std::vector<Button> HardwareConfig::bridgedButtons() const {
  std::vector<Button> bridged;
  for (Button button : displayOrder) {
    const auto found = assignments.find(button);
    if (found != assignments.end() && found->second.is<Assignment::Bridge>()) bridged.push_back(button);
  }
  return bridged;
}

Expected<std::vector<Packet>, LightingError> HardwareConfig::packets() const {
  auto logoPacket = lightingPacket(LED::logo, logo);
  if (!logoPacket) return unexpected(logoPacket.error());
  auto wheelPacket = lightingPacket(LED::wheel, wheel);
  if (!wheelPacket) return unexpected(wheelPacket.error());
  std::vector<Packet> list;
  list.reserve(7);  // room for the save packet a caller may append
  list.push_back(sensitivity(1, dpi1));
  list.push_back(sensitivity(2, dpi2));
  list.push_back(pollingRate(pollingHz));
  list.push_back(std::move(logoPacket).value());
  list.push_back(std::move(wheelPacket).value());
  list.push_back(buttonsPacket(assignments));
  return list;
}

}  // namespace tandemo
