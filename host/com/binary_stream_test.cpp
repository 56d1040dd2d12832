#include "host/com/binary_stream.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/com/memory_stream.h"

namespace {
using Bytes = std::vector<std::uint8_t>;

// A stream that accepts or delivers only `limit` bytes in all, then fails.
class LimitedStream final : public ComObject<IStream> {
 public:
  LimitedStream(Bytes bytes, std::size_t limit) : mBytes(std::move(bytes)), mLimit(limit) {}
  HRESULT Read(void* buf, std::uint32_t cb, std::uint32_t* read) override {
    std::size_t n =
        std::min<std::size_t>({cb, mLimit - std::min(mLimit, mPos), mBytes.size() - std::min(mBytes.size(), mPos)});
    std::memcpy(buf, mBytes.data() + mPos, n);
    mPos += n;
    *read = static_cast<std::uint32_t>(n);
    return n == cb ? S_OK : static_cast<HRESULT>(0x80030003u);  // a storage failure of its own
  }
  HRESULT Write(const void*, std::uint32_t cb, std::uint32_t* written) override {
    std::size_t n = std::min<std::size_t>(cb, mLimit - std::min(mLimit, mPos));
    mPos += n;
    *written = static_cast<std::uint32_t>(n);
    ++mWrites;
    return n == cb ? S_OK : E_FAIL;
  }
  HRESULT Seek(std::int64_t, std::int32_t, std::uint64_t*) override { return E_NOTIMPL; }
  HRESULT GetSize(std::uint64_t* s) override {
    *s = mBytes.size();
    return S_OK;
  }
  int mWrites = 0;

 private:
  Bytes mBytes;
  std::size_t mLimit, mPos = 0;
};
}  // namespace

TEST(BinaryStream, WritesLittleEndianPrimitivesByteForByte) {
  auto ms = MakeCom<MemoryStream>();
  BinaryStream s(ms.Get());
  s.WriteInt32(0x000F1206).WriteByte(1).WriteFloat(1.0f).WriteDouble(-2.0).WriteInt32(-1);
  ASSERT_TRUE(s.Ok());
  Bytes expected = {0x06, 0x12, 0x0F, 0x00, 0x01, 0x00, 0x00, 0x80, 0x3F, 0,   0,
                    0,    0,    0,    0,    0x00, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(ms->Bytes(), expected);
}

TEST(BinaryStream, WritesHostStringsWithMarkerLengthAndNegatedLength) {
  struct Case {
    std::wstring text;
    Bytes bytes;
  };
  const Case cases[] = {
      {L"", {0x01, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0}},
      {L"L/s", {0x01, 0, 0, 0x80, 3, 0, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF, 'L', 0, '/', 0, 's', 0}},
      // The micro sign is one UTF-16 unit; a character beyond the BMP is two.
      {L"\u00B5L", {0x01, 0, 0, 0x80, 2, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0xB5, 0x00, 'L', 0}},
      {L"\U0001F600", {0x01, 0, 0, 0x80, 2, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x3D, 0xD8, 0x00, 0xDE}},
  };
  for (const auto& c : cases) {
    auto ms = MakeCom<MemoryStream>();
    BinaryStream w(ms.Get());
    w.WriteString(c.text);
    EXPECT_EQ(ms->Bytes(), c.bytes);
    ms->Rewind();
    std::wstring back = L"unchanged";
    BinaryStream r(ms.Get());
    r.ReadString(back);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(back, c.text);
  }
}

TEST(BinaryStream, ReadsValuesFromHandWrittenBytes) {
  auto ms = MakeCom<MemoryStream>(Bytes{0x03, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0x00, 0x00, 0xC0, 0x3F});
  BinaryStream s(ms.Get());
  std::int32_t v = 0;
  std::uint8_t b = 0;
  double d = 0;
  float f = 0;
  s.ReadInt32(v).ReadByte(b).ReadDouble(d).ReadFloat(f);
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(v, 3);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(d, 1.0);
  EXPECT_EQ(f, 1.5f);
}

TEST(BinaryStream, RemembersTheFirstFailureAndSkipsLaterTransfers) {
  // Six bytes: the int32 reads, the double fails short, everything after is skipped.
  auto ls = MakeCom<LimitedStream>(Bytes{7, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9}, 6);
  BinaryStream s(ls.Get());
  std::int32_t a = 0, c = 42;
  double d = 5.0;
  s.ReadInt32(a).ReadDouble(d).ReadInt32(c);
  EXPECT_EQ(a, 7);
  EXPECT_EQ(d, 5.0) << "a short read leaves the value unchanged";
  EXPECT_EQ(c, 42) << "transfers after a failure are skipped";
  EXPECT_EQ(s.Status(), static_cast<HRESULT>(0x80030003u)) << "the stream's own failure code is kept";

  auto ws = MakeCom<LimitedStream>(Bytes{}, 5);
  BinaryStream w(ws.Get());
  w.WriteInt32(1).WriteInt32(2).WriteInt32(3);
  EXPECT_FALSE(w.Ok());
  EXPECT_EQ(ws->mWrites, 2) << "the third write is never attempted";
}

TEST(BinaryStream, ShortReadOfASuccessfulStreamIsEFail) {
  auto ms = MakeCom<MemoryStream>(Bytes{1, 2});
  BinaryStream s(ms.Get());
  std::int32_t v = 9;
  s.ReadInt32(v);
  EXPECT_EQ(s.Status(), E_FAIL);
  EXPECT_EQ(v, 9);
}

TEST(BinaryStream, RefusesDamagedStrings) {
  const Bytes cases[] = {
      {0x02, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0},                      // wrong marker
      {0x01, 0, 0, 0x80, 1, 0, 0, 0, 0x01, 0, 0, 0, 'a', 0},           // -n does not match n
      {0x01, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0, 0, 0x80},    // absurd length
      {0x01, 0, 0, 0x80, 2, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 'a', 0},  // truncated text
  };
  for (const auto& bytes : cases) {
    auto ms = MakeCom<MemoryStream>(bytes);
    BinaryStream s(ms.Get());
    std::wstring v = L"keep";
    s.ReadString(v);
    EXPECT_FALSE(s.Ok());
    EXPECT_EQ(v, L"keep");
  }
}
