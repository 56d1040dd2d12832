#include "spirometry/calc/calibrate_base.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "host/calc/ienum_float_ex.h"
#include "host/data/iunits.h"
#include "spirometry/calc/units_check.h"
#include "spirometry/resources/string_table.h"

namespace Spirometry {

namespace {
constexpr int kMsgChannelNotSet = 20;
constexpr int kMsgNoSelection = 21;
constexpr int kMsgSeveralBlocks = 22;
constexpr int kMsgNoData = 23;
constexpr int kMsgRatioNeedsSelection = 48;
constexpr int kMsgCalibrationNeedsSelection = 49;
constexpr std::uint32_t kRatioFlags = 0xC0001000;
constexpr std::int32_t kReadBlock = 4096;

// Slope of the least-squares line through the finite pairs; nothing when fewer than two or either
// variable does not vary.
std::optional<double> FitSlope(const std::vector<double>& x, const std::vector<double>& y) {
  double sx = 0, sy = 0;
  std::size_t n = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
    sx += x[i];
    sy += y[i];
    ++n;
  }
  if (n < 2) return std::nullopt;
  const double mx = sx / static_cast<double>(n), my = sy / static_cast<double>(n);
  double sxx = 0, syy = 0, sxy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
    sxx += (x[i] - mx) * (x[i] - mx);
    syy += (y[i] - my) * (y[i] - my);
    sxy += (x[i] - mx) * (y[i] - my);
  }
  constexpr double kEpsilon = 2.220446049250313e-16;
  if (sxx / static_cast<double>(n) <= kEpsilon || syy / static_cast<double>(n) <= kEpsilon) return std::nullopt;
  return sxy / sxx;
}
}  // namespace

CalibrateBase::CalibrateBase(IChannelData* host, IChannelData* document) : mHost(host), mDocument(document) {}

void CalibrateBase::SetChannel(std::int32_t channel, std::int32_t ownChannel) {
  mChannel = channel;
  mOwnChannel = ownChannel;
}

void CalibrateBase::SetRange(DataPosition start, DataPosition end) {
  mRange[0] = start.offset;
  mRange[1] = start.block;
  mRange[2] = end.offset;
  mRange[3] = end.block;
}

bool CalibrateBase::Validate(std::wstring* message) {
  const std::uint32_t flags = (mChannel == mOwnChannel ? 0x1u : 0x40000000u) | 0x80001000u;
  return Validate(message, kMsgCalibrationNeedsSelection, flags);
}

bool CalibrateBase::Validate(std::wstring* message, int defaultMessage, std::uint32_t flags) try {
  std::wstring ignored;
  std::wstring& text = message ? *message : ignored;
  text = LoadString(defaultMessage);
  mCount = 0;
  auto fail = [&](int id) {
    text = LoadString(id);
    return false;
  };
  if (mChannel < 0) return fail(kMsgChannelNotSet);
  if (!mHost) return fail(kMsgNoSelection);
  DataPosition start{mRange[0], mRange[1]}, end{mRange[2], mRange[3]};
  const auto notSet = [](DataPosition p) {
    return p.offset == DataPosition::kNotSet || p.block == DataPosition::kNotSet;
  };
  if (notSet(start) || notSet(end)) {
    Bool16 valid = kFalse16;
    if (!mDocument || Failed(mDocument->GetSelection(&valid, &start, &end)) || !valid) return fail(kMsgNoSelection);
  }
  if (start.block != end.block) return fail(kMsgSeveralBlocks);
  if (mHost->HasData(flags, start.block, mChannel) != S_OK) return fail(kMsgNoData);
  std::int64_t first = 0, last = 0;
  if (Failed(mHost->GetAbsoluteSampleIndex(flags, start, &first)) ||
      Failed(mHost->GetAbsoluteSampleIndex(flags, end, &last)))
    return fail(kMsgNoSelection);
  // An end before the start is no selection either.
  if (last < first) return fail(kMsgNoSelection);
  mCount = last - first;
  mStart = start;
  mEnd = end;
  mFlags = flags;
  text.clear();
  return true;
} catch (...) {
  mCount = 0;
  return false;
}

bool CalibrateBase::Read() try {
  mSamples.clear();
  if (!mHost) return false;
  if (Failed(mHost->GetSecsPerTick(mFlags, mStart.block, mChannel, &mSampleInterval))) return false;
  ComPtr<IEnumFloatEx> reader;
  if (Failed(mHost->OpenReader(mFlags, mChannel, mStart, mEnd, reader.Put())) || !reader) return false;
  // The array grows with what the reader delivers rather than by the count up front, which the host
  // derives from positions and which no reader need live up to.
  std::int64_t done = 0;
  while (done < mCount) {
    const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(kReadBlock, mCount - done));
    mSamples.resize(static_cast<std::size_t>(done + want));
    std::int32_t got = 0;
    HRESULT hr = reader->Read(want, mSamples.data() + done, &got);
    done += std::clamp(got, 0, want);
    if (got <= 0 || Failed(hr)) break;
  }
  // Whatever could not be read does not count.
  mCount = done;
  mSamples.resize(static_cast<std::size_t>(done));
  return true;
} catch (...) {
  mSamples.clear();
  mCount = 0;
  return false;
}

