#include "host/expr/detector_settings.h"

#include <charconv>
#include <cmath>
#include <cwctype>

#include "host/data/iunits_conversion.h"
#include "host/expr/cycle_events.h"
#include "host/expr/sample_function.h"

namespace kymora::expr {

namespace {
constexpr std::int32_t kLevel = 3, kQuiet = 5, kWindow = 8, kBaseline = 9;

struct Range {
  double lo, hi, fallback;
};
const std::map<std::int32_t, Range>& Ranges() {
  static const std::map<std::int32_t, Range> ranges{{kLevel, {0.0, 100.0, 1.0}},
                                                    {kQuiet, {0.0, kMaxCycleQuietSeconds, 0.25}},
                                                    {kWindow, {1.0, kMaxCycleWindow, 1.0}},
                                                    {kBaseline, {-1e300, 1e300, 0.0}}};
  return ranges;
}

std::wstring Number(double v) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::wstring(buf, ec == std::errc() ? end : buf);
}

// The zero-based channel of "ChN", or -1.
std::int32_t ChannelOf(std::wstring_view source) {
  if (source.size() < 3 || std::towlower(static_cast<wint_t>(source[0])) != L'c' ||
      std::towlower(static_cast<wint_t>(source[1])) != L'h')
    return -1;
  std::int64_t n = 0;
  for (wchar_t c : source.substr(2)) {
    if (c < L'0' || c > L'9' || n > 100000000) return -1;
    n = n * 10 + (c - L'0');
  }
  return n >= 1 ? static_cast<std::int32_t>(n - 1) : -1;
}
}  // namespace

DetectorSettings::DetectorSettings(ComPtr<IChannelData> data) : mData(std::move(data)) { SetDefaults(); }

HRESULT DetectorSettings::SetDefaults() {
  mValues.clear();
  for (const auto& [index, range] : Ranges()) mValues[index] = range.fallback;
  return S_OK;
}

HRESULT DetectorSettings::SetParameter(std::int32_t index, double value) {
  auto it = Ranges().find(index);
  if (it == Ranges().end() || !(value >= it->second.lo && value <= it->second.hi)) return E_INVALIDARG;
  if (index == kWindow && value != std::floor(value)) return E_INVALIDARG;
  mValues[index] = value;
  return S_OK;
}

HRESULT DetectorSettings::GetParameter(std::int32_t index, double* value) {
  if (!value) return E_POINTER;
  auto it = mValues.find(index);
  if (it == mValues.end()) return E_INVALIDARG;
  *value = it->second;
  return S_OK;
}

HRESULT DetectorSettings::GetText(const wchar_t* source, std::int32_t block, std::int32_t channel, std::uint32_t flags,
                                  std::wstring* text) {
  if (!source || !text) return E_POINTER;
  if (!mData) return E_UNEXPECTED;
  return Guarded([&]() -> HRESULT {
    if (channel < 0) channel = ChannelOf(source);
    if (channel < 0) return E_INVALIDARG;
    ComPtr<IUnitsConversion> conversion;
    HRESULT hr = mData->GetUnitsConversion(flags, block, channel, conversion.Put());
    if (Failed(hr)) return hr;
    if (!conversion) return E_FAIL;
    double fullScale = 0;
    if (Failed(hr = conversion->ValueOfRaw(32000.0, flags, &fullScale))) return hr;
    const double level = std::fabs(fullScale) * mValues[kLevel] / 100.0;
    *text = L"Cycles(" + std::wstring(source) + L"," + Number(level) + L"," + Number(mValues[kQuiet]) + L"," +
            Number(mValues[kWindow]) + L"," + Number(mValues[kBaseline]) + L")";
    return S_OK;
  });
}

}  // namespace kymora::expr
