#include "apps/kymora/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "apps/kymora/printf_general.h"

namespace kymora::cli {

std::string JsonWriter::TakeText() {
  mText.resize(mSize);
  std::string text = std::move(mText);
  mText.clear();
  mSize = 0;
  return text;
}

void JsonWriter::Reserve(std::size_t bytes) { mText.reserve(bytes); }

// The room is made a little at a time, so that the pages of a reservation are touched only as the text
// reaches them (the string's capacity still grows geometrically).
void JsonWriter::Grow(std::size_t bytes) {
  constexpr std::size_t kStep = 64 * 1024;
  mText.resize(mSize + bytes + kStep);
}

void JsonWriter::Open(char bracket) {
  Separate();
  Put(std::string_view(&bracket, 1));
  mFirst.push_back(true);
}

void JsonWriter::Close(char bracket) {
  Put(std::string_view(&bracket, 1));
  mFirst.pop_back();
}

JsonWriter& JsonWriter::BeginObject() {
  Open('{');
  return *this;
}
JsonWriter& JsonWriter::EndObject() {
  Close('}');
  return *this;
}
JsonWriter& JsonWriter::BeginArray() {
  Open('[');
  return *this;
}
JsonWriter& JsonWriter::EndArray() {
  Close(']');
  return *this;
}
JsonWriter& JsonWriter::Escaped(std::string_view value) {
  Put("\"");
  std::size_t run = 0;  // the first character not yet written
  for (std::size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    Put(value.substr(run, i - run));
    run = i + 1;
    switch (c) {
      case '"':
        Put("\\\"");
        break;
      case '\\':
        Put("\\\\");
        break;
      case '\n':
        Put("\\n");
        break;
      case '\r':
        Put("\\r");
        break;
      case '\t':
        Put("\\t");
        break;
      default: {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        Put(buf);
      }
    }
  }
  Put(value.substr(run));
  Put("\"");
  return *this;
}
JsonWriter& JsonWriter::Int(std::int64_t value) {
  Separate();
  constexpr std::size_t kIntBytes = 24;
  char* out = Room(kIntBytes);
  mSize = static_cast<std::size_t>(std::to_chars(out, out + kIntBytes, value).ptr - mText.data());
  return *this;
}
JsonWriter& JsonWriter::Double(double value, int significantDigits) {
  if (!std::isfinite(value)) return Null();
  Separate();
  mSize = static_cast<std::size_t>(WriteGeneral(value, significantDigits, Room(kGeneralBytes)) - mText.data());
  return *this;
}
JsonWriter& JsonWriter::Bool(bool value) {
  Separate();
  Put(value ? "true" : "false");
  return *this;
}
JsonWriter& JsonWriter::Null() {
  Separate();
  Put("null");
  return *this;
}

}  // namespace kymora::cli
