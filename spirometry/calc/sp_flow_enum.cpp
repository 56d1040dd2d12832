#include "spirometry/calc/sp_flow_enum.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cwchar>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KYMORA_WIDE_FLOW 1
#endif

#include "host/calc/ienum_float_span.h"
#include "host/data/iunits_conversion.h"
#include "spirometry/calc/flow_head_presets.h"
#include "spirometry/calc/parameter_text.h"
#include "spirometry/calc/units_check.h"

namespace Spirometry {

namespace {
// A text this short cannot hold the settings: the enumerator keeps its preset, linear, without drift.
constexpr std::size_t kShortestSettings = 6;
constexpr std::int64_t kDriftWindow = 10;
// 2.5 % of the source's full scale: quieter record ends are taken as the baseline.
constexpr double kQuietFraction = 0.025;
constexpr std::uint32_t kBlockInfoFlags = 0xC0000000;
constexpr double kFullScaleRaw = 32000.0;

const CalcEnums::FunctionTable kTable = {
    L"SpFlowEnum",
    L"1 channel SpFlowEnum",
    CalcEnums::kSampleFunctionCategory,
    {L"SpFlow"},
    {
        {L"Raw Flow channel", ParamKind::kChannel, 0.0, 0.0, 0x80000000},
        {L"Apply drift correction", ParamKind::kNumber, 0.0, 1.0, CalcEnums::kWholeNumberParamFlags},
        {L"Raw flow channel index", ParamKind::kNumber, 0.0, 2147483647.0, CalcEnums::kWholeNumberParamFlags},
        {L"Head scale", ParamKind::kNumber, -3.4028234663852886e38, 3.4028234663852886e38, 0x80000000},
        {L"Non-linear compensation", ParamKind::kNumber, -3.4028234663852886e38, 3.4028234663852886e38, 0x80000000},
    },
    CalcKind::kSamples,
    CalcKind::kSamples,
};

struct EndStats {
  float mean = 0.0f;
  float peak = 0.0f;
  bool finite = false;
};

// Mean and largest magnitude of the next ten samples of a reader.
EndStats ReadEnd(IEnumFloatEx* reader) {
  float samples[kDriftWindow] = {};
  std::int32_t got = 0;
  EndStats s;
  if (Failed(reader->Read(kDriftWindow, samples, &got)) || got != kDriftWindow) return s;
  float sum = 0.0f;
  for (float x : samples) {
    sum += x;
    s.peak = std::fmax(s.peak, std::fabs(x));
  }
  s.mean = static_cast<float>(sum / 10.0);
  // A missing sample at an end is no baseline: without this it would turn the whole record into NaN.
  s.finite = std::isfinite(sum);
  return s;
}
// Recorded samples stream in from memory, and the processor's own prefetcher stops at each 4 KiB page: the
// loops that read them ask, every cache line of samples, for the line a page further on.
constexpr std::int32_t kLineSamples = 64 / sizeof(float);
constexpr std::uintptr_t kAskAheadBytes = 4096;
inline void AskAhead(const float* at) {
  __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(at) + kAskAheadBytes));
}

// Calls loop(from, to) for the samples of each cache line in turn, asking for the line a page on first.
template <class Loop>
void ForEachLine(const float* in, std::int32_t count, Loop&& loop) {
  for (std::int32_t from = 0; from < count; from += kLineSamples) {
    AskAhead(in + from);
    loop(from, std::min(count, from + kLineSamples));
  }
}

// The linear head four samples at a time, as the loop over one sample at a time does it (the products in
// double precision, rounded to float, zero below the floor); returns how many samples it did. The compiler
// does not vectorise that loop by itself at the optimisation level of a release build.
std::int32_t ScaleFour(double scale, float floor, const float* in, float* samples, std::int32_t count) {
  std::int32_t j = 0;
#ifdef __SSE2__
  const __m128d s = _mm_set1_pd(scale);
  const __m128 below = _mm_set1_ps(floor);
  const __m128 magnitudeBits = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  for (; j + 4 <= count; j += 4) {
    if ((j & (kLineSamples - 1)) == 0) AskAhead(in + j);
    const __m128 x = _mm_loadu_ps(in + j);
    const __m128 low = _mm_cvtpd_ps(_mm_mul_pd(s, _mm_cvtps_pd(x)));
    const __m128 high = _mm_cvtpd_ps(_mm_mul_pd(s, _mm_cvtps_pd(_mm_movehl_ps(x, x))));
    const __m128 y = _mm_movelh_ps(low, high);
    const __m128 quiet = _mm_cmpgt_ps(below, _mm_and_ps(y, magnitudeBits));
    _mm_storeu_ps(samples + j, _mm_andnot_ps(quiet, y));
  }
#endif
  return j;
}