void CalibrateBase::Integrate() {
  mRunning.assign(mSamples.size(), 0.0f);
  const auto dt = static_cast<float>(mSampleInterval);
  for (std::size_t i = 1; i < mSamples.size(); ++i) mRunning[i] = mRunning[i - 1] + mSamples[i - 1] * dt;
  mIntegral = mRunning.empty() ? 0.0f : mRunning.back();
}

double CalibrateBase::VolumeRatio(IChannelData* document, DataPosition start, DataPosition end,
                                  std::int32_t flowChannel, std::int32_t correctionType, double deadSpaceMl) try {
  mHost = document;
  mDocument = document;
  SetChannel(flowChannel, mOwnChannel);
  SetRange(start, end);
  if (!Validate(nullptr, kMsgRatioNeedsSelection, kRatioFlags) || !Read() || mSamples.empty()) return 1.0;
  // The flow's volumes keep its litre prefix (mL for a flow in mL/s); so must the dead space.
  ComPtr<IUnits> units;
  std::wstring unitsText;
  if (Succeeded(mHost->GetUnits(mFlags, mStart.block, mChannel, units.Put())) && units) units->GetText(&unitsText);
  // A negative (or NaN) dead space counts as none: the tracker is clamped between 0 and it.
  const double deadSpace = std::max(0.0, deadSpaceMl / 1000.0 * FlowLitreFactor(unitsText));
  double ratio = 1.0;
  if (correctionType == 0)
    ratio = NormalBreathsRatio(deadSpace);
  else if (correctionType == 1)
    ratio = FullExpirationRatio(deadSpace);
  // A fit whose inspiration does not rise, say, gives no usable ratio.
  return std::isfinite(ratio) ? ratio : 1.0;
} catch (...) {
  // Memory for the series of a long selection, say: no ratio, and nothing thrown at the caller.
  return 1.0;
}

double CalibrateBase::NormalBreathsRatio(double d) const {
  const std::size_t n = mSamples.size();
  const double dt = mSampleInterval;
  std::vector<double> time(n), beyond(n, 0.0), remaining(n, 0.0);
  double tracker = mSamples[0] < 0.0f ? d : 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    time[i] = static_cast<double>(i) * dt;
    const double v = static_cast<double>(mSamples[i]) * dt;
    tracker = std::clamp(tracker + v, 0.0, d);
    if (i > 0) {
      beyond[i] = beyond[i - 1];
      remaining[i] = remaining[i - 1];
    }
    if (v < 0.0 && tracker <= 0.0)
      beyond[i] += v;
    else
      remaining[i] += v;
  }
  if (!(beyond[n - 1] < 0.0)) return 1.0;
  auto expired = FitSlope(time, beyond);
  auto rest = FitSlope(time, remaining);
  if (!expired || !rest) return 1.0;
  return -*expired / *rest;
}

double CalibrateBase::FullExpirationRatio(double deadSpace) {
  Integrate();
  const std::size_t n = mSamples.size();
  auto lowest = [&](std::size_t from, std::size_t to) {  // earliest lowest in [from, to)
    std::size_t best = from;
    for (std::size_t i = from; i < to; ++i)
      if (mRunning[i] < mRunning[best]) best = i;
    return best;
  };
  const std::size_t i0 = lowest(0, n / 3);
  const std::size_t i1 = lowest(2 * n / 3, n);
  const auto dt = static_cast<float>(mSampleInterval);
  const auto d = static_cast<float>(deadSpace);
  float tracker = 0.0f, expired = 0.0f, deadSpaceShare = 0.0f, inspired = 0.0f;
  for (std::size_t i = i0; i <= i1; ++i) {
    const float v = mSamples[i] * dt;
    tracker = std::max(tracker - v, 0.0f);
    if (v < 0.0f) {
      if (tracker > d) {
        tracker = d;
        expired += v;
      } else {
        deadSpaceShare += v;
      }
    } else {
      inspired += v;
    }
  }
  if (inspired + deadSpaceShare == 0.0f) return 0.0;
  return -static_cast<double>(expired) / static_cast<double>(inspired + deadSpaceShare);
}

}  // namespace Spirometry
