#include "host/com/memory_stream.h"

#include <algorithm>
#include <cstring>

HRESULT MemoryStream::Read(void* buf, std::uint32_t cb, std::uint32_t* read) {
  std::size_t avail = mPos < mBytes.size() ? mBytes.size() - mPos : 0;
  std::size_t n = std::min<std::size_t>(cb, avail);
  if (n) std::memcpy(buf, mBytes.data() + mPos, n);
  mPos += n;
  if (read) *read = static_cast<std::uint32_t>(n);
  return n == cb ? S_OK : S_FALSE;
}

HRESULT MemoryStream::Write(const void* buf, std::uint32_t cb, std::uint32_t* written) {
  if (mPos + cb > mBytes.size()) mBytes.resize(mPos + cb);
  if (cb) std::memcpy(mBytes.data() + mPos, buf, cb);
  mPos += cb;
  if (written) *written = cb;
  return S_OK;
}

HRESULT MemoryStream::Seek(std::int64_t move, std::int32_t origin, std::uint64_t* newPosition) {
  std::int64_t base = origin == kSeekSet   ? 0
                      : origin == kSeekCur ? static_cast<std::int64_t>(mPos)
                      : origin == kSeekEnd ? static_cast<std::int64_t>(mBytes.size())
                                           : -1;
  if (base < 0 || base + move < 0) return E_INVALIDARG;
  mPos = static_cast<std::size_t>(base + move);
  if (newPosition) *newPosition = mPos;
  return S_OK;
}

HRESULT MemoryStream::GetSize(std::uint64_t* size) {
  if (!size) return E_POINTER;
  *size = mBytes.size();
  return S_OK;
}
