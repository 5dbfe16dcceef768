#include "core/Utf8.h"

#include <cstddef>

namespace tandemo {

std::optional<char32_t> decodeUtf8(const unsigned char*& p, const unsigned char* end) {
  const unsigned lead = *p++;
  if (lead < 0x80) return lead;
  std::size_t trail = 0;
  char32_t scalar = 0;
  unsigned lo = 0x80;  // the first continuation byte's range excludes overlongs and surrogates
  unsigned hi = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
    scalar = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    scalar = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    scalar = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return std::nullopt;
  }
  if (static_cast<std::size_t>(end - p) < trail) return std::nullopt;
  for (std::size_t i = 0; i < trail; ++i) {
    const unsigned byte = p[i];
    if (byte < lo || byte > hi) return std::nullopt;
    scalar = (scalar << 6) | (byte & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  p += trail;
  return scalar;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace tandemo
