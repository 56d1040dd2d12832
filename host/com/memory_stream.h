#pragma once
// IStream over a growable byte buffer.
#include <vector>

#include "host/com/com_object.h"
#include "host/com/istream.h"

class MemoryStream final : public ComObject<IStream> {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<std::uint8_t> bytes) : mBytes(std::move(bytes)) {}

  HRESULT Read(void* buf, std::uint32_t cb, std::uint32_t* read) override;
  HRESULT Write(const void* buf, std::uint32_t cb, std::uint32_t* written) override;
  HRESULT Seek(std::int64_t move, std::int32_t origin, std::uint64_t* newPosition) override;
  HRESULT GetSize(std::uint64_t* size) override;

  const std::vector<std::uint8_t>& Bytes() const { return mBytes; }
  void Rewind() { mPos = 0; }

 private:
  std::vector<std::uint8_t> mBytes;
  std::size_t mPos = 0;
};
