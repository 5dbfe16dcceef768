#include "linux/XTestTyper.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

namespace tandemo::linux_platform {
namespace {

template <class Reply>
struct ReplyFree { void operator()(Reply* reply) const { std::free(reply); } };
template <class Reply>
using ReplyPtr = std::unique_ptr<Reply, ReplyFree<Reply>>;

constexpr std::size_t kMaxSpares = 8;

// Keycodes without any keysym, highest first: the least likely to be on a real keyboard.
std::vector<std::uint8_t> spareKeycodes(xcb_connection_t* connection, std::uint8_t& keysymsPerKeycode) {
  const xcb_setup_t* setup = xcb_get_setup(connection);
  const std::uint8_t first = setup->min_keycode;
  const auto count = static_cast<std::uint8_t>(setup->max_keycode - first + 1);
  ReplyPtr<xcb_get_keyboard_mapping_reply_t> reply(
      xcb_get_keyboard_mapping_reply(connection, xcb_get_keyboard_mapping(connection, first, count), nullptr));
  std::vector<std::uint8_t> spares;
  if (!reply || reply->keysyms_per_keycode == 0) return spares;
  keysymsPerKeycode = reply->keysyms_per_keycode;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
  for (int index = count - 1; index >= 0 && spares.size() < kMaxSpares; --index) {
    const xcb_keysym_t* row = syms + index * keysymsPerKeycode;
    if (std::all_of(row, row + keysymsPerKeycode, [](xcb_keysym_t sym) { return sym == 0; })) {
      spares.push_back(static_cast<std::uint8_t>(first + index));
    }
  }
  return spares;
}

// A round trip: the server has processed every request sent before it.
bool sync(xcb_connection_t* connection) {
  ReplyPtr<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  return reply != nullptr;
}

}  // namespace

std::unique_ptr<XTestTyper> XTestTyper::connect() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return nullptr;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return nullptr;
  }
  const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection, &xcb_test_id);
  std::uint8_t keysymsPerKeycode = 0;
  std::vector<Spare> spares;
  if (xtest && xtest->present) {
    for (std::uint8_t keycode : spareKeycodes(connection, keysymsPerKeycode)) spares.push_back({keycode});
  }
  if (spares.empty()) {
    xcb_disconnect(connection);
    return nullptr;
  }
  return std::unique_ptr<XTestTyper>(new XTestTyper(connection, std::move(spares), keysymsPerKeycode));
}

XTestTyper::~XTestTyper() {
  restoreMapping();
  xcb_disconnect(connection_);
}

bool XTestTyper::setMapping(Spare& spare, std::uint32_t keysym) {
  std::vector<xcb_keysym_t> syms(keysymsPerKeycode_, 0);
  syms[0] = keysym;  // both shift levels, so a held Shift changes nothing
  if (syms.size() > 1) syms[1] = keysym;
  const xcb_void_cookie_t cookie =
      xcb_change_keyboard_mapping_checked(connection_, 1, spare.keycode, keysymsPerKeycode_, syms.data());
  ReplyPtr<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
  if (error) return false;
  spare.keysym = keysym;
  return true;
}

bool XTestTyper::type(char32_t c) {
  const xkb_keysym_t keysym = xkb_utf32_to_keysym(c);
  if (keysym == XKB_KEY_NoSymbol || xcb_connection_has_error(connection_)) return false;
  auto spare = std::find_if(spares_.begin(), spares_.end(), [&](const Spare& s) { return s.keysym == keysym; });
  if (spare == spares_.end()) {
    spare = spares_.begin() + static_cast<std::ptrdiff_t>(next_);
    next_ = (next_ + 1) % spares_.size();
    if (!setMapping(*spare, keysym)) return false;
  }
  xcb_test_fake_input(connection_, XCB_KEY_PRESS, spare->keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  xcb_test_fake_input(connection_, XCB_KEY_RELEASE, spare->keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  return sync(connection_);
}

void XTestTyper::restoreMapping() {
  if (xcb_connection_has_error(connection_)) return;
  for (Spare& spare : spares_) {
    if (spare.keysym != 0) setMapping(spare, 0);
  }
  next_ = 0;
}

bool XTestTyper::connected() const { return xcb_connection_has_error(connection_) == 0; }

bool XTestTyper::mappingBorrowed() const {
  return std::any_of(spares_.begin(), spares_.end(), [](const Spare& s) { return s.keysym != 0; });
}

}  // namespace tandemo::linux_platform
