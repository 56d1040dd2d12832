#include "host/expr/sample_function.h"

#include <cctype>
#include <charconv>
#include <cwctype>
#include <stdexcept>

namespace kymora::expr {

std::optional<std::vector<double>> ParseParameterNumbers(std::wstring_view text) {
  std::vector<double> numbers;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == L'\0') break;
    if (std::iswspace(static_cast<wint_t>(text[i]))) {
      ++i;
      continue;
    }
    std::string word;
    while (i < text.size() && text[i] != L'\0' && !std::iswspace(static_cast<wint_t>(text[i]))) {
      if (text[i] > 0x7F) return std::nullopt;
      word += static_cast<char>(text[i++]);
    }
    double v = 0;
    const char* begin = word.data();
    if (!word.empty() && word[0] == '+') ++begin;
    auto [end, ec] = std::from_chars(begin, word.data() + word.size(), v);
    if (ec != std::errc() || end != word.data() + word.size()) return std::nullopt;
    numbers.push_back(v);
  }
  return numbers;
}

SampleFunction::SampleFunction(const SampleFunction& other)
    : ComObject(),
      mHost(other.mHost),
      mParameterText(other.mParameterText),
      mRecord(other.mRecord),
      mSecsPerTick(other.mSecsPerTick) {}

HRESULT SampleFunction::GetOutputKind(std::uint32_t* kind) {
  if (!kind) return E_POINTER;
  *kind = CalcKind::kSamples;
  return S_OK;
}

HRESULT SampleFunction::SetHost(IChannelData* host) {
  mHost = host;
  return S_OK;
}

HRESULT SampleFunction::SetParameters(const wchar_t* text, std::uint32_t* outputKind) {
  if (outputKind) *outputKind = 0;
  if (!text) return E_POINTER;
  return Guarded([&] {
    auto numbers = ParseParameterNumbers(text);
    if (!numbers) return E_INVALIDARG;
    HRESULT hr = TakeNumbers(*numbers);
    if (Failed(hr)) return hr;
    mParameterText = text;
    if (outputKind) *outputKind = CalcKind::kSamples;
    return S_OK;
  });
}

HRESULT SampleFunction::GetParameters(std::wstring* text) {
  if (!text) return E_POINTER;
  return Guarded([&] {
    *text = mParameterText;
    return S_OK;
  });
}

HRESULT SampleFunction::Clone(ICalcEnum** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guarded([&] {
    *out = static_cast<ICalcEnum*>(Copy().Detach());
    return S_OK;
  });
}

HRESULT SampleFunction::Clone(IEnumFloatEx** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guarded([&] {
    *out = static_cast<IEnumFloatEx*>(Copy().Detach());
    return S_OK;
  });
}

HRESULT SampleFunction::SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t,
                                   double secsPerTick, std::int32_t) {
  if (count < 0 || (count > 0 && !sources)) return E_INVALIDARG;
  return Guarded([&] {
    mRecord = record;
    mSecsPerTick = secsPerTick;
    HRESULT hr = TakeSources(count, sources);
    if (Failed(hr)) return hr;
    return Seek(0);
  });
}

HRESULT SampleFunction::SetPosition(std::int64_t tick) { return Seek(tick); }

HRESULT SampleFunction::ReleaseSources() {
  DropSources();
  return S_OK;
}

HRESULT SampleFunction::GetSecsPerTick(double* secs) {
  if (!secs) return E_POINTER;
  *secs = mSecsPerTick;
  return S_OK;
}

HRESULT SampleFunction::GetUnits(IUnits** units) {
  if (!units) return E_POINTER;
  *units = nullptr;
  return S_OK;
}

HRESULT SampleFunction::SampleSource(std::int32_t count, IUnknown* const* sources, ComPtr<IEnumFloatEx>* out) {
  if (count < 1 || !sources[0]) return E_INVALIDARG;
  HRESULT hr = sources[0]->QueryInterface(IEnumFloatEx::kIid, out->PutVoid());
  return Failed(hr) || !*out ? E_INVALIDARG : S_OK;
}

ComPtr<IEnumFloatEx> SampleFunction::CloneOf(IEnumFloatEx* source) {
  ComPtr<IEnumFloatEx> copy;
  if (!source) return copy;
  if (Failed(source->Clone(copy.Put())) || !copy) throw std::runtime_error("source cannot be cloned");
  return copy;
}

}  // namespace kymora::expr
