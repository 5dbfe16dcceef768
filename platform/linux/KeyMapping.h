#pragma once

// Pure mappings from the synthesiser's events to Linux input codes: host key codes through the
// key table's HID usage to the kernel's key code, mouse buttons, media keys and modifier flags.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tandemo::linux_platform {

// The Linux key of a host key code: the key-table entry's usage, mapped as the kernel's HID
// layer maps it for a real keyboard. Absent for codes the key table does not know.
std::optional<std::uint16_t> linuxKeyForHostKeyCode(std::uint16_t keyCode);

// The Linux button code of a mouse-button event's button field (0 left, 1 right, 2 middle, ...):
// BTN_LEFT to BTN_TASK for mouse buttons 1 to 8, then 0x118 to 0x11F for 9 to 16. Mouse
// buttons 17 and up have no code a desktop understands and give none.
std::optional<std::uint16_t> linuxButtonForEventButton(int button);
inline constexpr int kMaxLinuxMouseButtons = 16;

// The Linux key of a media-key event's key type (the media-key table's nxKeyType).
std::optional<std::uint16_t> linuxKeyForMediaKeyType(std::int32_t keyType);

// Modifier keys: the host flag each stands for (0 for any other key), and the left and right
// key of each flag.
std::uint64_t flagOfModifierKey(std::uint16_t key);
struct ModifierKeys {
  std::uint64_t flag;
  std::uint16_t left;
  std::uint16_t right;
};
const std::array<ModifierKeys, 4>& modifierKeys();

// Every key code the virtual device declares: the key table's keys (modifiers included), the
// ISO and JIS keys that layouts put characters on, and the six media keys; sorted.
const std::vector<std::uint16_t>& declaredKeys();
bool isDeclaredKey(std::uint16_t key);

}  // namespace tandemo::linux_platform
