#pragma once

#include <ostream>

#include "runtime/Events.h"

namespace tandemo {

// Failures show events as their log line instead of raw bytes.
inline void PrintTo(const SynthEvent& event, std::ostream* out) { *out << describeEvent(event); }
inline void PrintTo(const KeyEvent& event, std::ostream* out) { PrintTo(SynthEvent(event), out); }
inline void PrintTo(const FlagsChangedEvent& event, std::ostream* out) { PrintTo(SynthEvent(event), out); }
inline void PrintTo(const MouseButtonEvent& event, std::ostream* out) { PrintTo(SynthEvent(event), out); }
inline void PrintTo(const ScrollEvent& event, std::ostream* out) { PrintTo(SynthEvent(event), out); }
inline void PrintTo(const UnicodeKeyEvent& event, std::ostream* out) { PrintTo(SynthEvent(event), out); }
inline void PrintTo(const MediaKeyEvent& event, std::ostream* out) { PrintTo(SynthEvent(event), out); }

}  // namespace tandemo
