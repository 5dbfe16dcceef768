#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

#include "core/VirtualLoop.h"
#include "linux/UinputEventSink.h"
#include "linux/XTestTyper.h"
#include "linux/XkbText.h"

namespace tandemo::linux_platform {
namespace {

// Runs only where an X server is there (e.g. under xvfb-run); skipped otherwise.
class XTestTyperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    typer = XTestTyper::connect();
    if (!typer) GTEST_SKIP() << "no X display with XTest";
    client = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(client)) GTEST_SKIP() << "a second X client could not connect";
  }
  void TearDown() override {
    if (client != nullptr) xcb_disconnect(client);
  }
  void roundTrip() { std::free(xcb_get_input_focus_reply(client, xcb_get_input_focus(client), nullptr)); }
  std::uint32_t keysymOf(xcb_keycode_t keycode) {
    auto* reply = xcb_get_keyboard_mapping_reply(client, xcb_get_keyboard_mapping(client, keycode, 1), nullptr);
    const std::uint32_t sym = reply && reply->keysyms_per_keycode ? xcb_get_keyboard_mapping_keysyms(reply)[0] : 0;
    std::free(reply);
    return sym;
  }
  // A focused window of our own that receives the typed keys.
  void focusWindow() {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(client)).data;
    const xcb_window_t window = xcb_generate_id(client);
    const std::uint32_t mask = XCB_EVENT_MASK_KEY_PRESS;
    xcb_create_window(client, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &mask);
    xcb_map_window(client, window);
    roundTrip();
    xcb_set_input_focus(client, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    roundTrip();
  }

  xcb_keycode_t takePressedKey() {
    roundTrip();
    xcb_keycode_t pressed = 0;
    while (xcb_generic_event_t* event = xcb_poll_for_event(client)) {
      if ((event->response_type & 0x7F) == XCB_KEY_PRESS) {
        pressed = reinterpret_cast<xcb_key_press_event_t*>(event)->detail;
      }
      std::free(event);
    }
    return pressed;
  }

  std::unique_ptr<XTestTyper> typer;
  xcb_connection_t* client = nullptr;
};

TEST_F(XTestTyperTest, TypesOnABorrowedKeycodeAndGivesItBack) {
  const auto layout = XkbText::fromX11(typer->connection());
  ASSERT_TRUE(layout.has_value());
  EXPECT_EQ(layout->strokeFor(U'a'), (KeyStroke{KEY_A, {}}));
  EXPECT_FALSE(layout->strokeFor(U'\u2603').has_value());

  focusWindow();
  ASSERT_TRUE(typer->type(U'\u2603'));  // ☃, on no layout's keys
  const xcb_keycode_t pressed = takePressedKey();
  ASSERT_NE(pressed, 0);
  EXPECT_EQ(keysymOf(pressed), 0x1002603U);  // the Unicode keysym of U+2603
  EXPECT_TRUE(typer->mappingBorrowed());
  typer->restoreMapping();
  EXPECT_EQ(keysymOf(pressed), 0U);
  EXPECT_FALSE(typer->mappingBorrowed());
}

// The sink types what the X server's layout has on its own device, the rest through X, and gives
// the borrowed keycode back a while after the last character.
TEST_F(XTestTyperTest, TheSinkTypesInTheServersLayoutAndFallsBackToX) {
  VirtualLoop loop;
  std::vector<InputEvent> written;
  std::vector<std::string> lines;
  UinputSinkOptions options;
  options.write = [&](std::span<const InputEvent> events) {
    written.insert(written.end(), events.begin(), events.end());
    return true;
  };
  options.log = [&](const std::string& line) { lines.push_back(line); };
  UinputEventSink sink{loop, options};
  focusWindow();
  EXPECT_TRUE(sink.post(UnicodeKeyEvent{true, u"a"}));
  EXPECT_TRUE(sink.post(UnicodeKeyEvent{true, u"\u2603"}));
  EXPECT_EQ(written, (std::vector<InputEvent>{{EV_KEY, KEY_A, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_A, 0},
                                              {EV_SYN, SYN_REPORT, 0}}));
  ASSERT_FALSE(lines.empty());
  if (lines[0].find("environment") != std::string::npos) GTEST_SKIP() << "the sink could not reach the X server";
  EXPECT_EQ(lines[0].rfind("Typing text in the X server's layout", 0), 0U) << lines[0];
  const xcb_keycode_t pressed = takePressedKey();
  ASSERT_NE(pressed, 0);
  EXPECT_EQ(keysymOf(pressed), 0x1002603U);
  loop.advance(UinputEventSink::mappingHold);
  EXPECT_EQ(keysymOf(pressed), 0U);
}

}  // namespace
}  // namespace tandemo::linux_platform
