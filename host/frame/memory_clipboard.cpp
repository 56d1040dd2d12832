#include "host/frame/memory_clipboard.h"

namespace kymora {

HRESULT MemoryClipboard::RegisterFormat(const wchar_t* name, std::uint32_t* format) {
  if (!name || !format) return E_POINTER;
  auto [it, added] = mFormats.emplace(name, static_cast<std::uint32_t>(0xC000 + mFormats.size()));
  *format = it->second;
  return S_OK;
}

HRESULT MemoryClipboard::Open(std::uintptr_t) {
  if (mRefusals > 0) {
    --mRefusals;
    return E_FAIL;
  }
  if (mOpen) return E_FAIL;
  mOpen = true;
  return S_OK;
}

HRESULT MemoryClipboard::Empty() {
  if (!mOpen) return E_FAIL;
  mData.clear();
  return S_OK;
}

HRESULT MemoryClipboard::SetData(std::uint32_t format, const void* bytes, std::uint32_t size) {
  if (!mOpen) return E_FAIL;
  if (size && !bytes) return E_POINTER;
  auto* p = static_cast<const std::uint8_t*>(bytes);
  mData[format].assign(p, p + size);
  return S_OK;
}

HRESULT MemoryClipboard::Close() {
  if (!mOpen) return E_FAIL;
  mOpen = false;
  return S_OK;
}

std::vector<std::uint8_t> MemoryClipboard::Data(std::uint32_t format) const {
  auto it = mData.find(format);
  return it == mData.end() ? std::vector<std::uint8_t>() : it->second;
}

std::vector<std::uint8_t> MemoryClipboard::Data(const std::wstring& formatName) const {
  auto it = mFormats.find(formatName);
  return it == mFormats.end() ? std::vector<std::uint8_t>() : Data(it->second);
}

}  // namespace kymora
