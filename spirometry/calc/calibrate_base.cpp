#include "spirometry/calc/calibrate_base.h"

#include <algorithm>
#include <cmath>
#include <functional>
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

constexpr std::int32_t kPiece = 65536;  // samples read at a time: the recording's own chunk size

// The least-squares slope of y against x over the pairs where both are finite, from two passes over the
// same pairs: the first gives the means, the second the sums of the deviations from them. Centring on the
// means keeps long selections from losing their digits to cancellation.
class SlopeFit {
 public:
  void AddFirst(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    mSx += x;
    mSy += y;
    ++mN;
  }
  // Between the passes; false when fewer than two pairs count.
  bool Centre() {
    if (mN < 2) return false;
    mMx = mSx / static_cast<double>(mN);
    mMy = mSy / static_cast<double>(mN);
    return true;
  }
  void AddSecond(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    mSxx += (x - mMx) * (x - mMx);
    mSyy += (y - mMy) * (y - mMy);
    mSxy += (x - mMx) * (y - mMy);
  }
  // Nothing when either variable does not vary.
  std::optional<double> Slope() const {
    constexpr double kEpsilon = 2.220446049250313e-16;
    const auto n = static_cast<double>(mN);
    if (mSxx / n <= kEpsilon || mSyy / n <= kEpsilon) return std::nullopt;
    return mSxy / mSxx;
  }

 private:
  double mSx = 0, mSy = 0, mMx = 0, mMy = 0, mSxx = 0, mSyy = 0, mSxy = 0;
  std::size_t mN = 0;
};

// The expired volume beyond the dead space (beyond) and the rest (remaining) of a flow, sample by sample.
class DeadSpaceSplit {
 public:
  explicit DeadSpaceSplit(double deadSpace) : mDeadSpace(deadSpace) {}
  void Add(float sample, double dt, bool first) {
    if (first) mTracker = sample < 0.0f ? mDeadSpace : 0.0;
    if (!std::isfinite(sample)) return;
    const double v = static_cast<double>(sample) * dt;
    mTracker = std::clamp(mTracker + v, 0.0, mDeadSpace);
    if (v < 0.0 && mTracker <= 0.0)
      mBeyond += v;
    else
      mRemaining += v;
  }
  double Beyond() const { return mBeyond; }
  double Remaining() const { return mRemaining; }

 private:
  double mDeadSpace;
  double mTracker = 0.0, mBeyond = 0.0, mRemaining = 0.0;
};

// The totals of a full expiration from a starting sample on, in single precision.
struct ExpirationTotals {
  float tracker = 0.0f, expired = 0.0f, deadSpaceShare = 0.0f, inspired = 0.0f;
  void Add(float v, float deadSpace) {
    if (!std::isfinite(v)) return;
    tracker = std::max(tracker - v, 0.0f);
    if (v < 0.0f) {
      if (tracker > deadSpace) {
        tracker = deadSpace;
        expired += v;
      } else {
        deadSpaceShare += v;
      }
    } else {
      inspired += v;
    }
  }
};
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
  // A missing sample adds nothing.
  for (std::size_t i = 1; i < mSamples.size(); ++i)
    mRunning[i] = std::isfinite(mSamples[i - 1]) ? mRunning[i - 1] + mSamples[i - 1] * dt : mRunning[i - 1];
  mIntegral = mRunning.empty() ? 0.0f : mRunning.back();
}

std::int64_t CalibrateBase::ForEachPiece(std::int64_t count,
                                         const std::function<void(const float*, std::int64_t)>& use) {
  ComPtr<IEnumFloatEx> reader;
  if (Failed(mHost->OpenReader(mFlags, mChannel, mStart, mEnd, reader.Put())) || !reader) return -1;
  mPiece.resize(static_cast<std::size_t>(std::min<std::int64_t>(kPiece, std::max<std::int64_t>(count, 1))));
  std::int64_t done = 0;
  while (done < count) {
    const auto want =
        static_cast<std::int32_t>(std::min<std::int64_t>(static_cast<std::int64_t>(mPiece.size()), count - done));
    std::int32_t got = 0;
    HRESULT hr = reader->Read(want, mPiece.data(), &got);
    got = std::clamp(got, 0, want);
    if (got > 0) use(mPiece.data(), got);
    done += got;
    if (got <= 0 || Failed(hr)) break;
  }
  return done;
}