#ifdef KYMORA_WIDE_FLOW
// The same, eight samples at a time, on processors with 256-bit registers (the same operations, so the same
// floats).
__attribute__((target("avx"))) std::int32_t ScaleEight(double scale, float floor, const float* in, float* samples,
                                                       std::int32_t count) {
  const __m256d s = _mm256_set1_pd(scale);
  const __m256 below = _mm256_set1_ps(floor);
  const __m256 magnitudeBits = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
  std::int32_t j = 0;
  for (; j + 8 <= count; j += 8) {
    if ((j & (kLineSamples - 1)) == 0) AskAhead(in + j);
    const __m256 x = _mm256_loadu_ps(in + j);
    const __m128 low = _mm256_cvtpd_ps(_mm256_mul_pd(s, _mm256_cvtps_pd(_mm256_castps256_ps128(x))));
    const __m128 high = _mm256_cvtpd_ps(_mm256_mul_pd(s, _mm256_cvtps_pd(_mm256_extractf128_ps(x, 1))));
    const __m256 y = _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
    const __m256 quiet = _mm256_cmp_ps(below, _mm256_and_ps(y, magnitudeBits), _CMP_GT_OQ);
    _mm256_storeu_ps(samples + j, _mm256_andnot_ps(quiet, y));
  }
  return j;
}
#endif

// The linear head as many samples at a time as the processor takes; returns how many it did.
std::int32_t ScaleLinear(double scale, float floor, const float* in, float* samples, std::int32_t count) {
#ifdef KYMORA_WIDE_FLOW
  static const bool wide = __builtin_cpu_supports("avx");
  if (wide) {
    const std::int32_t j = ScaleEight(scale, floor, in, samples, count);
    return j + ScaleFour(scale, floor, in + j, samples + j, count - j);
  }
#endif
  return ScaleFour(scale, floor, in, samples, count);
}
}  // namespace

const CalcEnums::FunctionTable& SpFlowEnum::Table() { return kTable; }

HRESULT SpFlowEnum::CreateInstance(IUnknown* outer, const Guid& iid, void** out) {
  return CalcEnums::CreateEnumerator<SpFlowEnum>(outer, iid, out);
}

ComPtr<CalcEnums::CalcEnumBase2> SpFlowEnum::Copy() const {
  return ComPtr<CalcEnums::CalcEnumBase2>(new SpFlowEnum(*this));
}

HRESULT SpFlowEnum::SetParameters(const wchar_t* text, std::uint32_t* outputKind) {
  if (outputKind) *outputKind = CalcKind::kSamples;
  return CalcEnums::AtBoundary([&] {
    std::wstring given = text ? text : L"";
    auto parsed = Parse(given, mParameters);
    if (!parsed) return E_INVALIDARG;
    mParameterText = std::move(given);
    mParameters = *parsed;
    // Clones still on the old parameters keep the old flow.
    mRecent = std::make_shared<RecentFlow>();
    return S_OK;
  });
}

std::optional<SpFlowEnum::Parameters> SpFlowEnum::Parse(const std::wstring& text, Parameters p) {
  p.mNoiseFloor = 0.0;
  p.mApplyNoiseFloor = false;
  const FlowHeadTable table = FlowHeadTable::BuiltIn();

  std::int32_t driftValue = 0, customValue = 0, nonLinearValue = 0;
  if (std::wcslen(text.c_str()) > kShortestSettings) {
    ParameterTextReader in(text);
    std::int32_t first = 0;
    in.Field(first);
    if (first == kParameterMarker) {
      std::int32_t applyNoise = 0;
      in.Field(driftValue).Field(p.mPresetIndex).Field(customValue).Field(p.mHeadScale).Field(nonLinearValue);
      in.Field(p.mRawFlowChannel).Field(p.mOwnChannel).Field(applyNoise).Field(p.mNoiseFloor);
      p.mApplyNoiseFloor = applyNoise == 1;
      p.mCustom = customValue == 1;
      // A custom head scale is applied linearly.
      if (p.mCustom) p.mApplyNonLinear = false;
    } else {
      driftValue = first;
      in.Field(p.mRawFlowChannel).Field(p.mHeadScale).Field(p.mCoefficient);
      p.mCustom = true;
      p.mOwnChannel = p.mRawFlowChannel;
      p.mApplyNonLinear = std::fabs(p.mCoefficient - 1.0) > 0.001;
    }
    if (in.Malformed()) return std::nullopt;
  } else {
    p.mCustom = false;
  }
  if (!p.mCustom && table.Contains(p.mPresetIndex)) {
    p.mHeadScale = table.HeadScale(p.mPresetIndex);
    p.mCoefficient = table.Coefficient(p.mPresetIndex);
    // A coefficient of 1.0 marks a head whose non-linearity is not characterised: compensating with
    // it would bend the flow to zero at 1 V.
    p.mApplyNonLinear = nonLinearValue == 1 && std::fabs(p.mCoefficient - 1.0) > 0.001;
  }
  p.mDriftCorrection = driftValue == 1;
  return p;
}

