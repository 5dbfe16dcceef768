#pragma once

// The Linux key code the kernel's HID input layer gives each usage of the keyboard page (0x07),
// and back. The key recorder reads Linux key codes from the window system and the uinput sink
// posts them, so both directions must agree with what the kernel does for a real keyboard.

#include <array>
#include <cstdint>
#include <optional>

namespace tandemo::linux_platform {

inline constexpr std::uint16_t kKeyUnknown = 240;  // KEY_UNKNOWN: the kernel knows no key for it

// Indexed by usage; 0 means the kernel ignores the usage.
inline constexpr std::array<std::uint16_t, 256> kHidUsageToLinuxKey = {
      0,   0,   0,   0,  30,  48,  46,  32,  18,  33,  34,  35,  23,  36,  37,  38,  // 0x00
     50,  49,  24,  25,  16,  19,  31,  20,  22,  47,  17,  45,  21,  44,   2,   3,  // 0x10
      4,   5,   6,   7,   8,   9,  10,  11,  28,   1,  14,  15,  57,  12,  13,  26,  // 0x20
     27,  43,  43,  39,  40,  41,  51,  52,  53,  58,  59,  60,  61,  62,  63,  64,  // 0x30
     65,  66,  67,  68,  87,  88,  99,  70, 119, 110, 102, 104, 111, 107, 109, 106,  // 0x40
    105, 108, 103,  69,  98,  55,  74,  78,  96,  79,  80,  81,  75,  76,  77,  71,  // 0x50
     72,  73,  82,  83,  86, 127, 116, 117, 183, 184, 185, 186, 187, 188, 189, 190,  // 0x60
    191, 192, 193, 194, 134, 138, 130, 132, 128, 129, 131, 137, 133, 135, 136, 113,  // 0x70
    115, 114, 240, 240, 240, 121, 240,  89,  93, 124,  92,  94,  95, 240, 240, 240,  // 0x80
    122, 123,  90,  91,  85, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240,  // 0x90
    240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240,  // 0xA0
    240, 240, 240, 240, 240, 240, 179, 180, 240, 240, 240, 240, 240, 240, 240, 240,  // 0xB0
    240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240,  // 0xC0
    240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240,  // 0xD0
     29,  42,  56, 125,  97,  54, 100, 126, 164, 166, 165, 163, 161, 115, 114, 113,  // 0xE0
    150, 158, 159, 128, 136, 177, 178, 176, 142, 152, 173, 140, 240, 240, 240, 240,  // 0xF0
};

// The Linux key code of a keyboard-page usage; absent when the kernel maps it to no key.
constexpr std::optional<std::uint16_t> linuxKeyForUsage(std::uint8_t usage) {
  const std::uint16_t code = kHidUsageToLinuxKey[usage];
  if (code == 0 || code == kKeyUnknown) return std::nullopt;
  return code;
}

// The keyboard-page usage of a Linux key code: the lowest usage the kernel maps to it (0x31,
// not the non-US 0x32, for KEY_BACKSLASH). Absent for codes no usage produces.
constexpr std::optional<std::uint8_t> usageForLinuxKey(std::uint16_t code) {
  if (code == 0 || code == kKeyUnknown) return std::nullopt;
  for (unsigned usage = 0; usage < kHidUsageToLinuxKey.size(); ++usage) {
    if (kHidUsageToLinuxKey[usage] == code) return static_cast<std::uint8_t>(usage);
  }
  return std::nullopt;
}

}  // namespace tandemo::linux_platform
