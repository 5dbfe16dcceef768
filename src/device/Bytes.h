#pragma once

#include <cstdint>
#include <vector>

namespace tandemo::Rival500 {

// Appends the low 16 bits of value, least significant byte first.
inline void appendLE16(std::vector<std::uint8_t>& out, std::int64_t value) {
  const auto bits = static_cast<std::uint64_t>(value);
  out.push_back(static_cast<std::uint8_t>(bits & 0xFF));
  out.push_back(static_cast<std::uint8_t>((bits >> 8) & 0xFF));
}

}  // namespace tandemo::Rival500
