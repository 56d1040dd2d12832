#pragma once
// A small JSON writer for the command line's machine-readable output.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kymora::cli {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(std::string_view value);
  JsonWriter& Int(std::int64_t value);
  // Non-finite numbers are written as null (JSON has no NaN).
  JsonWriter& Double(double value, const char* format = "%.17g");
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  const std::string& Text() const { return mText; }

 private:
  void Separate();
  std::string mText;
  std::vector<bool> mFirst;  // per open container: nothing written into it yet
  bool mAfterKey = false;
};

}  // namespace kymora::cli
