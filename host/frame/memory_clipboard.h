#pragma once
// A clipboard in memory, for the command line and tests: formats by id with their bytes. It can be told to
// refuse opening, to stand for a clipboard held by another program. Format names are registered for the
// whole process, as on a desktop: every memory clipboard gives a name the same id.
#include <map>
#include <string>
#include <vector>

#include "host/com/com_object.h"
#include "host/frame/iclipboard.h"

namespace kymora {

// The process-wide table of format names behind every clipboard's RegisterFormat: a name gives the same id
// for the life of the process. ClipboardFormatName is empty for an id never given out.
std::uint32_t RegisterClipboardFormatName(const std::wstring& name);
std::wstring ClipboardFormatName(std::uint32_t format);

class MemoryClipboard final : public ComObject<IClipboard> {
 public:
  HRESULT RegisterFormat(const wchar_t* name, std::uint32_t* format) override;
  HRESULT Open(std::uintptr_t owner) override;
  HRESULT Empty() override;
  HRESULT SetData(std::uint32_t format, const void* bytes, std::uint32_t size) override;
  HRESULT Close() override;

  // The bytes placed under a format (empty when none), and under a registered name.
  std::vector<std::uint8_t> Data(std::uint32_t format) const;
  std::vector<std::uint8_t> Data(const std::wstring& formatName) const;
  bool Has(std::uint32_t format) const { return mData.count(format) != 0; }
  // Makes the next `count` Open calls fail.
  void RefuseOpens(int count) { mRefusals = count; }

 private:
  std::map<std::uint32_t, std::vector<std::uint8_t>> mData;
  bool mOpen = false;
  int mRefusals = 0;
};

}  // namespace kymora
