#pragma once
// A clipboard in memory that also takes pictures, for the command line: a picture placed on it is drawn
// as SVG and PNG and kept under the formats "image/svg+xml" and "image/png" of the memory clipboard it
// wraps, from which the command line writes them to files.
#include "host/com/com_object.h"
#include "host/frame/memory_clipboard.h"
#include "host/ui/iclipboard_picture.h"

namespace kymora::ui {

inline constexpr wchar_t kSvgFormatName[] = L"image/svg+xml";
inline constexpr wchar_t kPngFormatName[] = L"image/png";

class PictureClipboard final : public ComObject<IClipboard, IClipboardPicture> {
 public:
  explicit PictureClipboard(ComPtr<MemoryClipboard> inner) : mInner(std::move(inner)) {}
  HRESULT RegisterFormat(const wchar_t* name, std::uint32_t* format) override {
    return mInner->RegisterFormat(name, format);
  }
  HRESULT Open(std::uintptr_t owner) override { return mInner->Open(owner); }
  HRESULT Empty() override { return mInner->Empty(); }
  HRESULT SetData(std::uint32_t format, const void* bytes, std::uint32_t size) override {
    return mInner->SetData(format, bytes, size);
  }
  HRESULT Close() override { return mInner->Close(); }
  // Needs a Qt GUI application (fonts); the offscreen platform will do.
  HRESULT SetPicture(IPrintout* drawing, std::int32_t width, std::int32_t height) override;

 private:
  ComPtr<MemoryClipboard> mInner;
};

}  // namespace kymora::ui