HRESULT SpFlowEnum::SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t further,
                               double secsPerTick, std::int32_t online) {
  return CalcEnums::AtBoundary([&] {
    HRESULT hr = SingleSourceNoDelayCalc::SetSources(record, count, sources, further, secsPerTick, online);
    if (Failed(hr)) return hr;
    mSourceUnitScale = PowerOfTen(VoltagePrefixExponent(SourceUnitsText()).value_or(0));
    std::int64_t length = 0;
    if (mParameters.mDriftCorrection && mOnline >= 0 && mHost &&
        Succeeded(mHost->GetBlockLength(kBlockInfoFlags, mRecord, mParameters.mRawFlowChannel, &length)))
      ComputeDriftLine(length);
    return hr;
  });
}

void SpFlowEnum::ComputeDriftLine(std::int64_t length) {
  if (length < 0 || length > INT32_MAX) return;
  const std::int32_t n = static_cast<std::int32_t>(length);
  const std::int32_t range[4] = {0, mRecord, n, mRecord};
  // A record is analysed once, however often the sources are set for it.
  if ((mDriftCache[0] == range[0] && mDriftCache[1] == range[1]) ||
      (mDriftCache[2] == range[2] && mDriftCache[3] == range[3]))
    return;
  std::copy(std::begin(range), std::end(range), mDriftCache);
  mDriftIntercept = 0.0;
  mDriftSlope = 0.0;
  if (n <= 2 * kDriftWindow) return;

  const std::int32_t raw = mParameters.mRawFlowChannel;
  const std::uint32_t flags = (raw == mParameters.mOwnChannel ? 0x1u : 0x40000000u) | 0x1000u;
  ComPtr<IEnumFloatEx> reader;
  if (Failed(mHost->OpenReader(flags, raw, DataPosition{0, mRecord}, DataPosition{n, mRecord}, reader.Put())) ||
      !reader)
    return;
  const EndStats first = ReadEnd(reader.Get());
  if (Failed(reader->Seek(n - kDriftWindow))) return;
  const EndStats last = ReadEnd(reader.Get());

  ComPtr<IUnitsConversion> conversion;
  if (mHost->GetUnitsConversion(flags, mRecord, raw, conversion.Put()) != S_OK || !conversion) return;
  double fullScale = 0.0;
  if (Failed(conversion->ValueOfRaw(kFullScaleRaw, flags, &fullScale))) return;
  const double threshold = kQuietFraction * fullScale;
  if (first.finite && last.finite && threshold > first.peak && threshold > last.peak) {
    mDriftIntercept = first.mean;
    mDriftSlope = (last.mean - first.mean) / static_cast<float>(n);
  }
}

HRESULT SpFlowEnum::Read(std::int32_t count, float* buffer, std::int32_t* delivered) {
  if (!delivered) return E_POINTER;
  *delivered = 0;
  if (!mSource) return E_UNEXPECTED;
  if (count > 0 && !buffer) return E_POINTER;
  std::int64_t first = 0;
  mSource->GetPosition(&first);
  const std::int32_t taken = TakeRecent(first, count, buffer);
  if (taken > 0 && taken == count) {
    *delivered = count;
    return S_OK;
  }
  first += taken;
  const std::int32_t wanted = count - taken;
  float* rest = buffer + taken;
  // Recorded samples are transformed where they lie rather than copied here first.
  const float* in = rest;
  std::int32_t got = 0;
  IEnumFloatSpan* lender = Lender();
  HRESULT hr = lender ? lender->Borrow(wanted, &in, &got) : mSource->Read(wanted, rest, &got);
  got = std::clamp(got, 0, std::max(wanted, 0));
  Transform(first, in, rest, got);
  if (lender && got > 0) KeepRecent(first, in, rest, got);
  *delivered = taken + got;
  return got == wanted ? S_OK : hr;
}

