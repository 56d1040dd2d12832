#include "host/frame/memory_clipboard.h"

#include <mutex>

namespace kymora {

namespace {
std::mutex gFormatLock;
std::map<std::wstring, std::uint32_t>& Formats() {
  static auto* formats = new std::map<std::wstring, std::uint32_t>();  // lives for the process
  return *formats;
}
}  // namespace

std::uint32_t RegisterClipboardFormatName(const std::wstring& name) {
  std::lock_guard g(gFormatLock);
  auto& formats = Formats();
  auto [it, added] = formats.emplace(name, static_cast<std::uint32_t>(0xC000 + formats.size()));
  return it->second;
}

std::wstring ClipboardFormatName(std::uint32_t format) {
  std::lock_guard g(gFormatLock);
  for (const auto& [name, id] : Formats())
    if (id == format) return name;
  return {};
}

HRESULT MemoryClipboard::RegisterFormat(const wchar_t* name, std::uint32_t* format) {
  if (!name || !format) return E_POINTER;
  *format = RegisterClipboardFormatName(name);
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
  std::uint32_t format = 0;
  {
    std::lock_guard g(gFormatLock);
    auto it = Formats().find(formatName);
    if (it == Formats().end()) return {};
    format = it->second;
  }
  return Data(format);
}

}  // namespace kymora
