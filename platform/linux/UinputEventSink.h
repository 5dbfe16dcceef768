#pragma once

// The event sink on Linux: one virtual input device on /dev/uinput. Around each key and button
// it presses or releases the modifiers it holds itself (the mouse's own, a held chord's) so the
// receiver sees the event's flags; modifiers on the user's own keyboard stay as they are.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "core/MainLoop.h"
#include "linux/UinputDevice.h"
#include "linux/XkbText.h"
#include "runtime/Events.h"

namespace tandemo::linux_platform {

class XTestTyper;

struct UinputSinkOptions {
  std::string devicePath = "/dev/uinput";
  std::function<void(const std::string&)> log;
  // Set: events go here instead of a virtual device, and nothing is opened (tests).
  std::function<bool(std::span<const InputEvent>)> write;
  // Set: text is typed in this layout. Otherwise the X server's layout, else the environment's.
  std::optional<XkbNames> layout;
  // False: no X display is used even where $DISPLAY is set.
  bool useX11 = true;
};

class UinputEventSink final : public EventSink {
 public:
  using Log = std::function<void(const std::string&)>;
  // Events wait this long after the device is created, until the desktop has opened it.
  static constexpr std::chrono::milliseconds settleTime{300};
  // Characters typed through a borrowed X keycode keep it this long after the last one.
  static constexpr std::chrono::milliseconds mappingHold{1000};
  // The X server's layout is read again when text comes after this long (the user may switch);
  // a display that could not be reached is tried again after as long.
  static constexpr std::chrono::seconds layoutRefresh{2};

  explicit UinputEventSink(MainLoop& loop, UinputSinkOptions options = {});
  ~UinputEventSink() override;
  UinputEventSink(const UinputEventSink&) = delete;
  UinputEventSink& operator=(const UinputEventSink&) = delete;

  // False when the device cannot be opened (logged once until it works again) or the event has
  // no Linux counterpart: a host key code outside the key table, mouse button 17 and up (logged
  // once), an unknown media key, or a character neither the layout nor X can type (logged once).
  bool post(const SynthEvent& event) override;
  // Events act at the pointer wherever it is; the position is not needed and not read.
  std::optional<Point> cursor() override { return std::nullopt; }
  // Whether /dev/uinput can be opened for writing.
  bool accessibilityGranted() override;
  // Linux has no prompt for it: logs what gives the permission.
  void requestAccessibility() override;

  void setLog(Log log) { log_ = std::move(log); }
  // Creates the device now, so the desktop knows it before the first event (the first post
  // does it otherwise). False when it cannot be created.
  bool prepare();
  // The modifier keys (Linux key codes) the device holds down.
  std::set<std::uint16_t> heldModifierKeys() const;

 private:
  bool postKey(const KeyEvent& event);
  bool postFlagsChanged(const FlagsChangedEvent& event);
  bool postMouseButton(const MouseButtonEvent& event);
  bool postScroll(const ScrollEvent& event);
  bool postText(const UnicodeKeyEvent& event);
  bool postMedia(const MediaKeyEvent& event);

  std::set<std::uint16_t> modifiersFor(std::uint64_t flags) const;
  std::set<std::uint16_t> downModifiers() const;
  std::set<std::uint16_t> resting() const;  // held by the mouse or by a held chord
  void setModifiers(const std::set<std::uint16_t>& target);
  void key(std::uint16_t code, bool down);
  void syn();
  bool emit();
  void flushPending();

  const XkbText* currentLayout();
  XTestTyper* xtest();
  void log(const std::string& line) const;

  MainLoop& loop_;
  UinputSinkOptions options_;
  Log log_;
  UinputDevice device_;
  bool openFailureLogged_ = false;
  bool settling_ = false;
  MainLoop::TimerId settleTimer_ = 0;
  std::vector<InputEvent> pending_;  // written once the new device has settled
  std::vector<InputEvent> out_;      // the events of the post being built

  std::set<std::uint16_t> down_;           // keys and buttons the device holds down
  std::set<std::uint16_t> heldModifiers_;  // the mouse's own, from flags-changed events
  std::map<std::uint16_t, std::set<std::uint16_t>> chordModifiers_;  // held key → modifiers it added

  std::optional<XkbText> layout_;
  bool layoutRead_ = false;
  MainLoop::TimePoint layoutReadAt_{};
  std::unique_ptr<XTestTyper> xtest_;
  std::optional<MainLoop::TimePoint> xtestTriedAt_;  // a failed connection is tried again later
  MainLoop::TimerId restoreTimer_ = 0;
  std::set<char32_t> untypeableLogged_;
  bool highButtonsLogged_ = false;
};

}  // namespace tandemo::linux_platform
