#pragma once
// A small JSON writer for the command line's machine-readable output.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
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
  // Non-finite numbers are written as null (JSON has no NaN); others as printf's "%.*g" writes them with
  // that many significant digits (17 gives back every double exactly, 9 every float).
  JsonWriter& Double(double value, int significantDigits = 17);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  const std::string& Text() const { return mText; }
  // The text, handed over without a copy; the writer is empty afterwards.
  std::string TakeText() { return std::move(mText); }
  // Room for this many bytes of text, so that a long text is not copied as it grows.
  void Reserve(std::size_t bytes) { mText.reserve(bytes); }

 private:
  void Separate();
  std::string mText;
  std::vector<bool> mFirst;  // per open container: nothing written into it yet
  bool mAfterKey = false;
};

}  // namespace kymora::cli