void SpFlowEnum::DropSources() {
  SingleSourceNoDelayCalc::DropSources();
  mSpan.lender.Reset();
  mSpan.looked = mSpan.originKnown = mSpan.moves = false;
}

IEnumFloatSpan* SpFlowEnum::Lender() {
  if (!mSpan.looked && mSource) {
    mSpan.lender = mSource.As<IEnumFloatSpan>();
    mSpan.looked = true;
  }
  return mSpan.lender.Get();
}

RecentFlow::Key SpFlowEnum::RecentKey() const {
  return {mSpan.origin, mRecord, mDriftIntercept, mDriftSlope, mSourceUnitScale};
}

std::int32_t SpFlowEnum::TakeRecent(std::int64_t first, std::int32_t count, float* out) {
  // A record still being acquired is read as it comes.
  if (!mSpan.originKnown || mSpan.moves || mOnline < 0 || count <= 0) return 0;
  std::int64_t length = 0;
  if (Failed(mSource->GetLength(&length))) return 0;
  const auto most = static_cast<std::int32_t>(std::clamp<std::int64_t>(length - first, 0, count));
  const std::int32_t taken = mRecent->Take(RecentKey(), first, most, out);
  if (taken > 0 && mSource->Seek(first + taken) != S_OK) {
    mSource->Seek(first);
    return 0;
  }
  return taken;
}

void SpFlowEnum::KeepRecent(std::int64_t first, const float* in, const float* flow, std::int32_t count) {
  const std::uintptr_t origin =
      reinterpret_cast<std::uintptr_t>(in) - static_cast<std::uintptr_t>(first) * sizeof(float);
  if (!mSpan.originKnown) {
    mSpan.origin = origin;
    mSpan.originKnown = true;
  } else if (origin != mSpan.origin) {
    mSpan.moves = true;
  }
  if (mSpan.moves || mOnline < 0) return;
  mRecent->Keep(RecentKey(), mSource.Get(), first, flow, count);
}

void SpFlowEnum::Transform(std::int64_t firstTick, const float* in, float* samples, std::int32_t count) const {
  const Parameters& p = mParameters;
  const bool drift = p.mDriftCorrection && mOnline >= 0;
  const double scale = p.mHeadScale;
  // k acts per volt; the samples are in the source's prefixed volts.
  const double k = p.mApplyNonLinear ? p.mCoefficient * mSourceUnitScale : 0.0;
  // The floor is in litres per second; the output before the host's factor is in L/s × 10^-exponent.
  const float floor = p.mApplyNoiseFloor ? static_cast<float>(p.mNoiseFloor / mSourceUnitScale) : 0.0f;
  if (drift) {
    ForEachLine(in, count, [&](std::int32_t from, std::int32_t to) {
      for (std::int32_t j = from; j < to; ++j)
        samples[j] = in[j] - static_cast<float>(mDriftIntercept + mDriftSlope * static_cast<double>(firstTick + j));
    });
    in = samples;
  }
  // Without branches, so that the loop vectorises: (1 - k|x|)·S·x is (1 - kx)·S·x for x >= 0 and
  // (1 + kx)·S·x below, to the bit; S·x alone when linear.
  if (p.mApplyNonLinear) {
    ForEachLine(in, count, [&](std::int32_t from, std::int32_t to) {
      for (std::int32_t j = from; j < to; ++j) {
        const double x = in[j];
        const auto y = static_cast<float>((1.0 - k * std::fabs(x)) * scale * x);
        samples[j] = floor > std::fabs(y) ? 0.0f : y;
      }
    });
  } else {
    std::int32_t j = ScaleLinear(scale, floor, in, samples, count);
    for (; j < count; ++j) {
      const auto y = static_cast<float>(scale * static_cast<double>(in[j]));
      samples[j] = floor > std::fabs(y) ? 0.0f : y;
    }
  }
}

}  // namespace Spirometry
