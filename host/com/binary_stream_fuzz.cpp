// Feeds arbitrary bytes to the binary stream reader the way a settings loader reads them.
#include <cstddef>
#include <cstdint>

#include "host/com/binary_stream.h"
#include "host/com/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto ms = MakeCom<MemoryStream>(std::vector<std::uint8_t>(data, data + size));
  BinaryStream s(ms.Get());
  while (s.Ok()) {
    std::uint8_t kind = 0;
    s.ReadByte(kind);
    std::int32_t i;
    float f;
    double d;
    std::wstring text;
    switch (kind % 4) {
      case 0:
        s.ReadInt32(i);
        break;
      case 1:
        s.ReadFloat(f);
        break;
      case 2:
        s.ReadDouble(d);
        break;
      default:
        s.ReadString(text);
        break;
    }
  }
  return 0;
}
