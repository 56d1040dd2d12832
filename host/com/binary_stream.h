#pragma once
// Little-endian reader and writer of settings over an IStream.
//
// The stream remembers its first failure and skips every later transfer, so a persisted object can
// read or write its whole layout and check the result once (or after the items whose failure matters).
// A read that delivers fewer bytes than asked counts as a failure (E_FAIL unless the stream reported a
// failure code of its own); the value read into stays unchanged.
#include <cstdint>
#include <string>

#include "host/com/istream.h"

class BinaryStream {
 public:
  explicit BinaryStream(IStream* stream) : mStream(stream) {}

  bool Ok() const { return Succeeded(mStatus); }
  // S_OK, or the first failure.
  HRESULT Status() const { return mStatus; }

  BinaryStream& ReadInt32(std::int32_t& v);
  BinaryStream& ReadByte(std::uint8_t& v);
  BinaryStream& ReadFloat(float& v);
  BinaryStream& ReadDouble(double& v);
  // Host string: int32 marker 0x80000001, int32 n (UTF-16 code units), int32 -n, n UTF-16 units.
  BinaryStream& ReadString(std::wstring& v);

  BinaryStream& WriteInt32(std::int32_t v);
  BinaryStream& WriteByte(std::uint8_t v);
  BinaryStream& WriteFloat(float v);
  BinaryStream& WriteDouble(double v);
  BinaryStream& WriteString(const std::wstring& v);

  static constexpr std::int32_t kStringMarker = static_cast<std::int32_t>(0x80000001u);
  // Longest string accepted on reading, in UTF-16 units; longer lengths are treated as damage.
  static constexpr std::int32_t kMaxStringUnits = 1 << 24;

 private:
  bool ReadBytes(void* buf, std::uint32_t n);
  bool WriteBytes(const void* buf, std::uint32_t n);

  IStream* mStream;
  HRESULT mStatus = S_OK;
};
