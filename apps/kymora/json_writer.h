#pragma once
// A small JSON writer for the command line's machine-readable output.
#include <cstddef>
#include <cstdint>
#include <cstring>
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
  [[gnu::always_inline]] JsonWriter& Key(std::string_view key) {
    String(key);
    Put(": ");
    mAfterKey = true;
    return *this;
  }
  [[gnu::always_inline]] JsonWriter& String(std::string_view value) {
    Separate();
    // Most keys and values need no escape: they go in whole (a key spelled out in the code is checked as
    // it is compiled).
    if (!NeedsNoEscape(value)) return Escaped(value);
    char* out = Room(value.size() + 2);
    out[0] = '"';
    std::memcpy(out + 1, value.data(), value.size());
    out[value.size() + 1] = '"';
    mSize += value.size() + 2;
    return *this;
  }
  JsonWriter& Int(std::int64_t value);
  // Non-finite numbers are written as null (JSON has no NaN); others as printf's "%.*g" writes them with
  // that many significant digits (17 gives back every double exactly, 9 every float).
  JsonWriter& Double(double value, int significantDigits = 17);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  std::string_view Text() const { return {mText.data(), mSize}; }
  // The text, handed over without a copy; the writer is empty afterwards.
  std::string TakeText();
  // Room for this many bytes of text, so that a long text is not copied as it grows.
  void Reserve(std::size_t bytes);

 private:
  static constexpr bool NeedsNoEscape(std::string_view value) {
    for (const char ch : value) {
      const auto c = static_cast<unsigned char>(ch);
      if (c < 0x20 || c == '"' || c == '\\') return false;
    }
    return true;
  }
  JsonWriter& Escaped(std::string_view value);
  // Room for this many more bytes; where they begin.
  char* Room(std::size_t bytes) {
    if (mText.size() - mSize < bytes) Grow(bytes);
    return mText.data() + mSize;
  }
  void Grow(std::size_t bytes);
  void Put(std::string_view text) {
    std::memcpy(Room(text.size()), text.data(), text.size());
    mSize += text.size();
  }
  void Separate() {
    if (mAfterKey) {
      mAfterKey = false;
    } else if (!mFirst.empty()) {
      if (!mFirst.back()) Put(", ");
      mFirst.back() = false;
    }
  }
  void Open(char bracket);
  void Close(char bracket);

  std::string mText;  // the text in its first mSize bytes, then room for more
  std::size_t mSize = 0;
  std::vector<std::uint8_t> mFirst;  // per open container: nothing written into it yet
  bool mAfterKey = false;
};

}  // namespace kymora::cli
