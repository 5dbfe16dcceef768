#include "linux/UinputEventSink.h"

#include "core/Utf8.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <limits>

#include "core/Overloaded.h"
#include "linux/KeyMapping.h"
#include "linux/XTestTyper.h"

namespace tandemo::linux_platform {
namespace {

constexpr std::int64_t kHighResolutionPerLine = 120;

std::int32_t clampToInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

std::optional<char32_t> scalarOf(const std::u16string& units) {
  if (units.size() == 1 && (units[0] < 0xD800 || units[0] > 0xDFFF)) return units[0];
  if (units.size() == 2 && units[0] >= 0xD800 && units[0] < 0xDC00 && units[1] >= 0xDC00 && units[1] <= 0xDFFF) {
    return 0x10000 + ((static_cast<char32_t>(units[0]) - 0xD800) << 10) + (units[1] - 0xDC00);
  }
  return std::nullopt;
}

std::string utf8(char32_t c) {
  std::string out;
  appendUtf8(out, c);
  return out;
}

std::string codePoint(char32_t c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
  return buffer;
}

}  // namespace

UinputEventSink::UinputEventSink(MainLoop& loop, UinputSinkOptions options)
    : loop_(loop), options_(std::move(options)), log_(options_.log) {}

UinputEventSink::~UinputEventSink() {
  if (settleTimer_ != 0) loop_.cancelTimer(settleTimer_);
  if (restoreTimer_ != 0) loop_.cancelTimer(restoreTimer_);
}

void UinputEventSink::log(const std::string& line) const {
  if (log_) log_(line);
}

bool UinputEventSink::prepare() {
  if (options_.write || device_.isOpen()) return true;
  const std::string error = device_.create(options_.devicePath);
  if (!error.empty()) {
    if (!openFailureLogged_) {
      log("Cannot create the virtual input device on " + options_.devicePath + " (" + error +
          "): synthesised events are dropped");
    }
    openFailureLogged_ = true;
    return false;
  }
  openFailureLogged_ = false;
  down_.clear();  // a new device holds nothing down
  chordModifiers_.clear();
  settling_ = true;
  if (settleTimer_ != 0) loop_.cancelTimer(settleTimer_);
  settleTimer_ = loop_.startTimer(settleTime, [this] { flushPending(); });
  return true;
}

void UinputEventSink::flushPending() {
  settleTimer_ = 0;
  settling_ = false;
  if (!pending_.empty()) device_.write(pending_);
  pending_.clear();
}

bool UinputEventSink::post(const SynthEvent& event) {
  if (!prepare()) return false;
  out_.clear();
  const bool ok = std::visit(Overloaded{
                                 [&](const KeyEvent& e) { return postKey(e); },
                                 [&](const FlagsChangedEvent& e) { return postFlagsChanged(e); },
                                 [&](const MouseButtonEvent& e) { return postMouseButton(e); },
                                 [&](const ScrollEvent& e) { return postScroll(e); },
                                 [&](const UnicodeKeyEvent& e) { return postText(e); },
                                 [&](const MediaKeyEvent& e) { return postMedia(e); },
                             },
                             event);
  return emit() && ok;
}

bool UinputEventSink::emit() {
  if (out_.empty()) return true;
  if (options_.write) return options_.write(out_);
  if (settling_) {
    pending_.insert(pending_.end(), out_.begin(), out_.end());
    return true;
  }
  return device_.write(out_);
}

bool UinputEventSink::accessibilityGranted() {
  return options_.write || device_.isOpen() || UinputDevice::writable(options_.devicePath);
}

void UinputEventSink::requestAccessibility() {
  if (accessibilityGranted()) return;
  log("Posting events needs write access to " + options_.devicePath +
      ": install Tandemo's udev rule, then log out and in again");
}

// ---- modifiers ----

std::set<std::uint16_t> UinputEventSink::modifiersFor(std::uint64_t flags) const {
  std::set<std::uint16_t> keys;
  for (const ModifierKeys& modifier : modifierKeys()) {
    if ((flags & modifier.flag) == 0) continue;
    const bool rightOnly = down_.contains(modifier.right) && !down_.contains(modifier.left);
    keys.insert(rightOnly ? modifier.right : modifier.left);
  }
  return keys;
}

std::set<std::uint16_t> UinputEventSink::downModifiers() const {
  std::set<std::uint16_t> keys;
  for (std::uint16_t code : down_) {
    if (flagOfModifierKey(code) != 0) keys.insert(code);
  }
  return keys;
}

std::set<std::uint16_t> UinputEventSink::resting() const {
  std::set<std::uint16_t> keys = heldModifiers_;
  for (const auto& [key, modifiers] : chordModifiers_) keys.insert(modifiers.begin(), modifiers.end());
  return keys;
}

std::set<std::uint16_t> UinputEventSink::heldModifierKeys() const { return downModifiers(); }

// Releases before presses, then one report, so the key that follows sees the new state.
void UinputEventSink::setModifiers(const std::set<std::uint16_t>& target) {
  bool changed = false;
  for (std::uint16_t code : downModifiers()) {
    if (!target.contains(code)) {
      key(code, false);
      changed = true;
    }
  }
  for (std::uint16_t code : target) {
    if (!down_.contains(code)) {
      key(code, true);
      changed = true;
    }
  }
  if (changed) syn();
}

void UinputEventSink::key(std::uint16_t code, bool down) {
  out_.push_back({EV_KEY, code, down ? 1 : 0});
  if (down) {
    down_.insert(code);
  } else {
    down_.erase(code);
  }
}

void UinputEventSink::syn() { out_.push_back({EV_SYN, SYN_REPORT, 0}); }

// ---- events ----

bool UinputEventSink::postKey(const KeyEvent& event) {
  const auto code = linuxKeyForHostKeyCode(event.keyCode);
  if (!code) return false;
  if (flagOfModifierKey(*code) != 0) {  // a chord of a modifier key alone: held like the mouse's own
    if (event.down) {
      heldModifiers_.insert(*code);
    } else {
      heldModifiers_.erase(*code);
    }
    setModifiers(resting());
    return true;
  }
  const std::set<std::uint16_t> needed = modifiersFor(event.flags);
  std::set<std::uint16_t> target = needed;
  if (event.flagsMode == FlagsMode::addToOwn) target.merge(downModifiers());
  setModifiers(target);
  key(*code, event.down);
  syn();
  if (event.down && event.flagsMode == FlagsMode::replace) {
    std::set<std::uint16_t> added;
    std::set_difference(needed.begin(), needed.end(), heldModifiers_.begin(), heldModifiers_.end(),
                        std::inserter(added, added.end()));
    chordModifiers_[*code] = std::move(added);  // held with the key, so its repeats keep them
  } else if (!event.down) {
    chordModifiers_.erase(*code);
  }
  setModifiers(resting());
  return true;
}

// The event's flags are the whole truth: a modifier whose flag is gone is released even when
// its own key was not the one that changed (left and right share a flag).
bool UinputEventSink::postFlagsChanged(const FlagsChangedEvent& event) {
  const auto code = linuxKeyForHostKeyCode(event.keyCode);
  if (!code || flagOfModifierKey(*code) == 0) return false;
  if (event.down) {
    heldModifiers_.insert(*code);
  } else {
    heldModifiers_.erase(*code);
  }
  std::erase_if(heldModifiers_, [&](std::uint16_t held) { return (event.flags & flagOfModifierKey(held)) == 0; });
  setModifiers(resting());
  return true;
}

bool UinputEventSink::postMouseButton(const MouseButtonEvent& event) {
  const auto code = linuxButtonForEventButton(event.button);
  if (!code) {
    if (!highButtonsLogged_) {
      log("Mouse button " + std::to_string(event.button + 1) +
          " was not posted: Linux desktops know mouse buttons 1 to 16 only");
    }
    highButtonsLogged_ = true;
    return false;
  }
  std::set<std::uint16_t> target = modifiersFor(event.flags);
  if (event.flagsMode == FlagsMode::addToOwn) target.merge(downModifiers());
  setModifiers(target);
  key(*code, event.type == 1 || event.type == 3 || event.type == 25);
  syn();
  setModifiers(resting());
  return true;
}

// Wheel 1 positive scrolls up as REL_WHEEL does; wheel 2 positive scrolls left, REL_HWHEEL right.
bool UinputEventSink::postScroll(const ScrollEvent& event) {
  const std::int64_t vertical = event.wheel1;
  const std::int64_t horizontal = -static_cast<std::int64_t>(event.wheel2);
  if (vertical != 0) {
    out_.push_back({EV_REL, REL_WHEEL, clampToInt32(vertical)});
    out_.push_back({EV_REL, REL_WHEEL_HI_RES, clampToInt32(vertical * kHighResolutionPerLine)});
  }
  if (horizontal != 0) {
    out_.push_back({EV_REL, REL_HWHEEL, clampToInt32(horizontal)});
    out_.push_back({EV_REL, REL_HWHEEL_HI_RES, clampToInt32(horizontal * kHighResolutionPerLine)});
  }
  if (!out_.empty()) syn();
  return true;
}

bool UinputEventSink::postMedia(const MediaKeyEvent& event) {
  const auto state = (event.data1 >> 8) & 0xFF;
  const auto code = linuxKeyForMediaKeyType(static_cast<std::int32_t>(event.data1 >> 16));
  if (!code || (state != 0x0A && state != 0x0B)) return false;
  key(*code, state == 0x0A);
  syn();
  return true;
}

// The whole stroke goes with the key-down; the key-up has nothing left to do.
bool UinputEventSink::postText(const UnicodeKeyEvent& event) {
  if (!event.down) return true;
  const auto c = scalarOf(event.text);
  if (!c) return false;
  if (const XkbText* layout = currentLayout()) {
    if (const auto stroke = layout->strokeFor(*c)) {
      setModifiers({stroke->modifiers.begin(), stroke->modifiers.end()});
      key(stroke->key, true);
      syn();
      key(stroke->key, false);
      syn();
      setModifiers(resting());
      return true;
    }
  }
  if (XTestTyper* x = xtest()) {
    // What this post built so far goes first, then the server takes the character.
    if (emit() && x->type(*c)) {
      out_.clear();
      if (restoreTimer_ != 0) loop_.cancelTimer(restoreTimer_);
      restoreTimer_ = loop_.startTimer(mappingHold, [this] {
        restoreTimer_ = 0;
        if (xtest_) xtest_->restoreMapping();
      });
      return true;
    }
    out_.clear();
  }
  if (untypeableLogged_.insert(*c).second) {
    log("Cannot type \"" + utf8(*c) + "\" (" + codePoint(*c) + "): the keyboard layout has no key for it" +
        (options_.useX11 && !xtest_ ? " and there is no X display to type it through" : ""));
  }
  return false;
}

// ---- layout and X ----

XTestTyper* UinputEventSink::xtest() {
  if (!options_.useX11) return nullptr;
  if (xtest_ && !xtest_->connected()) xtest_.reset();
  if (!xtest_ && (!xtestTriedAt_ || loop_.now() - *xtestTriedAt_ >= layoutRefresh)) {
    xtestTriedAt_ = loop_.now();
    xtest_ = XTestTyper::connect();
  }
  return xtest_.get();
}

const XkbText* UinputEventSink::currentLayout() {
  if (options_.layout) {
    if (!layoutRead_) layout_ = XkbText::fromNames(*options_.layout);
    layoutRead_ = true;
    return layout_ ? &*layout_ : nullptr;
  }
  const bool fromX = xtest() != nullptr;
  if (layoutRead_ && (!fromX || loop_.now() - layoutReadAt_ < layoutRefresh)) return layout_ ? &*layout_ : nullptr;
  layoutRead_ = true;
  layoutReadAt_ = loop_.now();
  std::optional<XkbText> fresh = fromX ? XkbText::fromX11(xtest_->connection()) : std::nullopt;
  if (!fresh) fresh = XkbText::fromEnvironment();
  if (fresh && (!layout_ || layout_->description() != fresh->description())) {
    log("Typing text in " + fresh->description());
  }
  layout_ = std::move(fresh);
  return layout_ ? &*layout_ : nullptr;
}

}  // namespace tandemo::linux_platform
