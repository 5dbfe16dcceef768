#pragma once

// A strict JSON (RFC 8259) reader into a flat, read-only tree, built for the settings file:
// one node vector, child index ranges, strings pointing into the source text unless they
// had escapes. It accepts exactly the documents nlohmann::json::parse accepts (a UTF-8 byte
// order mark may lead the text and a NUL byte after the value ends it), except that nesting
// deeper than maxDepth is refused.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Expected.h"

namespace tandemo {

class JsonDocument;

struct JsonError {
  enum class Kind : std::uint8_t { syntax, numberOverflow, tooDeep };

  Kind kind = Kind::syntax;
  std::size_t line = 0;    // 1-based
  std::size_t column = 0;  // 1-based, in bytes
  std::string what;

  // "syntax error at line 3, column 7: unexpected ']'; expected a value"
  std::string describe() const;
};

// Numbers keep the type nlohmann gives them: negative integers signed, other integers
// unsigned, integers beyond 64 bits and anything with a fraction or exponent floating.
enum class JsonKind : std::uint8_t { null, boolean, integer, unsignedInteger, floating, string, array, object };

// A node of a JsonDocument; valid while the document and its source text live, unmoved.
class JsonValue {
 public:
  JsonKind kind() const;
  bool isNull() const { return kind() == JsonKind::null; }
  bool isBoolean() const { return kind() == JsonKind::boolean; }
  bool isNumber() const;
  bool isString() const { return kind() == JsonKind::string; }
  bool isArray() const { return kind() == JsonKind::array; }
  bool isObject() const { return kind() == JsonKind::object; }

  // Each accessor requires the matching kind.
  bool boolean() const;
  std::int64_t integer() const;
  std::uint64_t unsignedInteger() const;
  double floating() const;
  std::string_view string() const;

  // Elements of an array, members of an object (duplicates included), 0 otherwise.
  std::size_t size() const;
  JsonValue operator[](std::size_t index) const;  // array element
  std::string_view key(std::size_t index) const;  // object member name
  JsonValue value(std::size_t index) const;       // object member value
  // The last member of that name, as a repeated name's later value wins.
  std::optional<JsonValue> find(std::string_view name) const;

  // A number as nlohmann::json::dump writes it: 3, 18446744073709551615, 3.5, 2.0, 1e+20.
  std::string numberText() const;

 private:
  friend class JsonDocument;
  JsonValue(const JsonDocument* document, std::uint32_t index) : document_(document), index_(index) {}

  const JsonDocument* document_;
  std::uint32_t index_;
};

class JsonDocument {
 public:
  static constexpr std::size_t maxDepth = 512;

  // The document refers to `text`, which must outlive it.
  static Expected<JsonDocument, JsonError> parse(std::string_view text);

  JsonValue root() const { return {this, 0}; }

 private:
  friend class JsonValue;
  friend class JsonParser;

  enum class Tag : std::uint8_t {
    null, boolean, integer, unsignedInteger, floating, sourceString, ownedString, array, object
  };
  struct Node {
    Tag tag = Tag::null;
    std::uint32_t count = 0;  // string length, array elements, object members
    union {
      bool boolean;
      std::int64_t integer;
      std::uint64_t unsignedInteger;
      double floating;
      std::uint64_t offset;  // string: into the source or the arena; container: into children_
    };
    Node() : unsignedInteger(0) {}
  };

  const Node& node(std::uint32_t index) const { return nodes_[index]; }

  std::string_view source_;
  std::vector<Node> nodes_;
  std::vector<std::uint32_t> children_;  // arrays: element nodes; objects: key node, value node
  std::string arena_;                     // unescaped strings
};

// ---- inline accessors: the decoder's hot path ----

inline JsonKind JsonValue::kind() const {
  using Tag = JsonDocument::Tag;
  switch (document_->node(index_).tag) {
    case Tag::null: return JsonKind::null;
    case Tag::boolean: return JsonKind::boolean;
    case Tag::integer: return JsonKind::integer;
    case Tag::unsignedInteger: return JsonKind::unsignedInteger;
    case Tag::floating: return JsonKind::floating;
    case Tag::sourceString:
    case Tag::ownedString: return JsonKind::string;
    case Tag::array: return JsonKind::array;
    default: return JsonKind::object;
  }
}

inline bool JsonValue::isNumber() const {
  const JsonKind k = kind();
  return k == JsonKind::integer || k == JsonKind::unsignedInteger || k == JsonKind::floating;
}

inline bool JsonValue::boolean() const { return document_->node(index_).boolean; }
inline std::int64_t JsonValue::integer() const { return document_->node(index_).integer; }
inline std::uint64_t JsonValue::unsignedInteger() const { return document_->node(index_).unsignedInteger; }
inline double JsonValue::floating() const { return document_->node(index_).floating; }

inline std::string_view JsonValue::string() const {
  const JsonDocument::Node& n = document_->node(index_);
  const char* base = n.tag == JsonDocument::Tag::sourceString ? document_->source_.data() : document_->arena_.data();
  return {base + n.offset, n.count};
}

inline std::size_t JsonValue::size() const {
  const JsonDocument::Node& n = document_->node(index_);
  return n.tag == JsonDocument::Tag::array || n.tag == JsonDocument::Tag::object ? n.count : 0;
}

inline JsonValue JsonValue::operator[](std::size_t index) const {
  return {document_, document_->children_[document_->node(index_).offset + index]};
}

inline std::string_view JsonValue::key(std::size_t index) const {
  return JsonValue(document_, document_->children_[document_->node(index_).offset + 2 * index]).string();
}

inline JsonValue JsonValue::value(std::size_t index) const {
  return {document_, document_->children_[document_->node(index_).offset + 2 * index + 1]};
}

inline std::optional<JsonValue> JsonValue::find(std::string_view name) const {
  const JsonDocument::Node& n = document_->node(index_);
  if (n.tag != JsonDocument::Tag::object) return std::nullopt;
  for (std::size_t i = n.count; i-- > 0;) {
    const std::string_view k = key(i);
    if (k.size() == name.size() && (k.empty() || k[0] == name[0]) && k == name) return value(i);
  }
  return std::nullopt;
}

}  // namespace tandemo
