#pragma once

// The settings document: the whole AppState as one JSON object.

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

// Pretty-printed, every object's keys in ascending order, button-keyed pairs in case order,
// so that equal states always give identical text.
std::string encodeState(const AppState& state);

// Decodes by the settings-file rules; any broken rule fails the whole document.
Expected<AppState, DecodeError> decodeState(std::string_view text);

}  // namespace tandemo
