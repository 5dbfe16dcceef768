#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tandemo {

// Counts extended grapheme clusters (UAX #29, Unicode 15.0) in UTF-8 text,
// stopping early once `limit` is reached: returns min(cluster count, limit).
// Every byte that does not start a well-formed UTF-8 sequence (overlong forms,
// surrogates, values above U+10FFFF, stray or truncated bytes) counts as one
// U+FFFD. Never reads outside `utf8` and never allocates.
std::size_t countGraphemes(std::string_view utf8, std::size_t limit = SIZE_MAX);

}  // namespace tandemo
