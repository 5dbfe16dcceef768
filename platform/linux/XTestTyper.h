#pragma once

// Types characters the keyboard layout cannot produce through the X server's XTest extension:
// a spare keycode is mapped to the character's keysym for the moment, pressed and released.
// Up to eight characters keep a keycode of their own until the mapping is given back.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct xcb_connection_t;

namespace tandemo::linux_platform {

class XTestTyper {
 public:
  // Connects to $DISPLAY; none without a display, without XTest or without a spare keycode.
  static std::unique_ptr<XTestTyper> connect();
  ~XTestTyper();
  XTestTyper(const XTestTyper&) = delete;
  XTestTyper& operator=(const XTestTyper&) = delete;

  xcb_connection_t* connection() const { return connection_; }
  // False once the connection broke (the X server went away).
  bool connected() const;
  // Maps the spare keycode to `c` and types it; false when the server refused or `c` has no keysym.
  // The server has handled the key when this returns, so later input comes after it.
  bool type(char32_t c);
  // Gives the spare keycode its empty mapping back. Called a while after the last type(): a
  // client that reads the mapping late must still find the character there.
  void restoreMapping();
  bool mappingBorrowed() const;

 private:
  struct Spare {
    std::uint8_t keycode;
    std::uint32_t keysym = 0;  // 0: the keycode has its empty mapping
  };
  XTestTyper(xcb_connection_t* connection, std::vector<Spare> spares, std::uint8_t keysymsPerKeycode)
      : connection_(connection), spares_(std::move(spares)), keysymsPerKeycode_(keysymsPerKeycode) {}
  bool setMapping(Spare& spare, std::uint32_t keysym);

  xcb_connection_t* connection_;
  std::vector<Spare> spares_;
  std::uint8_t keysymsPerKeycode_;
  std::size_t next_ = 0;  // the spare to take for a new character, round robin
};

}  // namespace tandemo::linux_platform
