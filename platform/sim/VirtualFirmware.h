#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/Expected.h"
#include "hid/HidPlatform.h"
#include "sim/VirtualRival500.h"

namespace tandemo::sim {

// What a well-formed configuration report asked the firmware to do.
enum class FirmwareCommand { configure, save, firmwareQuery };

// Reads one SetReport on the configuration interface the way the firmware does. A report that
// changes settings is decoded into `settings` only when it is well-formed; otherwise the error
// says what is wrong with it and `settings` is unchanged.
Expected<FirmwareCommand, std::string> applyReport(MouseSettings& settings, HidReportType type,
                                                   std::uint32_t reportID,
                                                   std::span<const std::uint8_t> bytes);

// The light effect carried by a 163-byte light packet (command byte included); also tells which light.
Expected<LightEffect, std::string> decodeLight(std::span<const std::uint8_t> data, Rival500::LED& led);

// The assignments carried by a 77-byte button-map packet (command byte included).
Expected<Rival500::ButtonMap<Rival500::Assignment>, std::string> decodeButtonMap(
    std::span<const std::uint8_t> data);

}  // namespace tandemo::sim
