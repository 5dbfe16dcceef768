#include "model/JsonDocument.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <utility>

namespace tandemo {
namespace {

struct ParseFailure {
  const char* where;
  std::string what;
  JsonError::Kind kind = JsonError::Kind::syntax;
};

// Bytes a string may hold as they are: everything but '"', '\\', controls and non-ASCII.
constexpr std::array<bool, 256> plainStringBytes = [] {
  std::array<bool, 256> table{};
  for (int c = 0x20; c < 0x80; ++c) table[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
  return table;
}();

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

std::string hexByte(unsigned char c) {
  static constexpr char digits[] = "0123456789ABCDEF";
  return {digits[c >> 4], digits[c & 0xF]};
}

// The end of the well-formed UTF-8 sequence (RFC 3629) starting at the non-ASCII byte `p`,
// or nullptr.
const char* utf8SequenceEnd(const char* p, const char* end) {
  const auto byte = [&](std::ptrdiff_t i) { return static_cast<unsigned char>(p[i]); };
  const unsigned char lead = byte(0);
  int length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return nullptr;
  }
  if (end - p < length || byte(1) < low || byte(1) > high) return nullptr;
  for (int i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return nullptr;
  }
  return p + length;
}

void appendUtf8(std::string& out, std::uint32_t code) {
  const auto put = [&](std::uint32_t b) { out.push_back(static_cast<char>(b)); };
  if (code < 0x80) {
    put(code);
  } else if (code < 0x800) {
    put(0xC0 | (code >> 6));
    put(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    put(0xE0 | (code >> 12));
    put(0x80 | ((code >> 6) & 0x3F));
    put(0x80 | (code & 0x3F));
  } else {
    put(0xF0 | (code >> 18));
    put(0x80 | ((code >> 12) & 0x3F));
    put(0x80 | ((code >> 6) & 0x3F));
    put(0x80 | (code & 0x3F));
  }
}

// Whether a number token that double cannot hold is too large rather than too small: the
// decimal exponent of its first non-zero digit is not negative.
bool beyondDoubleRange(std::string_view token) {
  if (token[0] == '-') token.remove_prefix(1);
  const std::size_t e = std::min(token.find_first_of("eE"), token.size());
  const std::string_view mantissa = token.substr(0, e);
  const auto point = static_cast<std::int64_t>(std::min(mantissa.find('.'), mantissa.size()));
  const auto first = static_cast<std::int64_t>(mantissa.find_first_not_of("0."));  // exists: zero fits
  std::int64_t exponent = 0;
  if (e < token.size()) {
    std::string_view digits = token.substr(e + 1);
    const bool negative = digits[0] == '-';
    if (digits[0] == '-' || digits[0] == '+') digits.remove_prefix(1);
    if (std::from_chars(digits.data(), digits.data() + digits.size(), exponent).ec != std::errc()) {
      exponent = 1'000'000'000;
    }
    if (negative) exponent = -exponent;
  }
  return point - first - (first < point ? 1 : 0) + exponent >= 0;
}

}  // namespace

class JsonParser {
 public:
  JsonParser(std::string_view text, JsonDocument& document)
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()), document_(document) {}

  void run() {
    if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
    const auto size = static_cast<std::size_t>(end_ - p_);
    document_.nodes_.reserve(size / 12 + 16);
    document_.children_.reserve(size / 12 + 16);
    if (size >= std::numeric_limits<std::uint32_t>::max()) fail("the document is larger than 4 GiB");
    value(0);
    skipSpace();
    // A NUL byte ends the text, as in nlohmann (a file cut short by a crash may end in zeros).
    if (p_ != end_ && *p_ != '\0') fail("unexpected " + describeHere() + " after the document; expected end of input");
  }

 private:
  using Node = JsonDocument::Node;
  using Tag = JsonDocument::Tag;

  [[noreturn]] void fail(std::string what) { throw ParseFailure{p_, std::move(what)}; }

