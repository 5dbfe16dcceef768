#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tandemo {

// A streaming writer for indented JSON. Callers emit object members in the order they want
// them to appear (the settings document lists them in ascending key order).
class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  void beginObject() { open('{'); }
  void endObject() { close('}'); }
  void beginArray() { open('['); }
  void endArray() { close(']'); }
  void key(std::string_view name);

  void value(std::string_view text);
  void value(const char* text) { value(std::string_view(text)); }
  void value(bool flag);
  void value(std::int64_t number);
  void emptyObject();

 private:
  void open(char bracket);
  void close(char bracket);
  void beforeValue();
  void newline();
  void string(std::string_view text);

  std::string& out_;
  int depth_ = 0;
  bool first_ = true;      // no element written yet in the current container
  bool afterKey_ = false;  // a member name was just written
};

}  // namespace tandemo
