#pragma once

#include <optional>
#include <string>

namespace tandemo {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes one Unicode scalar from [p, end), p < end, and advances p past it. An ill-formed
// sequence (overlong, surrogate, beyond U+10FFFF, truncated) yields nothing and consumes only
// its first byte, so every invalid byte counts once.
std::optional<char32_t> decodeUtf8(const unsigned char*& p, const unsigned char* end);

// Appends the UTF-8 bytes of the scalar `c` (at most U+10FFFF, no surrogate) to `out`.
void appendUtf8(std::string& out, char32_t c);

}  // namespace tandemo