  std::string describeHere() const {
    if (p_ == end_) return "end of input";
    const auto c = static_cast<unsigned char>(*p_);
    if (c >= 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
    return "byte 0x" + hexByte(c);
  }

  // Indentation comes in long runs of spaces: step over them eight bytes at a time.
  void skipSpace() {
    if (p_ != end_ && static_cast<unsigned char>(*p_) > ' ') return;
    for (;;) {
      if (end_ - p_ < 8 || std::endian::native != std::endian::little) {
        while (p_ != end_ && isSpace(*p_)) ++p_;
        return;
      }
      std::uint64_t word = 0;
      std::memcpy(&word, p_, 8);
      const std::uint64_t others = word ^ 0x2020202020202020ULL;  // non-zero bytes: not a space
      if (others == 0) {
        p_ += 8;
        continue;
      }
      p_ += std::countr_zero(others) / 8;
      if (*p_ != '\n' && *p_ != '\r' && *p_ != '\t') return;
      ++p_;
    }
  }

  std::uint32_t addNode(Tag tag) {
    const auto index = static_cast<std::uint32_t>(document_.nodes_.size());
    document_.nodes_.emplace_back().tag = tag;
    return index;
  }

  std::uint32_t value(std::size_t depth) {
    skipSpace();
    if (p_ == end_) fail("unexpected end of input; expected a value");
    switch (*p_) {
      case '{': return object(depth + 1);
      case '[': return array(depth + 1);
      case '"': return string();
      case 't': return literal("true", Tag::boolean, true);
      case 'f': return literal("false", Tag::boolean, false);
      case 'n': return literal("null", Tag::null, false);
      default:
        if (*p_ == '-' || isDigit(*p_)) return number();
        fail("unexpected " + describeHere() + "; expected a value");
    }
  }

  std::uint32_t literal(std::string_view word, Tag tag, bool truth) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() || std::memcmp(p_, word.data(), word.size()) != 0) {
      fail("invalid literal; expected '" + std::string(word) + "'");
    }
    p_ += word.size();
    const std::uint32_t index = addNode(tag);
    document_.nodes_[index].boolean = truth;
    return index;
  }

  void enter(std::size_t depth) {
    if (depth > JsonDocument::maxDepth) {
      throw ParseFailure{p_, "nesting deeper than " + std::to_string(JsonDocument::maxDepth) + " levels",
                         JsonError::Kind::tooDeep};
    }
  }

  bool take(char c) {
    skipSpace();
    if (p_ == end_ || *p_ != c) return false;
    ++p_;
    return true;
  }

  std::uint32_t array(std::size_t depth) {
    enter(depth);
    ++p_;
    const std::uint32_t self = addNode(Tag::array);
    const std::size_t mark = pending_.size();
    if (!take(']')) {
      do {
        pending_.push_back(value(depth));
      } while (take(','));
      if (!take(']')) fail("unexpected " + describeHere() + "; expected ',' or ']' after an array element");
    }
    return finish(self, mark, pending_.size() - mark);
  }

  std::uint32_t object(std::size_t depth) {
    enter(depth);
    ++p_;
    const std::uint32_t self = addNode(Tag::object);
    const std::size_t mark = pending_.size();
    if (!take('}')) {
      do {
        skipSpace();
        if (p_ == end_ || *p_ != '"') fail("unexpected " + describeHere() + "; expected a member name");
        pending_.push_back(string());
        if (!take(':')) fail("unexpected " + describeHere() + "; expected ':' after a member name");
        pending_.push_back(value(depth));
      } while (take(','));
      if (!take('}')) fail("unexpected " + describeHere() + "; expected ',' or '}' after an object member");
    }
    return finish(self, mark, (pending_.size() - mark) / 2);
  }

  std::uint32_t finish(std::uint32_t self, std::size_t mark, std::size_t count) {
    Node& node = document_.nodes_[self];
    node.count = static_cast<std::uint32_t>(count);
    node.offset = document_.children_.size();
    document_.children_.insert(document_.children_.end(), pending_.begin() + static_cast<std::ptrdiff_t>(mark),
                               pending_.end());
    pending_.resize(mark);
    return self;
  }

  // ---- strings ----

