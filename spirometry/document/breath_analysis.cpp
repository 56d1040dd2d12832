#include "spirometry/document/breath_analysis.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <locale>
#include <sstream>

#include "host/data/iunits_conversion.h"
#include "spirometry/document/channel_samples.h"
#include "spirometry/events/sp_breath_event.h"

namespace Spirometry {

namespace {
constexpr double kFullScaleRaw = 32000.0;
constexpr double kFullRangeWithoutConversion = 10.0;
constexpr double kCacheTolerance = 0.001;

bool SamePosition(DataPosition a, DataPosition b) { return a.offset == b.offset && a.block == b.block; }
}  // namespace

bool LiesWithin(const Breath& b, std::int32_t startTick, std::int32_t endTick) {
  // The end is where the next breath starts, so it may be the selection's end; the landmarks are samples,
  // and a breath may lack some (a single expiration has no inspiration).
  if (b.Start.offset < startTick || b.End.offset > endTick || b.End.offset < b.Start.offset) return false;
  for (DataPosition p : {b.MaxVolumePosition, b.MinVolumePosition, b.PeakInspiratoryFlowPosition,
                         b.PeakExpiratoryFlowPosition, b.ExpirationStart})
    if (p.offset != DataPosition::kNotSet && (p.offset < startTick || p.offset >= endTick)) return false;
  return true;
}

double DetectionHeight(IChannelData* data, std::int32_t block, const DetectionSource& source, double detectionLevel) {
  double fullRange = kFullRangeWithoutConversion;
  ComPtr<IUnitsConversion> conversion;
  HRESULT hr = data ? data->GetUnitsConversion(source.flags, block, source.channel, conversion.Put()) : E_FAIL;
  if (Succeeded(hr)) {
    double scale = 1.0, offset = 0.0;
    if (conversion && Failed(conversion->GetScaleOffset(&scale, &offset))) {
      scale = 1.0;
      offset = 0.0;
    }
    fullRange = (offset + kFullScaleRaw) * scale * source.headScale;
  }
  const double height = fullRange * detectionLevel / 100.0;
  return height < 0.0 || std::isnan(height) ? 0.0 : height;
}

std::wstring BreathExpressionText(std::int32_t flowChannel, std::int32_t volumeChannel, double height) {
  std::wostringstream text;
  text.imbue(std::locale::classic());
  // Channel numbers in the expression are one-based; widened so that an unset channel cannot overflow.
  text << L"SPEEVol" << L"(Ch" << (static_cast<std::int64_t>(volumeChannel) + 1) << L", " << L"SPEEFlow(Ch"
       << (static_cast<std::int64_t>(flowChannel) + 1) << L", " << height << L") )";
  return text.str();
}

Breath BreathFromEvent(const std::uint8_t* record, std::int32_t block) {
  SpBreathEvent e;
  std::memcpy(&e, record, sizeof e);
  const SpFlowEvent& f = e.mFlowEvent;
  Breath b;
  b.PeakInspiratoryFlow = f.mMaxFlow;
  b.PeakExpiratoryFlow = f.mMinFlow;
  b.MaxVolume = e.mMaxVol;
  b.MinVolume = e.mMinVol;
  b.IsSingleExpiration = f.mSingleExpiration != 0;
  b.IsForced = false;
  b.Start = {f.mStartTick, block};
  b.End = {f.mEndTick, block};
  b.PeakInspiratoryFlowPosition = {f.mMaxFlowTick, block};
  b.PeakExpiratoryFlowPosition = {f.mMinFlowTick, block};
  b.ExpirationStart = {f.mExpStartTick, block};
  b.MaxVolumePosition = {e.mMaxVolTick, block};
  b.MinVolumePosition = {e.mMinVolTick, block};
  return b;
}

void ClassifyBreaths(const std::vector<std::unique_ptr<Breath>>& breaths, double forcedExpThres) {
  const std::size_t n = breaths.size();
  if (n == 0) return;
  // The average is kept in single precision on purpose: it decides ties such as equal breaths at a
  // threshold of exactly 1, and the results must not move with the compiler's choice of precision.
  // A volume that could not be measured (not finite) stays out of the average, so that one gap in the
  // data does not take every breath's classification with it.
  float sum = 0.0f;
  std::size_t measured = 0;
  for (const auto& b : breaths) {
    if (!std::isfinite(b->ExpiredVolume())) continue;
    sum = static_cast<float>(static_cast<double>(sum) + b->ExpiredVolume());
    ++measured;
  }
  const float average = measured > 0 ? sum / static_cast<float>(measured) : std::numeric_limits<float>::quiet_NaN();
  const double a = average;
  for (const auto& b : breaths) {
    if (b->IsSingleExpiration) {
      b->IsForced = false;
      continue;
    }
    const double v = b->ExpiredVolume();
    const bool measured = std::isfinite(v);
    b->IsForced = (measured && (v >= a * forcedExpThres || (n <= 3 && v >= a))) || n == 1;
  }
}

BreathAnalysis::BreathAnalysis(ComPtr<Settings> settings) : mSettings(std::move(settings)) { mBreaths.reserve(8); }

void BreathAnalysis::Clear() {
  ++mGeneration;
  mBreaths.clear();
  mMissingFlow.reset();
}

void BreathAnalysis::ReleaseHost() {
  mEvents.Reset();
  mExpression.Reset();
  mHost.Reset();
}

void BreathAnalysis::Classify() {
  ++mGeneration;
  ClassifyBreaths(mBreaths, mSettings->ForcedExpThres);
}

std::int32_t BreathAnalysis::Update(IHostDocument* host, bool force, DataPosition start, DataPosition end) {
  mHost = ComPtr<IHostDocument>(host);
  mRequestedStart = start;
  mRequestedEnd = end;
  if (start.block == DataPosition::kNotSet || end.block == DataPosition::kNotSet || SamePosition(start, end)) {
    Clear();
    mAnalysedStart = DataPosition{};
    mAnalysedEnd = DataPosition{};
    return 0;
  }
  Analyse(force);
  return Count();
}

std::int32_t BreathAnalysis::Analyse(bool force) {
  const DataPosition start = mRequestedStart, end = mRequestedEnd;
  if (start.block != end.block) return -1;
  const SpConfig& settings = mSettings->Record();

  if (!force && SamePosition(start, mAnalysedStart) && SamePosition(end, mAnalysedEnd) &&
      std::fabs(mCachedDetectionLevel - settings.DetectionLevel) < kCacheTolerance &&
      mCachedAutomatic == settings.AutoDetectionLevel) {
    if (std::fabs(mCachedForcedExpThres - settings.ForcedExpThres) > kCacheTolerance) {
      mCachedForcedExpThres = settings.ForcedExpThres;
      Classify();
    }
    return Count();
  }
  mAnalysedStart = start;
  mAnalysedEnd = end;
  mCachedDetectionLevel = settings.DetectionLevel;
  mCachedForcedExpThres = settings.ForcedExpThres;
  mCachedAutomatic = settings.AutoDetectionLevel;

  ComPtr<IChannelData> data;
  if (mHost) mHost->GetChannelData(data.Put());
  DetectionSource source =
      mDetectionSource ? mDetectionSource() : DetectionSource{settings.FlowChannel, 1.0, 0x40001000};
  mDetection = ChooseHeight(data.Get(), source, start, end);
  const double height = mDetection.height;
  const std::wstring text = BreathExpressionText(settings.FlowChannel, settings.VolumeChannel, height);
  const std::vector<ChannelBinding> bindings = {{settings.FlowChannel, L"L/s"}, {settings.VolumeChannel, L"L"}};

  mLastError.clear();
  mEvents.Reset();
  HRESULT hr = mOpener ? mOpener(data.Get(), text, bindings, start.block, start.offset, &mEvents)
                       : OpenWithEngine(data.Get(), text, bindings, start.block, start.offset, &mEvents);
  if (Failed(hr) || !mEvents) {
    // Breaths of an earlier request must not pass for this one, and the next update must try again.
    mEvents.Reset();
    Clear();
    mAnalysedStart = DataPosition{};
    mAnalysedEnd = DataPosition{};
    mCachedDetectionLevel = -1.0;
    return -1;
  }
  Clear();
  std::optional<kymora::MissingSampleCounter> missing;
  if (data) missing.emplace(*data, settings.FlowChannel, start, end);
  const std::int32_t read = ReadEvents(mEvents.Get(), start, end.offset, missing ? &*missing : nullptr);
  if (missing)
    if (const auto count = missing->Finish()) mMissingFlow = MissingFlowCount{settings.FlowChannel, *count};
  mEvents.Reset();
  Classify();
  return read;
}

DetectionChoice BreathAnalysis::ChooseHeight(IChannelData* data, const DetectionSource& source, DataPosition start,
                                             DataPosition end) const {
  const SpConfig& settings = mSettings->Record();
  DetectionChoice choice;
  choice.automatic = settings.AutoDetectionLevel;
  choice.height = DetectionHeight(data, start.block, source, settings.DetectionLevel);
  ChannelSamples flow;
  if (choice.automatic && ReadSamplesInLitres(data, settings.FlowChannel, start, end, &flow)) {
    choice.figures = ChooseDetectionHeight(flow.values, flow.secsPerSample);
    choice.height = choice.figures.height;
  }
  const double fullRange = DetectionHeight(data, start.block, source, 100.0);
  choice.level = fullRange > 0.0 ? choice.height / fullRange * 100.0 : 0.0;
  return choice;
}

HRESULT BreathAnalysis::OpenWithEngine(IChannelData* data, const std::wstring& text,
                                       const std::vector<ChannelBinding>& bindings, std::int32_t block,
                                       std::int32_t startTick, ComPtr<IEnumEventEx>* events) {
  mExpression.Reset();
  if (!data) return E_FAIL;
  ComPtr<IExpressionEngine> engine;
  HRESULT hr = data->QueryInterface(IExpressionEngine::kIid, engine.PutVoid());
  if (Failed(hr) || !engine) return Failed(hr) ? hr : E_NOINTERFACE;
  hr = engine->Compile(text.c_str(), static_cast<std::int32_t>(bindings.size()), bindings.data(), mExpression.Put(),
                       &mLastError);
  if (Failed(hr) || !mExpression) return Failed(hr) ? hr : E_FAIL;
  return mExpression->CreateEventEnum(block, startTick, events->Put());
}

void BreathAnalysis::ReadVolumesOneSecondLater(std::size_t from) {
  if (!mVolumeAfter) return;
  for (std::size_t i = from; i < mBreaths.size(); ++i) {
    Breath& b = *mBreaths[i];
    double volume = 0.0;
    if (mVolumeAfter(b.MaxVolumePosition, kFev1Seconds, &volume)) b.VolumeOneSecondLater = volume;
  }
}

std::int32_t BreathAnalysis::ReadEvents(IEnumEventEx* events, DataPosition start, std::int32_t endTick,
                                        kymora::MissingSampleCounter* missing) {
  std::int32_t elementSize = kBreathEventBytes;
  if (Succeeded(events->GetElementSize(&elementSize)) && elementSize != kBreathEventBytes) {
    mLastError = L"the breath events have an unexpected record size";
    return 0;
  }
  alignas(8) std::uint8_t buffer[kBreathEventBytes * kBreathEventsPerRead];
  std::int32_t read = 0;
  // A call without events ends the reading: offline the enumerator then stands at the end tick or at the
  // end of the record, and a record still being acquired has no more data for now.
  for (;;) {
    std::int32_t count = 0, next = 0;
    const HRESULT hr = events->Next(endTick, buffer, static_cast<std::int32_t>(sizeof buffer), &count, &next);
    if (Failed(hr) || count <= 0) break;
    // The detectors have read the flow up to here, a few breaths' worth, so it is still in the cache.
    if (missing) missing->CountTo(next);
    if (count > kBreathEventsPerRead) count = kBreathEventsPerRead;
    const std::size_t kept = mBreaths.size();
    for (std::int32_t i = 0; i < count; ++i) {
      ++read;
      // A breath that starts in the selection but runs on past its end (its expiration never meets an
      // inspiration there) is not the selection's breath: its end and volumes come from data left out.
      auto breath = std::make_unique<Breath>(BreathFromEvent(buffer + i * kBreathEventBytes, start.block));
      if (LiesWithin(*breath, start.offset, endTick)) mBreaths.push_back(std::move(breath));
    }
    ReadVolumesOneSecondLater(kept);
    if (hr == S_FALSE) break;  // at the end of the record: nothing more will come
  }
  return read;
}

}  // namespace Spirometry
