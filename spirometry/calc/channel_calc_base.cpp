#include "spirometry/calc/channel_calc_base.h"

#include <cmath>

namespace Spirometry {

namespace {
constexpr std::uint32_t kOwnChannelFlags = 0x80001001;
constexpr std::uint32_t kOtherChannelFlags = 0xC0001000;
constexpr std::int32_t kSourceReserved = INT32_MIN;
// The range spans raw -32000 to +32000.
constexpr double kRawSpan = 64000.0;
}  // namespace

ChannelCalcBase::ChannelCalcBase(ICalcSite* site) : mSite(site) {
  std::int32_t channel = kNoChannel;
  if (mSite && Succeeded(mSite->GetChannel(&channel))) mChannel = channel;
}

std::uint32_t ChannelCalcBase::SourceFlags(std::int32_t source, std::int32_t own) {
  return source == own ? kOwnChannelFlags : kOtherChannelFlags;
}

HRESULT ChannelCalcBase::GetSite(ICalcSite** site) {
  if (!site) return E_POINTER;
  return mSite.CopyTo(site);
}

HRESULT ChannelCalcBase::SendAndApply(const OutputDescription& d, bool force) {
  if (!mSite) return E_FAIL;
  std::wstring className;
  HRESULT hr = mSite->GetClassName(&className);
  if (Failed(hr)) return hr;
  if (force && Failed(hr = mSite->Rebind(className.c_str()))) return hr;

  const CCalcEnumSourceInfo source{d.sourceChannel, SourceFlags(d.sourceChannel, mChannel), kSourceReserved};
  // A range without width would make the scaling infinite.
  const double top = std::fabs(d.top - d.bottom) < 1e-5 ? d.top + 1.0 : d.top;
  const double scale = (top - d.bottom) / kRawSpan;
  const double offset = (top + d.bottom) / 2.0;
  mInverseScale = 1.0 / scale;
  mOutputOffset = -offset;

  if (Failed(hr = mSite->SetSources(1, &source))) return hr;
  if (Failed(hr = mSite->SetOutputScaling(scale, offset))) return hr;
  if (Failed(hr = mSite->SetParameterString(d.parameters.c_str()))) return hr;
  // The units go out with the description too, so that the channel shows them before its first record is read.
  if (Failed(hr = SendUnits(d.units, d.prefixCode, d.valueFactor))) return hr;
  return mSite->Apply(kCalcApplyRecompute);
}

HRESULT ChannelCalcBase::SendLimits(double high, double low, std::int32_t formatCode) {
  if (!mSite) return E_FAIL;
  return mSite->SetOutputLimits((mOutputOffset + high) * mInverseScale, (mOutputOffset + low) * mInverseScale,
                                formatCode);
}

HRESULT ChannelCalcBase::SendUnits(const std::wstring& units, std::int32_t prefixCode, double valueFactor) {
  if (!mSite) return E_FAIL;
  return mSite->SetOutputUnits(units.c_str(), prefixCode, valueFactor);
}

}  // namespace Spirometry