  // Moves p_ to the next byte that is not plain in a string (or to the end).
  void skipPlain() {
    if constexpr (std::endian::native == std::endian::little) {
      constexpr std::uint64_t ones = 0x0101010101010101ULL;
      constexpr std::uint64_t highs = 0x8080808080808080ULL;
      const auto zeroBytes = [](std::uint64_t v) { return (v - ones) & ~v & highs; };
      while (end_ - p_ >= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p_, 8);
        // The lowest flagged byte is exact; flags above it may be spurious, which is harmless.
        const std::uint64_t special = zeroBytes(word ^ (ones * '"')) | zeroBytes(word ^ (ones * '\\')) |
                                      ((word - ones * 0x20) & ~word & highs) | (word & highs);
        if (special != 0) {
          p_ += std::countr_zero(special) / 8;
          return;
        }
        p_ += 8;
      }
    }
    while (p_ != end_ && plainStringBytes[static_cast<unsigned char>(*p_)]) ++p_;
  }

  std::uint32_t string() {
    const char* start = ++p_;
    for (;;) {
      skipPlain();
      if (p_ == end_) fail("unexpected end of input in a string; expected '\"'");
      if (*p_ == '"') break;
      if (*p_ == '\\') return escapedString(start);
      nonPlainByte();
    }
    const std::uint32_t index = addNode(Tag::sourceString);
    Node& node = document_.nodes_[index];
    node.offset = static_cast<std::uint64_t>(start - begin_);
    node.count = static_cast<std::uint32_t>(p_ - start);
    ++p_;
    return index;
  }

  // Steps over a control character (refused) or a UTF-8 sequence (checked).
  void nonPlainByte() {
    const auto c = static_cast<unsigned char>(*p_);
    if (c < 0x20) fail("invalid string: control character U+00" + hexByte(c) + " must be escaped");
    const char* next = utf8SequenceEnd(p_, end_);
    if (next == nullptr) fail("invalid string: ill-formed UTF-8 byte");
    p_ = next;
  }

  std::uint32_t escapedString(const char* start) {
    std::string& arena = document_.arena_;
    const std::size_t offset = arena.size();
    arena.append(start, p_);
    for (;;) {
      const char* run = p_;
      skipPlain();
      if (p_ == end_) fail("unexpected end of input in a string; expected '\"'");
      if (*p_ == '"') {
        arena.append(run, p_);
        break;
      }
      if (*p_ == '\\') {
        arena.append(run, p_);
        escape(arena);
      } else {
        nonPlainByte();
        arena.append(run, p_);
      }
    }
    ++p_;
    const std::uint32_t index = addNode(Tag::ownedString);
    Node& node = document_.nodes_[index];
    node.offset = offset;
    node.count = static_cast<std::uint32_t>(arena.size() - offset);
    return index;
  }

  void escape(std::string& out) {
    ++p_;  // the backslash
    if (p_ == end_) fail("unexpected end of input in a string; expected '\"'");
    const char c = *p_++;
    switch (c) {
      case '"': out.push_back('"'); return;
      case '\\': out.push_back('\\'); return;
      case '/': out.push_back('/'); return;
      case 'b': out.push_back('\b'); return;
      case 'f': out.push_back('\f'); return;
      case 'n': out.push_back('\n'); return;
      case 'r': out.push_back('\r'); return;
      case 't': out.push_back('\t'); return;
      case 'u': break;
      default: --p_; fail("invalid string: forbidden character after backslash");
    }
    std::uint32_t code = hex4();
    if (code >= 0xDC00 && code <= 0xDFFF) fail("invalid string: surrogate U+DC00..U+DFFF must follow U+D800..U+DBFF");
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') {
        fail("invalid string: surrogate U+D800..U+DBFF must be followed by U+DC00..U+DFFF");
      }
      p_ += 2;
      const std::uint32_t low = hex4();
      if (low < 0xDC00 || low > 0xDFFF) fail("invalid string: surrogate U+D800..U+DBFF must be followed by U+DC00..U+DFFF");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    appendUtf8(out, code);
  }

  std::uint32_t hex4() {
    std::uint32_t code = 0;
    for (int i = 0; i < 4; ++i, ++p_) {
      if (p_ == end_) fail("unexpected end of input in a string; expected '\"'");
      const char c = *p_;
      const char lower = static_cast<char>(c | 0x20);
      if (!isDigit(c) && !(lower >= 'a' && lower <= 'f')) fail("invalid string: '\\u' must be followed by 4 hex digits");
      code = code * 16 + static_cast<std::uint32_t>(isDigit(c) ? c - '0' : lower - 'a' + 10);
    }
    return code;
  }

  // ---- numbers ----

  void digits() {
    if (p_ == end_ || !isDigit(*p_)) fail("invalid number; expected a digit");
    while (p_ != end_ && isDigit(*p_)) ++p_;
  }

  std::uint32_t number() {
    const char* start = p_;
    const bool negative = *p_ == '-';
    if (negative) ++p_;
    if (p_ != end_ && *p_ == '0') ++p_;
    else digits();
    bool whole = true;
    if (p_ != end_ && *p_ == '.') {
      ++p_;
      digits();
      whole = false;
    }
    if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      digits();
      whole = false;
    }
    const std::uint32_t index = addNode(Tag::floating);
    Node& node = document_.nodes_[index];
    if (whole) {
      // Integers too long for 64 bits become floating, as nlohmann has them.
      if (negative && std::from_chars(start, p_, node.integer).ec == std::errc()) {
        node.tag = Tag::integer;
        return index;
      }
      if (!negative && std::from_chars(start, p_, node.unsignedInteger).ec == std::errc()) {
        node.tag = Tag::unsignedInteger;
        return index;
      }
    }
    double result = 0;
    if (std::from_chars(start, p_, result).ec != std::errc()) {
      const std::string_view token(start, static_cast<std::size_t>(p_ - start));
      if (beyondDoubleRange(token)) {
        throw ParseFailure{start, "number overflow parsing '" + std::string(token) + "'",
                           JsonError::Kind::numberOverflow};
      }
      result = negative ? -0.0 : 0.0;
    }
    node.floating = result;
    return index;
  }

  const char* begin_;
  const char* p_;
  const char* end_;
  JsonDocument& document_;
  std::vector<std::uint32_t> pending_;  // children of the open containers
};

