#include "model/Graphemes.h"

#include "model/GraphemeData.inc"
#include "core/Utf8.h"

#include <algorithm>
#include <iterator>

namespace tandemo {
namespace {

using detail::GraphemeProperty;
using P = GraphemeProperty;

GraphemeProperty propertyOf(char32_t cp) {
    if (cp < 0x80) {
        if (cp >= 0x20 && cp < 0x7F) return P::Other;
        if (cp == '\r') return P::CR;
        if (cp == '\n') return P::LF;
        return P::Control;
    }
    const auto* table = std::begin(detail::kGraphemeRanges);
    const auto* tableEnd = std::end(detail::kGraphemeRanges);
    // First range whose last >= cp; it contains cp only if first <= cp.
    const auto* it = std::lower_bound(table, tableEnd, cp,
        [](const detail::GraphemeRange& r, char32_t value) { return r.last < value; });
    if (it == tableEnd || it->first > cp) return P::Other;
    if (it->property == P::HangulSyllable) {
        // Precomposed syllables: every 28th one (no trailing consonant) is LV.
        return (cp - 0xAC00) % 28 == 0 ? P::LV : P::LVT;
    }
    return it->property;
}

bool isControlLike(GraphemeProperty p) {
    return p == P::Control || p == P::CR || p == P::LF;
}

// Tracks the left context needed by the rules that look past the previous
// code point (emoji ZWJ sequences, regional indicator pairing).
class BreakState {
public:
    explicit BreakState(GraphemeProperty first) { advance(first); }

    // Returns whether there is a cluster boundary before `cur`, then moves past it.
    bool breakBefore(GraphemeProperty cur) {
        const bool result = isBoundary(cur);
        advance(cur);
        return result;
    }

private:
    bool isBoundary(GraphemeProperty cur) const {
        const P prev = prev_;
        if (prev == P::CR && cur == P::LF) return false;                       // GB3
        if (isControlLike(prev) || isControlLike(cur)) return true;            // GB4, GB5
        if (prev == P::L &&
            (cur == P::L || cur == P::V || cur == P::LV || cur == P::LVT))     // GB6
            return false;
        if ((prev == P::LV || prev == P::V) && (cur == P::V || cur == P::T))   // GB7
            return false;
        if ((prev == P::LVT || prev == P::T) && cur == P::T) return false;     // GB8
        if (cur == P::Extend || cur == P::ZWJ) return false;                   // GB9
        if (cur == P::SpacingMark) return false;                               // GB9a
        if (prev == P::Prepend) return false;                                  // GB9b
        if (cur == P::ExtPict && pictZwj_) return false;                       // GB11
        if (cur == P::RegionalIndicator && riOdd_) return false;               // GB12, GB13
        return true;                                                           // GB999
    }

    void advance(GraphemeProperty cur) {
        // pictZwj_: prev is ZWJ preceded by ExtPict Extend*.
        pictZwj_ = cur == P::ZWJ && pictRun_;
        // pictRun_: the text so far ends with ExtPict Extend*.
        pictRun_ = cur == P::ExtPict || (cur == P::Extend && pictRun_);
        // riOdd_: the text ends with an odd number of regional indicators.
        riOdd_ = cur == P::RegionalIndicator && !riOdd_;
        prev_ = cur;
    }

    GraphemeProperty prev_ = P::Other;
    bool pictRun_ = false;
    bool pictZwj_ = false;
    bool riOdd_ = false;
};

}  // namespace

std::size_t countGraphemes(std::string_view utf8, std::size_t limit) {
    if (utf8.empty() || limit == 0) return 0;

    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();

    BreakState state(propertyOf(decodeUtf8(p, end).value_or(kReplacementCharacter)));  // GB1: sot ÷
    std::size_t count = 1;
    while (count < limit && p < end) {
        if (state.breakBefore(propertyOf(decodeUtf8(p, end).value_or(kReplacementCharacter)))) ++count;
    }
    return count;  // GB2: ÷ eot closes the last cluster
}

}  // namespace tandemo
