// Differential check of the settings file's JSON reader against nlohmann::json: every input
// is accepted by both or by neither, and accepted documents give the same tree, down to each
// number's type and a repeated member name keeping its later value. Only nesting deeper than
// JsonDocument::maxDepth may be refused by ours alone.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "model/JsonDocument.h"

namespace {

using nlohmann::json;
using tandemo::JsonKind;
using tandemo::JsonValue;

[[noreturn]] void violation(const char* what, std::string_view input, const std::string& detail) {
  std::fprintf(stderr, "fuzz_json_parser: %s\ninput: %.*s\n%s\n", what, static_cast<int>(input.size()), input.data(),
               detail.c_str());
  std::abort();
}

json toNlohmann(JsonValue value) {
  switch (value.kind()) {
    case JsonKind::null: return nullptr;
    case JsonKind::boolean: return value.boolean();
    case JsonKind::integer: return value.integer();
    case JsonKind::unsignedInteger: return value.unsignedInteger();
    case JsonKind::floating: return value.floating();
    case JsonKind::string: return std::string(value.string());
    case JsonKind::array: {
      json out = json::array();
      for (std::size_t i = 0; i < value.size(); ++i) out.push_back(toNlohmann(value[i]));
      return out;
    }
    case JsonKind::object: {
      json out = json::object();
      for (std::size_t i = 0; i < value.size(); ++i) out[std::string(value.key(i))] = toNlohmann(value.value(i));
      return out;
    }
  }
  return json();
}

// == alone treats 1, 1u and 1.0 as equal and -0.0 as 0.0; also compare types and float bits.
bool sameTree(const json& a, const json& b) {
  if (a.type() != b.type()) return false;
  if (a.is_number_float()) return std::signbit(a.get<double>()) == std::signbit(b.get<double>()) && a == b;
  if (a.is_array()) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (!sameTree(a[i], b[i])) return false;
    }
    return true;
  }
  if (a.is_object()) {
    if (a.size() != b.size()) return false;
    for (auto it = a.begin(), jt = b.begin(); it != a.end(); ++it, ++jt) {
      if (it.key() != jt.key() || !sameTree(it.value(), jt.value())) return false;
    }
    return true;
  }
  return a == b;
}

// Each of our number-typed nodes must print as nlohmann prints it, bar Grisu2's longer digits.
void checkNumberText(JsonValue value, std::string_view input) {
  if (value.kind() == JsonKind::array || value.kind() == JsonKind::object) {
    for (std::size_t i = 0; i < value.size(); ++i) {
      checkNumberText(value.kind() == JsonKind::array ? value[i] : value.value(i), input);
    }
    return;
  }
  if (!value.isNumber()) return;
  const std::string ours = value.numberText();
  const std::string theirs = toNlohmann(value).dump();
  if (ours == theirs) return;
  // Grisu2 does not always pick the shortest or closest digits; ours must then be no longer,
  // in the same notation, and read back as the same double.
  const auto notation = [](const std::string& text) { return text.find('e') != std::string::npos; };
  if (value.kind() == JsonKind::floating && std::strtod(ours.c_str(), nullptr) == value.floating() &&
      ours.size() <= theirs.size() && notation(ours) == notation(theirs)) {
    return;
  }
  violation("number text differs", input, ours + " vs " + theirs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto ours = tandemo::JsonDocument::parse(input);
  const json theirs = json::parse(input, nullptr, /*allow_exceptions=*/false);
  const bool theyAccept = !theirs.is_discarded();

  if (!ours) {
    if (ours.error().what.empty()) violation("refusal without a reason", input, "");
    if (theyAccept && ours.error().kind != tandemo::JsonError::Kind::tooDeep) {
      violation("nlohmann accepts what we refuse", input, ours.error().describe());
    }
    return 0;
  }
  if (!theyAccept) violation("we accept what nlohmann refuses", input, toNlohmann(ours->root()).dump());
  const json converted = toNlohmann(ours->root());
  if (!sameTree(converted, theirs)) violation("trees differ", input, converted.dump() + "\n----\n" + theirs.dump());
  checkNumberText(ours->root(), input);
  return 0;
}
