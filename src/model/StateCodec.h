#pragma once

// The settings document: the whole AppState as one JSON object.

#include <cstddef>
#include <string>
#include <string_view>

#include "core/Expected.h"
#include "model/AppState.h"

namespace tandemo {

// Where and why a document does not decode. `path` is a JSON path such as
// "profiles[1].actions[6]"; empty for the document itself.
struct DecodeError {
  std::string path;
  std::string reason;

  std::string describe() const;
};

// Documents nested deeper than this (arrays and objects) are refused.
inline constexpr std::size_t maxJsonDepth = 512;

// Pretty-printed, every object's keys in ascending order, button-keyed pairs in case order,
// so that equal states always give identical text.
std::string encodeState(const AppState& state);

// Decodes by the settings-file rules; any broken rule fails the whole document. The text must
// be UTF-8 JSON (a leading byte order mark is skipped); anything else fails with the reason.
Expected<AppState, DecodeError> decodeState(std::string_view text);

}  // namespace tandemo
