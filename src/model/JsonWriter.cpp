#include "model/JsonWriter.h"

#include <charconv>

#include "core/Utf8.h"

namespace tandemo {
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
      const auto* start = reinterpret_cast<const unsigned char*>(text.data()) + i;
      const auto* p = start;
      if (decodeUtf8(p, reinterpret_cast<const unsigned char*>(text.data()) + text.size())) {
        out_.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
      } else {
        out_ += "\xEF\xBF\xBD";
      }
      i += static_cast<std::size_t>(p - start);
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
