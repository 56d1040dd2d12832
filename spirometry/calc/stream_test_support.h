#pragma once
// Streams that damage settings for the calculations' tests: truncated copies and a stream that fails with
// its own code from a given byte on.
#include <vector>

#include "host/com/memory_stream.h"

namespace Spirometry::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes SavedBytes(IPersistObject* settings) {
  auto stream = MakeCom<MemoryStream>();
  if (Failed(settings->Save(stream.Get()))) return {};
  return stream->Bytes();
}

inline HRESULT LoadBytes(IPersistObject* settings, Bytes bytes) {
  auto stream = MakeCom<MemoryStream>(std::move(bytes));
  return settings->Load(stream.Get());
}

// Reads succeed up to byte `failAt`; the read that would pass it fails with `code`.
class FailingStream final : public ComObject<IStream> {
 public:
  FailingStream(Bytes bytes, std::size_t failAt, HRESULT code)
      : mBytes(std::move(bytes)), mFailAt(failAt), mCode(code) {}
  HRESULT Read(void* buf, std::uint32_t cb, std::uint32_t* read) override {
    if (read) *read = 0;
    if (mPos + cb > mFailAt) return mCode;
    std::copy(mBytes.begin() + static_cast<std::ptrdiff_t>(mPos),
              mBytes.begin() + static_cast<std::ptrdiff_t>(mPos + cb), static_cast<std::uint8_t*>(buf));
    mPos += cb;
    if (read) *read = cb;
    return S_OK;
  }
  HRESULT Write(const void*, std::uint32_t, std::uint32_t*) override { return E_NOTIMPL; }
  HRESULT Seek(std::int64_t, std::int32_t, std::uint64_t*) override { return E_NOTIMPL; }
  HRESULT GetSize(std::uint64_t* size) override {
    *size = mBytes.size();
    return S_OK;
  }

 private:
  Bytes mBytes;
  std::size_t mFailAt;
  HRESULT mCode;
  std::size_t mPos = 0;
};

}  // namespace Spirometry::testing