std::string JsonError::describe() const {
  const char* category = kind == Kind::syntax           ? "syntax error"
                         : kind == Kind::numberOverflow ? "number out of range"
                                                        : "too deeply nested";
  return category + (" at line " + std::to_string(line)) + ", column " + std::to_string(column) + ": " + what;
}

Expected<JsonDocument, JsonError> JsonDocument::parse(std::string_view text) {
  JsonDocument document;
  document.source_ = text;
  try {
    JsonParser(text, document).run();
  } catch (ParseFailure& failure) {
    JsonError error;
    error.line = 1;
    const char* lineStart = text.data();
    for (const char* p = text.data(); p != failure.where; ++p) {
      if (*p == '\n') {
        ++error.line;
        lineStart = p + 1;
      }
    }
    error.column = static_cast<std::size_t>(failure.where - lineStart) + 1;
    error.what = std::move(failure.what);
    error.kind = failure.kind;
    return unexpected(std::move(error));
  }
  return document;
}

// nlohmann's dump: the shortest digits that read back the same, plain notation with at least
// one fraction digit for decimal exponents -4 to 15, otherwise d.ddde+XX with two or more
// exponent digits. (nlohmann's Grisu2 may pick a longer digit string in rare cases, 1e23.)
std::string JsonValue::numberText() const {
  switch (kind()) {
    case JsonKind::integer: return std::to_string(integer());
    case JsonKind::unsignedInteger: return std::to_string(unsignedInteger());
    case JsonKind::floating: break;
    default: return {};
  }
  std::array<char, 64> buffer{};
  const double value = floating();
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific);
  const std::string_view scientific(buffer.data(), static_cast<std::size_t>(written.ptr - buffer.data()));
  const std::size_t e = scientific.find('e');
  std::string out;
  std::string digitText;
  for (char c : scientific.substr(0, e)) {
    if (c == '-') out.push_back('-');
    else if (c != '.') digitText.push_back(c);
  }
  int exponent = 0;
  const std::string_view exponentText = scientific.substr(e + 1);
  std::from_chars(exponentText.data() + (exponentText[0] == '+' ? 1 : 0), exponentText.data() + exponentText.size(),
                  exponent);
  const int k = static_cast<int>(digitText.size());
  const int n = exponent + 1;  // value = 0.digits * 10^n
  if (k <= n && n <= 15) return out + digitText + std::string(static_cast<std::size_t>(n - k), '0') + ".0";
  if (0 < n && n <= 15) return out + digitText.insert(static_cast<std::size_t>(n), 1, '.');
  if (-4 < n && n <= 0) return out + "0." + std::string(static_cast<std::size_t>(-n), '0') + digitText;
  if (k > 1) digitText.insert(1, 1, '.');
  const int shown = n - 1;
  const std::string magnitude = std::to_string(shown < 0 ? -shown : shown);
  return out + digitText + 'e' + (shown < 0 ? '-' : '+') + (magnitude.size() < 2 ? "0" : "") + magnitude;
}

}  // namespace tandemo
