#include "model/Graphemes.h"

#include "model/GraphemeData.inc"

#include <gtest/gtest.h>

#include <initializer_list>
#include <iterator>
#include <string>

using tandemo::countGraphemes;

namespace {

// Builds UTF-8 from code points so test inputs do not depend on the
// compiler's execution character set.
std::string u(std::initializer_list<char32_t> codePoints) {
    std::string s;
    for (char32_t c : codePoints) {
        if (c < 0x80) {
            s += static_cast<char>(c);
        } else if (c < 0x800) {
            s += static_cast<char>(0xC0 | (c >> 6));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            s += static_cast<char>(0xE0 | (c >> 12));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (c >> 18));
            s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return s;
}

constexpr char32_t kZwj = 0x200D;
constexpr char32_t kVs16 = 0xFE0F;
constexpr char32_t kAcute = 0x0301;
constexpr char32_t kRiF = 0x1F1EB, kRiR = 0x1F1F7, kRiD = 0x1F1E9, kRiE = 0x1F1EA;

}  // namespace

TEST(Graphemes, AsciiAndEmpty) {
    EXPECT_EQ(countGraphemes(""), 0u);
    EXPECT_EQ(countGraphemes("a"), 1u);
    EXPECT_EQ(countGraphemes("hello world"), 11u);
    EXPECT_EQ(countGraphemes("\t\x01\x7F"), 3u);
    EXPECT_EQ(countGraphemes(std::string_view("a\0b", 3)), 3u);
}

TEST(Graphemes, LineBreaks) {
    EXPECT_EQ(countGraphemes("\r\n"), 1u);
    EXPECT_EQ(countGraphemes("\n\r"), 2u);
    EXPECT_EQ(countGraphemes("\r\r\n"), 2u);
    EXPECT_EQ(countGraphemes("a\r\nb"), 3u);
    // Controls are never extended, not even by combining marks or ZWJ.
    EXPECT_EQ(countGraphemes(u({'\r', kAcute})), 2u);
    EXPECT_EQ(countGraphemes(u({'\n', kZwj})), 2u);
    EXPECT_EQ(countGraphemes(u({0x00AD, kAcute})), 2u);  // soft hyphen is a control
    EXPECT_EQ(countGraphemes(u({0x7F, kAcute})), 2u);
}

TEST(Graphemes, CombiningMarksAndPrecomposed) {
    EXPECT_EQ(countGraphemes(u({'e', kAcute})), 1u);
    EXPECT_EQ(countGraphemes(u({'e', kAcute, 0x0308, 0x0323})), 1u);
    EXPECT_EQ(countGraphemes(u({0x00E9})), 1u);
    EXPECT_EQ(countGraphemes(u({0x00E9, 'e', kAcute})), 2u);
    EXPECT_EQ(countGraphemes(u({kAcute})), 1u);  // a lone mark is its own cluster
    EXPECT_EQ(countGraphemes(u({kAcute, 'a'})), 2u);
}

TEST(Graphemes, SpacingMarksAndPrepend) {
    EXPECT_EQ(countGraphemes(u({0x0915, 0x093F})), 1u);          // Devanagari KA + vowel sign I
    EXPECT_EQ(countGraphemes(u({0x0600, 0x0661, 0x0662})), 2u);  // Arabic number sign joins the next
    EXPECT_EQ(countGraphemes(u({0x0600, '\n'})), 2u);            // but never a control
    EXPECT_EQ(countGraphemes(u({0x0600})), 1u);
    // No conjunct rule in Unicode 15.0: virama + consonant starts a new cluster.
    EXPECT_EQ(countGraphemes(u({0x0915, 0x094D, 0x0937})), 2u);
}

TEST(Graphemes, Hangul) {
    EXPECT_EQ(countGraphemes(u({0x1100, 0x1161, 0x11A8})), 1u);  // L V T
    EXPECT_EQ(countGraphemes(u({0x1100, 0x1100, 0x1161})), 1u);  // L L V
    EXPECT_EQ(countGraphemes(u({0x1100, 0xAC00})), 1u);          // L LV
    EXPECT_EQ(countGraphemes(u({0x1100, 0xAC01})), 1u);          // L LVT
    EXPECT_EQ(countGraphemes(u({0xAC00, 0x1161, 0x11A8})), 1u);  // LV V T
    EXPECT_EQ(countGraphemes(u({0xAC01, 0x11A8})), 1u);          // LVT T
    EXPECT_EQ(countGraphemes(u({0xAC01, 0x1161})), 2u);          // LVT does not take V
    EXPECT_EQ(countGraphemes(u({0xD7A3, 0x1161})), 2u);          // last syllable is LVT
    EXPECT_EQ(countGraphemes(u({0xD788, 0x1161})), 1u);          // last LV syllable
    EXPECT_EQ(countGraphemes(u({0x11A8, 0x1100})), 2u);          // T L
    EXPECT_EQ(countGraphemes(u({0xD55C, 0xAD6D})), 2u);          // two precomposed syllables
}

TEST(Graphemes, EmojiZwjSequences) {
    EXPECT_EQ(countGraphemes(u({0x1F468, kZwj, 0x1F469, kZwj, 0x1F467, kZwj, 0x1F466})), 1u);
    EXPECT_EQ(countGraphemes(u({0x1F3F3, kVs16, kZwj, 0x1F308})), 1u);   // rainbow flag
    EXPECT_EQ(countGraphemes(u({0x1F469, 0x1F3FD, kZwj, 0x1F4BB})), 1u);  // Extend before ZWJ
    EXPECT_EQ(countGraphemes(u({0x2764, kVs16})), 1u);
    // The joined-to side must also be pictographic, and only one ZWJ may sit between.
    EXPECT_EQ(countGraphemes(u({'a', kZwj, 0x1F469})), 2u);
    EXPECT_EQ(countGraphemes(u({0x1F469, kZwj, 'a'})), 2u);
    EXPECT_EQ(countGraphemes(u({0x1F469, kZwj, kZwj, 0x1F469})), 2u);
    EXPECT_EQ(countGraphemes(u({'a', kZwj, 'b'})), 2u);
    EXPECT_EQ(countGraphemes(u({0x1F469, 0x1F469})), 2u);
    // A trailing ZWJ stays in the cluster.
    EXPECT_EQ(countGraphemes(u({0x1F469, kZwj})), 1u);
}

TEST(Graphemes, RegionalIndicatorFlags) {
    EXPECT_EQ(countGraphemes(u({kRiF, kRiR})), 1u);
    EXPECT_EQ(countGraphemes(u({kRiF, kRiR, kRiD, kRiE})), 2u);
    EXPECT_EQ(countGraphemes(u({kRiF, kRiR, kRiD})), 2u);
    EXPECT_EQ(countGraphemes(u({kRiF, kRiR, kRiD, kRiE, kRiF})), 3u);
    EXPECT_EQ(countGraphemes(u({kRiF})), 1u);
    // Pairing restarts after any non-indicator.
    EXPECT_EQ(countGraphemes(u({kRiF, 'a', kRiR, kRiD})), 3u);
    EXPECT_EQ(countGraphemes(u({kRiF, kAcute, kRiR, kRiD})), 2u);
    EXPECT_EQ(countGraphemes(u({'a', kRiF, kRiR})), 2u);
}

TEST(Graphemes, ModifiersAndKeycaps) {
    EXPECT_EQ(countGraphemes(u({0x1F44D, 0x1F3FD})), 1u);
    EXPECT_EQ(countGraphemes(u({0x1F3FD})), 1u);
    EXPECT_EQ(countGraphemes(u({'1', kVs16, 0x20E3})), 1u);
    EXPECT_EQ(countGraphemes(u({'#', kVs16, 0x20E3})), 1u);
    EXPECT_EQ(countGraphemes(u({0x00A9, kVs16})), 1u);  // pictographic outside the emoji planes
}

TEST(Graphemes, EmojiMixedWithText) {
    EXPECT_EQ(countGraphemes(u({'h', 'i', ' ', 0x1F44B})), 4u);
    EXPECT_EQ(countGraphemes(u({0x1F44D, 0x1F3FD, 'o', 'k', kRiF, kRiR})), 4u);
}

TEST(Graphemes, InvalidUtf8CountsEachByte) {
    EXPECT_EQ(countGraphemes("\xFF"), 1u);
    EXPECT_EQ(countGraphemes("\x80\x80"), 2u);                // stray continuations
    EXPECT_EQ(countGraphemes("\xC0\xAF"), 2u);                // overlong '/'
    EXPECT_EQ(countGraphemes("\xE0\x80\xAF"), 3u);            // overlong 3-byte
    EXPECT_EQ(countGraphemes("\xF0\x80\x80\xAF"), 4u);        // overlong 4-byte
    EXPECT_EQ(countGraphemes("\xED\xA0\x80"), 3u);            // surrogate
    EXPECT_EQ(countGraphemes("\xF4\x90\x80\x80"), 4u);        // above U+10FFFF
    // Boundary values just inside the valid ranges decode normally.
    EXPECT_EQ(countGraphemes("\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"), 5u);
}

TEST(Graphemes, TruncatedSequences) {
    EXPECT_EQ(countGraphemes("\xE2\x82"), 2u);
    EXPECT_EQ(countGraphemes("\xF0\x9F\x98"), 3u);
    EXPECT_EQ(countGraphemes("\xF0\x9F\x98" "a"), 4u);
    EXPECT_EQ(countGraphemes("e\xCC"), 2u);
    // A replacement character is an ordinary base: a following mark joins it.
    EXPECT_EQ(countGraphemes("\xFF\xCC\x81"), 1u);
    // A valid sequence right after a truncated one is still recognised.
    EXPECT_EQ(countGraphemes("\xE2\xF0\x9F\x91\x8D"), 2u);
}

TEST(Graphemes, LimitStopsEarly) {
    const std::string family = u({0x1F468, kZwj, 0x1F469, kZwj, 0x1F467});
    EXPECT_EQ(countGraphemes("abc", 0), 0u);
    EXPECT_EQ(countGraphemes("abc", 1), 1u);
    EXPECT_EQ(countGraphemes("abc", 2), 2u);
    EXPECT_EQ(countGraphemes("abc", 100), 3u);
    EXPECT_EQ(countGraphemes("", 1), 0u);
    // The "at most one character" check.
    EXPECT_EQ(countGraphemes(family, 2), 1u);
    EXPECT_EQ(countGraphemes(family + "x", 2), 2u);
    EXPECT_EQ(countGraphemes(u({kRiF, kRiR, kRiD}), 2), 2u);
    EXPECT_EQ(countGraphemes(std::string(1'000'000, 'a'), 2), 2u);
}

TEST(Graphemes, ArbitraryBytesAreBounded) {
    // Every two-byte input yields one or two clusters, read strictly in bounds
    // (the buffer is sized exactly so sanitizers catch overreads).
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const char bytes[2] = {static_cast<char>(a), static_cast<char>(b)};
            const std::size_t n = countGraphemes(std::string_view(bytes, 2));
            ASSERT_GE(n, 1u) << a << ' ' << b;
            ASSERT_LE(n, 2u) << a << ' ' << b;
        }
    }
}

TEST(Graphemes, GeneratedTableIsWellFormed) {
    using tandemo::detail::GraphemeProperty;
    const auto& table = tandemo::detail::kGraphemeRanges;
    ASSERT_GT(std::size(table), 0u);
    for (std::size_t i = 0; i < std::size(table); ++i) {
        EXPECT_LE(table[i].first, table[i].last) << i;
        EXPECT_LE(table[i].last, 0x10FFFFu) << i;
        EXPECT_NE(table[i].property, GraphemeProperty::Other) << i;
        if (i > 0) {
            EXPECT_LT(table[i - 1].last, table[i].first) << i;
            const bool adjacent = table[i - 1].last + 1 == table[i].first;
            EXPECT_FALSE(adjacent && table[i - 1].property == table[i].property) << "unmerged at " << i;
        }
    }
}