double CalibrateBase::VolumeRatio(IChannelData* document, DataPosition start, DataPosition end,
                                  std::int32_t flowChannel, std::int32_t correctionType, double deadSpaceMl) try {
  mHost = document;
  mDocument = document;
  SetChannel(flowChannel, mOwnChannel);
  SetRange(start, end);
  if (!Validate(nullptr, kMsgRatioNeedsSelection, kRatioFlags) || mCount == 0) return 1.0;
  if (Failed(mHost->GetSecsPerTick(mFlags, mStart.block, mChannel, &mSampleInterval))) return 1.0;
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
  // Nothing thrown at the caller: no ratio.
  return 1.0;
}

// Lines fitted by least squares to the running expired volume beyond the dead space and to the rest, both
// against time. The means of the first pass centre the sums of the second, so the selection is read twice
// (without being kept); the second time only when there is expiration beyond the dead space to fit.
double CalibrateBase::NormalBreathsRatio(double d) {
  const double dt = mSampleInterval;
  DeadSpaceSplit split(d);
  SlopeFit expiredFit, restFit;
  std::int64_t i = 0;
  const std::int64_t n = ForEachPiece(mCount, [&](const float* x, std::int64_t count) {
    for (std::int64_t k = 0; k < count; ++k, ++i) {
      split.Add(x[k], dt, i == 0);
      const double t = static_cast<double>(i) * dt;
      expiredFit.AddFirst(t, split.Beyond());
      restFit.AddFirst(t, split.Remaining());
    }
  });
  if (n <= 0 || !(split.Beyond() < 0.0) || !expiredFit.Centre() || !restFit.Centre()) return 1.0;
  DeadSpaceSplit again(d);
  i = 0;
  if (ForEachPiece(n, [&](const float* x, std::int64_t count) {
        for (std::int64_t k = 0; k < count; ++k, ++i) {
          again.Add(x[k], dt, i == 0);
          const double t = static_cast<double>(i) * dt;
          expiredFit.AddSecond(t, again.Beyond());
          restFit.AddSecond(t, again.Remaining());
        }
      }) != n)
    return 1.0;
  auto expired = expiredFit.Slope();
  auto rest = restFit.Slope();
  if (!expired || !rest) return 1.0;
  return -*expired / *rest;
}

// From the lowest point of the running integral in the first third of the selection to the lowest in the
// last third, in one pass: the totals restart at each new lowest point of the first third, and are taken
// as they stand at each new lowest point of the last third.
double CalibrateBase::FullExpirationRatio(double deadSpace) {
  const auto dt = static_cast<float>(mSampleInterval);
  const auto d = static_cast<float>(deadSpace);
  const std::int64_t n = mCount;
  // 2n/3 without forming 2n, which a count taken from positions could make overflow.
  const std::int64_t firstThird = n / 3, lastThird = n - n / 3 - (n % 3 != 0);
  float running = 0.0f, previous = 0.0f, lowestFirst = 0.0f, lowestLast = 0.0f;
  ExpirationTotals totals, atLowest;
  std::int64_t i = 0;
  const std::int64_t read = ForEachPiece(n, [&](const float* x, std::int64_t count) {
    for (std::int64_t k = 0; k < count; ++k, ++i) {
      if (i > 0 && std::isfinite(previous)) running += previous * dt;
      previous = x[k];
      if (i == 0 || (i < firstThird && running < lowestFirst)) {
        lowestFirst = running;
        totals = {};
      }
      totals.Add(x[k] * dt, d);
      if (i == lastThird || (i > lastThird && running < lowestLast)) {
        lowestLast = running;
        atLowest = totals;
      }
    }
  });
  // The thirds are those of what could be read.
  if (read != n) {
    if (read <= 0) return 1.0;
    mCount = read;
    return FullExpirationRatio(deadSpace);
  }
  if (atLowest.inspired + atLowest.deadSpaceShare == 0.0f) return 0.0;
  return -static_cast<double>(atLowest.expired) / static_cast<double>(atLowest.inspired + atLowest.deadSpaceShare);
}

}  // namespace Spirometry
