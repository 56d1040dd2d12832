#include "apps/kymora/json_writer.h"

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
  for (unsigned char c : value) {
    switch (c) {
      case '"': mText += "\\\""; break;
      case '\\': mText += "\\\\"; break;
      case '\n': mText += "\\n"; break;
      case '\r': mText += "\\r"; break;
      case '\t': mText += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          mText += buf;
        } else {
          mText += static_cast<char>(c);
        }
    }
  }
  mText += '"';
  return *this;
}
JsonWriter& JsonWriter::Int(std::int64_t value) {
  Separate();
  mText += std::to_string(value);
  return *this;
}
JsonWriter& JsonWriter::Double(double value, const char* format) {
  if (!std::isfinite(value)) return Null();
  Separate();
  char buf[40];
  std::snprintf(buf, sizeof buf, format, value);
  mText += buf;
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
