#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "model/Graphemes.h"

namespace {

using tandemo::countGraphemes;

TEST(Graphemes, CountsClustersAsUsersSeeThem) {
  struct Row { std::string text; std::size_t count; std::size_t limit = SIZE_MAX; };
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467", fr = "\U0001F1EB\U0001F1F7";
  const Row rows[] = {
      {"", 0}, {"hello world", 11}, {"\r\n", 1}, {"\n\r", 2}, {"a\r\nb", 3},
      {"\r\u0301", 2}, {"\u00AD\u0301", 2},                      // controls take no marks
      {"e\u0301\u0308", 1}, {"\u00E9e\u0301", 2}, {"\u0301a", 2},  // combining marks; a lone mark
      {"\u0915\u093F", 1}, {"\u0915\u094D\u0937", 2},              // spacing mark; no conjunct rule
      {"\u0600\u0661\u0662", 2}, {"\u0600\n", 2},                  // prepend, but never to a control
      {"\u1100\u1161\u11A8", 1}, {"\u1100\uAC01", 1}, {"\uAC01\u1161", 2}, {"\uD788\u1161", 1}, {"\u11A8\u1100", 2},
      {family + "\u200D\U0001F466", 1}, {"\U0001F3F3\uFE0F\u200D\U0001F308", 1}, {"a\u200D\U0001F469", 2},
      {"\U0001F469\U0001F3FD\u200D\U0001F4BB", 1}, {"\U0001F469\u200D\u200D\U0001F469", 2}, {"\U0001F469\u200D", 1},
      {"\U0001F44D\U0001F3FD", 1}, {"1\uFE0F\u20E3", 1}, {"\u00A9\uFE0F", 1},
      {fr, 1}, {fr + "\U0001F1E9\U0001F1EA", 2}, {fr + "\U0001F1E9", 2}, {"\U0001F1EBa" + fr, 3},
      {"\U0001F1EB\u0301\U0001F1F7\U0001F1E9", 2}, {"\U0001F44D\U0001F3FDok" + fr, 4},
      // Each byte that starts no well-formed sequence is one U+FFFD.
      {"\xFF", 1}, {"\x80\x80", 2}, {"\xC0\xAF", 2}, {"\xE0\x80\xAF", 3}, {"\xF0\x80\x80\xAF", 4},
      {"\xED\xA0\x80", 3}, {"\xF4\x90\x80\x80", 4}, {"\xE2\x82", 2}, {"\xF0\x9F\x98" "a", 4},
      {"\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", 5},  // just inside each range
      {"\xFF\xCC\x81", 1}, {"\xE2\xF0\x9F\x91\x8D", 2},                          // U+FFFD takes a mark
      {"abc", 0, 0}, {"abc", 2, 2}, {family, 1, 2}, {family + "x", 2, 2}, {fr + "\U0001F1E9", 2, 2},
      {std::string(1'000'000, 'a'), 2, 2},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(countGraphemes(row.text, row.limit), row.count) << row.text.substr(0, 40) << " limit " << row.limit;
  }
  // Every two-byte input is one or two clusters.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const char bytes[2] = {static_cast<char>(a), static_cast<char>(b)};  // exact size: sanitizers see overreads
      const std::size_t n = countGraphemes(std::string_view(bytes, 2));
      ASSERT_TRUE(n == 1 || n == 2) << a << ' ' << b;
    }
  }
}

}  // namespace
