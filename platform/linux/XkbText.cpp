#include "linux/XkbText.h"

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <array>
#include <memory>
#include <tuple>

#include "linux/HidUsageKeyCodes.h"
#include "linux/KeyMapping.h"

namespace tandemo::linux_platform {
namespace {

constexpr xkb_keycode_t kEvdevOffset = 8;  // XKB keycode = Linux key code + 8

struct ContextFree { void operator()(xkb_context* c) const { xkb_context_unref(c); } };
struct KeymapFree { void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); } };
struct StateFree { void operator()(xkb_state* s) const { xkb_state_unref(s); } };
using Context = std::unique_ptr<xkb_context, ContextFree>;
using Keymap = std::unique_ptr<xkb_keymap, KeymapFree>;
using State = std::unique_ptr<xkb_state, StateFree>;

// Modifier keys tried for a level, in the order they are preferred: AltGr before left Alt.
constexpr std::array<std::uint16_t, 8> kModifierCandidates = {42, 100, 29, 56, 125, 54, 97, 126};

struct ModifierKey {
  std::uint16_t key;
  xkb_mod_mask_t mask;
};

State freshState(xkb_keymap* keymap, xkb_layout_index_t layout) {
  State state(xkb_state_new(keymap));
  if (state) xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, layout);
  return state;
}

std::vector<ModifierKey> modifierKeysOf(xkb_keymap* keymap, xkb_layout_index_t layout) {
  std::vector<ModifierKey> result;
  for (std::uint16_t key : kModifierCandidates) {
    State state = freshState(keymap, layout);
    if (!state) continue;
    xkb_state_update_key(state.get(), key + kEvdevOffset, XKB_KEY_DOWN);
    const xkb_mod_mask_t mask = xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED);
    if (mask != 0) result.push_back({key, mask});
  }
  return result;
}

struct Combination {
  std::vector<std::uint16_t> keys;
  xkb_mod_mask_t mask = 0;
};

// Every set of up to three modifier keys that each set other modifiers, fewest keys first.
std::vector<Combination> combinationsOf(const std::vector<ModifierKey>& keys) {
  std::vector<ModifierKey> distinct;
  for (const ModifierKey& key : keys) {
    const bool seen = std::any_of(distinct.begin(), distinct.end(), [&](const ModifierKey& d) { return d.mask == key.mask; });
    if (!seen) distinct.push_back(key);
  }
  std::vector<Combination> result{Combination{}};
  for (const ModifierKey& key : distinct) {
    const std::size_t count = result.size();
    for (std::size_t i = 0; i < count; ++i) {
      if (result[i].keys.size() >= 3) continue;
      Combination more = result[i];
      more.keys.push_back(key.key);
      more.mask |= key.mask;
      result.push_back(std::move(more));
    }
  }
  std::stable_sort(result.begin(), result.end(),
                   [](const Combination& a, const Combination& b) { return a.keys.size() < b.keys.size(); });
  return result;
}

// Main-block keys before the keypad and the ISO/JIS extras, then fewer modifiers, then lower key.
auto rank(const KeyStroke& stroke) {
  const auto usage = usageForLinuxKey(stroke.key);
  const bool mainBlock = usage && *usage >= 0x04 && *usage <= 0x38;
  return std::make_tuple(mainBlock ? 0 : 1, stroke.modifiers.size(), stroke.key);
}

// Tries every key with every combination of modifier keys on top of the locked modifiers (Caps
// Lock, Num Lock) and keeps, for each character, the best-ranked stroke that produces it.
std::unordered_map<char32_t, KeyStroke> strokesOf(xkb_keymap* keymap, xkb_layout_index_t layout,
                                                  xkb_mod_mask_t locked) {
  std::unordered_map<char32_t, KeyStroke> strokes;
  State state(xkb_state_new(keymap));
  if (!state) return strokes;
  const std::vector<Combination> combinations = combinationsOf(modifierKeysOf(keymap, layout));
  for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap); code <= xkb_keymap_max_keycode(keymap); ++code) {
    if (code < kEvdevOffset || code - kEvdevOffset > 0xFFFF) continue;
    const auto key = static_cast<std::uint16_t>(code - kEvdevOffset);
    if (!isDeclaredKey(key) || flagOfModifierKey(key) != 0) continue;
    for (const Combination& combination : combinations) {
      xkb_state_update_mask(state.get(), combination.mask, 0, locked, 0, 0, layout);
      if (xkb_state_key_get_layout(state.get(), code) != layout) continue;
      const char32_t c = xkb_keysym_to_utf32(xkb_state_key_get_one_sym(state.get(), code));
      if (c == 0) continue;
      KeyStroke candidate{key, combination.keys};
      auto [entry, inserted] = strokes.try_emplace(c, candidate);
      if (!inserted && rank(candidate) < rank(entry->second)) entry->second = std::move(candidate);
    }
  }
  return strokes;
}

xkb_mod_mask_t capsLockMask(xkb_keymap* keymap, bool on) {
  const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CAPS);
  return on && index != XKB_MOD_INVALID ? xkb_mod_mask_t{1} << index : 0;
}

const char* orNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

// A missing layout is answered with none; the library's own stderr lines would only repeat it.
Context quietContext(xkb_context_flags flags) {
  Context context(xkb_context_new(flags));
  if (context) xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
  return context;
}

}  // namespace

std::optional<XkbText> XkbText::fromNames(const XkbNames& names, bool capsLock) {
  Context context = quietContext(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  if (!context) return std::nullopt;
  const xkb_rule_names rmlvo{orNull(names.rules), orNull(names.model), orNull(names.layout), orNull(names.variant),
                             orNull(names.options)};
  Keymap keymap(xkb_keymap_new_from_names(context.get(), &rmlvo, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) return std::nullopt;
  return XkbText(strokesOf(keymap.get(), 0, capsLockMask(keymap.get(), capsLock)), "layout \"" + names.layout + "\"");
}

std::optional<XkbText> XkbText::fromEnvironment() {
  Context context = quietContext(XKB_CONTEXT_NO_FLAGS);
  if (!context) return std::nullopt;
  Keymap keymap(xkb_keymap_new_from_names(context.get(), nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) return std::nullopt;
  return XkbText(strokesOf(keymap.get(), 0, 0), "the environment's default layout");
}

std::optional<XkbText> XkbText::fromX11(xcb_connection_t* connection) {
  if (connection == nullptr ||
      !xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                   XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)) {
    return std::nullopt;
  }
  const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
  if (device == -1) return std::nullopt;
  Context context = quietContext(XKB_CONTEXT_NO_FLAGS);
  if (!context) return std::nullopt;
  Keymap keymap(xkb_x11_keymap_new_from_device(context.get(), connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) return std::nullopt;
  State state(xkb_x11_state_new_from_device(keymap.get(), connection, device));
  const xkb_layout_index_t layout = state ? xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE) : 0;
  const xkb_mod_mask_t locked = state ? xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LOCKED) : 0;
  const char* name = xkb_keymap_layout_get_name(keymap.get(), layout);
  return XkbText(strokesOf(keymap.get(), layout, locked),
                 std::string("the X server's layout") + (name ? std::string(" \"") + name + "\"" : ""));
}

std::optional<KeyStroke> XkbText::strokeFor(char32_t c) const {
  const auto entry = strokes_.find(c == U'\n' ? U'\r' : c);
  if (entry == strokes_.end()) return std::nullopt;
  return entry->second;
}

}  // namespace tandemo::linux_platform
