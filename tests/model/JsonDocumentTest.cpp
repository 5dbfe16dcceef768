#include "model/JsonDocument.h"

#include <gtest/gtest.h>

#include <string>

namespace tandemo {
namespace {

using namespace std::string_literals;

struct Case {
  std::string text;
  bool accepted;
};

TEST(JsonDocument, AcceptsExactlyTheStrictGrammar) {
  const Case cases[] = {
      {"{}", true}, {" [ ] ", true}, {"\xEF\xBB\xBF{}", true}, {"\xEF\xBB{}", false}, {"[1]\0junk"s, true},
      {"[1\0]"s, false}, {"", false}, {"  ", false}, {"[1,]", false}, {"{\"a\":1,}", false}, {"[1 2]", false},
      {"{\"a\" 1}", false}, {"{1:2}", false}, {"{}}", false}, {"[1]x", false}, {"tru", false}, {"nulll", false},
      {"01", false}, {"-01", false}, {"-", false}, {"1.", false}, {".5", false}, {"1e", false}, {"+1", false},
      {"1E+2", true}, {"-0", true}, {"1e400", false}, {"-1e400", false}, {"1e-400", true},
      {"\"\\u00e9\\ud83d\\ude00\"", true}, {"\"\\ud800\"", false}, {"\"\\ud800\\u0041\"", false},
      {"\"\\udc00\"", false}, {"\"\\u12g4\"", false}, {"\"\\x\"", false}, {"\"\\'\"", false},
      {"\"tab\there\"", false}, {"\"nul\0\""s, false}, {"\"\x7F\"", true}, {"\"\xC3\xA9\"", true},
      {"\"\xC0\xAF\"", false}, {"\"\xED\xA0\x80\"", false}, {"\"\xF4\x90\x80\x80\"", false}, {"\"\xE2\x9C\"", false},
      {"\"\xF0\x9F\x98\x80\"", true}, {"\"open", false}, {"[\"a\"", false},
  };
  for (const Case& c : cases) {
    const auto document = JsonDocument::parse(c.text);
    EXPECT_EQ(static_cast<bool>(document), c.accepted) << "text: " << c.text;
    if (!document) {
      EXPECT_FALSE(document.error().what.empty());
    }
  }
}

TEST(JsonDocument, ErrorsNameLineAndColumn) {
  const auto document = JsonDocument::parse("{\n  \"a\": [1,\n  ]\n}");
  ASSERT_FALSE(document);
  EXPECT_EQ(document.error().describe(), "syntax error at line 3, column 3: unexpected ']'; expected a value");
  const auto overflow = JsonDocument::parse("[1e400]");
  ASSERT_FALSE(overflow);
  EXPECT_EQ(overflow.error().describe(), "number out of range at line 1, column 2: number overflow parsing '1e400'");
}

TEST(JsonDocument, NumbersKeepTheirKind) {
  const auto document = JsonDocument::parse(
      "[5, -5, 9223372036854775808, 18446744073709551615, 18446744073709551616, -9223372036854775809, 2.50, 1e-400]");
  ASSERT_TRUE(document);
  const JsonValue a = document->root();
  EXPECT_EQ(a[0].kind(), JsonKind::unsignedInteger);
  EXPECT_EQ(a[1].integer(), -5);
  EXPECT_EQ(a[2].unsignedInteger(), 9223372036854775808ULL);
  EXPECT_EQ(a[3].unsignedInteger(), 18446744073709551615ULL);
  EXPECT_EQ(a[4].kind(), JsonKind::floating);
  EXPECT_EQ(a[5].kind(), JsonKind::floating);
  EXPECT_EQ(a[6].floating(), 2.5);
  EXPECT_EQ(a[7].floating(), 0.0);

  const char* texts[][2] = {{"3.5", "3.5"}, {"300", "300"}, {"-2", "-2"}, {"3e0", "3.0"}, {"1e20", "1e+20"},
                            {"1e15", "1e+15"}, {"123456789012345.0", "123456789012345.0"}, {"0.0001", "0.0001"},
                            {"0.00001", "1e-05"}, {"-0.0", "-0.0"}, {"2.5e-300", "2.5e-300"}, {"5e-324", "5e-324"}};
  for (const auto& [text, printed] : texts) {
    const auto number = JsonDocument::parse(text);
    ASSERT_TRUE(number) << text;
    EXPECT_EQ(number->root().numberText(), printed) << text;
  }
}

TEST(JsonDocument, StringsObjectsAndRepeatedNames) {
  const auto document = JsonDocument::parse(R"({"k": 1, "s": "a\"b\u00e9\n", "k": [true, null], "e": {}})");
  ASSERT_TRUE(document);
  const JsonValue o = document->root();
  ASSERT_EQ(o.size(), 4u);
  EXPECT_EQ(o.key(1), "s");
  EXPECT_EQ(o.find("s")->string(), "a\"b\xC3\xA9\n");
  const auto k = o.find("k");
  ASSERT_TRUE(k && k->isArray());  // the later value wins
  EXPECT_TRUE((*k)[0].boolean());
  EXPECT_TRUE((*k)[1].isNull());
  EXPECT_EQ(o.find("e")->size(), 0u);
  EXPECT_FALSE(o.find("missing"));
  EXPECT_FALSE((*k)[0].find("k"));
}

TEST(JsonDocument, RefusesNestingBeyondTheLimit) {
  const auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(JsonDocument::parse(nested(JsonDocument::maxDepth)));
  const auto deep = JsonDocument::parse(nested(JsonDocument::maxDepth + 1));
  ASSERT_FALSE(deep);
  EXPECT_EQ(deep.error().kind, JsonError::Kind::tooDeep);
  // Far deeper input fails the same way instead of exhausting the stack.
  EXPECT_FALSE(JsonDocument::parse(std::string(1'000'000, '[')));
  EXPECT_FALSE(JsonDocument::parse(std::string(100'000, '{')));
}

}  // namespace
}  // namespace tandemo
