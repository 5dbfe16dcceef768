#include "linux/KeyMapping.h"

#include <linux/input-event-codes.h>

#include <algorithm>

#include "device/Rival500.h"
#include "linux/HidUsageKeyCodes.h"
#include "runtime/Events.h"

namespace tandemo::linux_platform {
namespace {

struct MediaKeyCode {
  std::uint8_t usage;  // consumer page
  std::uint16_t key;
};

constexpr std::array<MediaKeyCode, 6> kMediaKeyCodes = {{
    {0xCD, KEY_PLAYPAUSE},
    {0xB5, KEY_NEXTSONG},
    {0xB6, KEY_PREVIOUSSONG},
    {0xE9, KEY_VOLUMEUP},
    {0xEA, KEY_VOLUMEDOWN},
    {0xE2, KEY_MUTE},
}};

// Keys beside the key table on which layouts place characters: ISO "<>" and the JIS keys.
constexpr std::array<std::uint16_t, 3> kLayoutKeys = {KEY_102ND, KEY_RO, KEY_YEN};

std::vector<std::uint16_t> buildDeclaredKeys() {
  std::vector<std::uint16_t> keys;
  for (const Rival500::Key& entry : Rival500::keys()) {
    if (const auto code = linuxKeyForUsage(entry.usage)) keys.push_back(*code);
  }
  keys.insert(keys.end(), kLayoutKeys.begin(), kLayoutKeys.end());
  for (const MediaKeyCode& media : kMediaKeyCodes) keys.push_back(media.key);
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

}  // namespace

std::optional<std::uint16_t> linuxKeyForHostKeyCode(std::uint16_t keyCode) {
  const auto entry = Rival500::keyForMacKeyCode(keyCode);
  if (!entry) return std::nullopt;
  return linuxKeyForUsage(entry->usage);
}

std::optional<std::uint16_t> linuxButtonForEventButton(int button) {
  if (button < 0 || button >= kMaxLinuxMouseButtons) return std::nullopt;
  return static_cast<std::uint16_t>(BTN_LEFT + button);  // BTN_LEFT..BTN_TASK, then 0x118..0x11F
}

std::optional<std::uint16_t> linuxKeyForMediaKeyType(std::int32_t keyType) {
  const auto& table = Rival500::mediaKeys();
  const auto entry =
      std::find_if(table.begin(), table.end(), [&](const Rival500::MediaKey& m) { return m.nxKeyType == keyType; });
  if (entry == table.end()) return std::nullopt;
  for (const MediaKeyCode& media : kMediaKeyCodes) {
    if (media.usage == entry->usage) return media.key;
  }
  return std::nullopt;
}

const std::array<ModifierKeys, 4>& modifierKeys() {
  static const std::array<ModifierKeys, 4> table = {{
      {EventFlags::shift, KEY_LEFTSHIFT, KEY_RIGHTSHIFT},
      {EventFlags::control, KEY_LEFTCTRL, KEY_RIGHTCTRL},
      {EventFlags::option, KEY_LEFTALT, KEY_RIGHTALT},
      {EventFlags::command, KEY_LEFTMETA, KEY_RIGHTMETA},
  }};
  return table;
}

std::uint64_t flagOfModifierKey(std::uint16_t key) {
  for (const ModifierKeys& modifier : modifierKeys()) {
    if (key == modifier.left || key == modifier.right) return modifier.flag;
  }
  return 0;
}

const std::vector<std::uint16_t>& declaredKeys() {
  static const std::vector<std::uint16_t> keys = buildDeclaredKeys();
  return keys;
}

bool isDeclaredKey(std::uint16_t key) {
  const auto& keys = declaredKeys();
  return std::binary_search(keys.begin(), keys.end(), key);
}

}  // namespace tandemo::linux_platform
