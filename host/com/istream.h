#pragma once
// A sequential byte stream with a position, as persisted objects read and write it.
// Implemented by the host (document streams, memory) and by tests (truncating, failing streams).
#include <cstdint>

#include "host/com/iunknown.h"

struct IStream : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{0000000C-0000-0000-C000-000000000046}");
  enum Origin : std::int32_t { kSeekSet = 0, kSeekCur = 1, kSeekEnd = 2 };

  // in: buf, cb; out: *read (may be null). Reads up to cb bytes at the position. Returns S_OK when cb bytes
  // were read, S_FALSE when fewer were (end of stream), a failure when nothing could be read at all.
  virtual HRESULT Read(void* buf, std::uint32_t cb, std::uint32_t* read) = 0;  // slot 3
  // in: buf, cb; out: *written (may be null). S_OK when all cb bytes were taken.
  virtual HRESULT Write(const void* buf, std::uint32_t cb, std::uint32_t* written) = 0;  // slot 4
  // Moves the position; out: *newPosition (may be null).
  virtual HRESULT Seek(std::int64_t move, std::int32_t origin, std::uint64_t* newPosition) = 0;  // slot 5
  // out: total size in bytes.
  virtual HRESULT GetSize(std::uint64_t* size) = 0;  // slot 6
};
