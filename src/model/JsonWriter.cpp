#include "model/JsonWriter.h"

#include <charconv>

namespace tandemo {
namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 when it is malformed.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t min = 0;
  std::uint32_t codePoint = 0;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) { length = 2; min = 0x80; codePoint = lead & 0x1Fu; }
  else if ((lead & 0xF0) == 0xE0) { length = 3; min = 0x800; codePoint = lead & 0x0Fu; }
  else if ((lead & 0xF8) == 0xF0) { length = 4; min = 0x10000; codePoint = lead & 0x07u; }
  else return 0;
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(i + k) & 0x3Fu);
  }
  if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

void JsonWriter::newline() {
  out_ += '\n';
  out_.append(static_cast<std::size_t>(depth_) * 2, ' ');
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (depth_ > 0) {
    if (!first_) out_ += ',';
    newline();
  }
  first_ = false;
}

void JsonWriter::open(char bracket) {
  beforeValue();
  out_ += bracket;
  ++depth_;
  first_ = true;
}

void JsonWriter::close(char bracket) {
  --depth_;
  if (!first_) newline();
  out_ += bracket;
  first_ = false;
}

void JsonWriter::key(std::string_view name) {
  beforeValue();
  string(name);
  out_ += ": ";
  afterKey_ = true;
}

void JsonWriter::value(std::string_view text) {
  beforeValue();
  string(text);
}

void JsonWriter::value(bool flag) {
  beforeValue();
  out_ += flag ? "true" : "false";
}

void JsonWriter::value(std::int64_t number) {
  beforeValue();
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
  out_.append(buffer, result.ptr);
}

void JsonWriter::emptyObject() {
  beforeValue();
  out_ += "{}";
}

// Escapes what JSON requires; malformed UTF-8 becomes U+FFFD so the document always parses.
void JsonWriter::string(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  out_ += '"';
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t length = utf8SequenceLength(text, i);
      if (length == 0) {
        out_ += "\xEF\xBF\xBD";
        ++i;
      } else {
        out_.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"': out_ += "\\\""; break;
      case '\\': out_ += "\\\\"; break;
      case '\n': out_ += "\\n"; break;
      case '\r': out_ += "\\r"; break;
      case '\t': out_ += "\\t"; break;
      case '\b': out_ += "\\b"; break;
      case '\f': out_ += "\\f"; break;
      default:
        if (c < 0x20) {
          out_ += "\\u00";
          out_ += hex[c >> 4];
          out_ += hex[c & 0x0F];
        } else {
          out_ += static_cast<char>(c);
        }
    }
    ++i;
  }
  out_ += '"';
}

}  // namespace tandemo
