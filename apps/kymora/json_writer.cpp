#include "apps/kymora/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kymora::cli {

void JsonWriter::Separate() {
  if (mAfterKey) {
    mAfterKey = false;
    return;
  }
  if (!mFirst.empty()) {
    if (!mFirst.back()) mText += ", ";
    mFirst.back() = false;
  }
}

JsonWriter& JsonWriter::BeginObject() {
  Separate();
  mText += '{';
  mFirst.push_back(true);
  return *this;
}
JsonWriter& JsonWriter::EndObject() {
  mText += '}';
  mFirst.pop_back();
  return *this;
}
JsonWriter& JsonWriter::BeginArray() {
  Separate();
  mText += '[';
  mFirst.push_back(true);
  return *this;
}
JsonWriter& JsonWriter::EndArray() {
  mText += ']';
  mFirst.pop_back();
  return *this;
}
JsonWriter& JsonWriter::Key(std::string_view key) {
  String(key);
  mText += ": ";
  mAfterKey = true;
  return *this;
}
JsonWriter& JsonWriter::String(std::string_view value) {
  Separate();
  mText += '"';
  // Runs of characters that need no escape are appended whole: most keys and values are all such.
  std::size_t run = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    mText.append(value, run, i - run);
    run = i + 1;
    switch (c) {
      case '"':
        mText += "\\\"";
        break;
      case '\\':
        mText += "\\\\";
        break;
      case '\n':
        mText += "\\n";
        break;
      case '\r':
        mText += "\\r";
        break;
      case '\t':
        mText += "\\t";
        break;
      default: {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        mText += buf;
      }
    }
  }
  mText.append(value, run, value.size() - run);
  mText += '"';
  return *this;
}
JsonWriter& JsonWriter::Int(std::int64_t value) {
  Separate();
  char buf[24];
  mText.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
  return *this;
}
JsonWriter& JsonWriter::Double(double value, int significantDigits) {
  if (!std::isfinite(value)) return Null();
  Separate();
  char buf[40];
  // The general format with a precision is defined as printf's "%.*g", without its locale and its cost.
  const auto written = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, significantDigits);
  mText.append(buf, written.ptr);
  return *this;
}
JsonWriter& JsonWriter::Bool(bool value) {
  Separate();
  mText += value ? "true" : "false";
  return *this;
}
JsonWriter& JsonWriter::Null() {
  Separate();
  mText += "null";
  return *this;
}

}  // namespace kymora::cli
