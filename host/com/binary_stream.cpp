#include "host/com/binary_stream.h"

#include <bit>
#include <cstring>
#include <vector>

#include "host/com/text.h"

static_assert(std::endian::native == std::endian::little, "the stream layouts are little-endian");

bool BinaryStream::ReadBytes(void* buf, std::uint32_t n) {
  if (!Ok()) return false;
  if (!mStream) {
    mStatus = E_POINTER;
    return false;
  }
  std::uint32_t got = 0;
  HRESULT hr = mStream->Read(buf, n, &got);
  if (Failed(hr) || got != n) {
    mStatus = Failed(hr) ? hr : E_FAIL;
    return false;
  }
  return true;
}

bool BinaryStream::WriteBytes(const void* buf, std::uint32_t n) {
  if (!Ok()) return false;
  if (!mStream) {
    mStatus = E_POINTER;
    return false;
  }
  std::uint32_t put = 0;
  HRESULT hr = mStream->Write(buf, n, &put);
  if (Failed(hr) || put != n) {
    mStatus = Failed(hr) ? hr : E_FAIL;
    return false;
  }
  return true;
}

BinaryStream& BinaryStream::ReadInt32(std::int32_t& v) {
  std::int32_t t;
  if (ReadBytes(&t, 4)) v = t;
  return *this;
}
BinaryStream& BinaryStream::ReadByte(std::uint8_t& v) {
  std::uint8_t t;
  if (ReadBytes(&t, 1)) v = t;
  return *this;
}
BinaryStream& BinaryStream::ReadFloat(float& v) {
  float t;
  if (ReadBytes(&t, 4)) v = t;
  return *this;
}
BinaryStream& BinaryStream::ReadDouble(double& v) {
  double t;
  if (ReadBytes(&t, 8)) v = t;
  return *this;
}

BinaryStream& BinaryStream::ReadString(std::wstring& v) {
  std::int32_t marker = 0, n = 0, negN = 0;
  ReadInt32(marker).ReadInt32(n).ReadInt32(negN);
  if (!Ok()) return *this;
  if (marker != kStringMarker || n < 0 || n > kMaxStringUnits || negN != -n) {
    mStatus = E_FAIL;
    return *this;
  }
  std::u16string units(static_cast<std::size_t>(n), u'\0');
  if (n && !ReadBytes(units.data(), static_cast<std::uint32_t>(n) * 2)) return *this;
  v = FromUtf16(units);
  return *this;
}

BinaryStream& BinaryStream::WriteInt32(std::int32_t v) {
  WriteBytes(&v, 4);
  return *this;
}
BinaryStream& BinaryStream::WriteByte(std::uint8_t v) {
  WriteBytes(&v, 1);
  return *this;
}
BinaryStream& BinaryStream::WriteFloat(float v) {
  WriteBytes(&v, 4);
  return *this;
}
BinaryStream& BinaryStream::WriteDouble(double v) {
  WriteBytes(&v, 8);
  return *this;
}
BinaryStream& BinaryStream::WriteString(const std::wstring& v) {
  std::u16string units = ToUtf16(v);
  auto n = static_cast<std::int32_t>(units.size());
  WriteInt32(kStringMarker).WriteInt32(n).WriteInt32(-n);
  if (n) WriteBytes(units.data(), static_cast<std::uint32_t>(n) * 2);
  return *this;
}
