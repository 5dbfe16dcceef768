#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tandemo {

// A 128-bit identifier, written as 8-4-4-4-12 upper-case hexadecimal digits.
class Uuid {
 public:
  Uuid() = default;
  explicit Uuid(const std::array<std::uint8_t, 16>& bytes) : bytes_(bytes) {}

  // A fresh random (version 4, RFC 4122 variant) identifier.
  static Uuid random();
  // Accepts exactly 36 characters in 8-4-4-4-12 groups, hexadecimal digits in either case.
  static std::optional<Uuid> parse(std::string_view text);

  std::string string() const;
  const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

  auto operator<=>(const Uuid&) const = default;

 private:
  std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace tandemo
