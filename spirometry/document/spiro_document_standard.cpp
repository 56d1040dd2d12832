// The document's additions to the analysis: the automatic detection level as a setting, and the measures
// of each forced expiration and of the test they make, read from the volume channel.
#include <limits>
#include <utility>

#include "spirometry/document/channel_samples.h"
#include "spirometry/document/measure_table.h"
#include "spirometry/document/spiro_document.h"

namespace Spirometry {

namespace {
Bool16 B(bool v) { return v ? kTrue16 : kFalse16; }
}  // namespace

void SpiroDocument::UseAutomaticDetectionLevel(bool on) {
  if (mSettings->AutoDetectionLevel == on) return;
  mSettings->AutoDetectionLevel = on;
  Attach();
  ResultsChanged();
  if (mHost) {
    mHost->SetModified();
    mHost->NotifyViews(this, kSpiroDocumentGuid, 0);
  }
}

void SpiroDocument::UseStandardReport(bool on) {
  if (mSettings->StandardReport == on) return;
  mSettings->StandardReport = on;
  Attach();
  if (mHost) {
    mHost->SetModified();
    mHost->NotifyViews(this, kSpiroDocumentGuid, 0);
  }
}

ForcedTestResults SpiroDocument::MeasureForcedExpirations() {
  ForcedTestResults r;
  const auto& breaths = mAnalysis.Breaths();
  for (std::size_t i = 0; i < breaths.size(); ++i) {
    const Breath& b = *breaths[i];
    if (!b.IsForced) continue;
    // The curve runs from the largest volume of the breath to the smallest, both samples included.
    VolumeTimeCurve curve;
    ChannelSamples volume;
    const DataPosition end{
        b.MinVolumePosition.offset == DataPosition::kNotSet ? DataPosition::kNotSet : b.MinVolumePosition.offset + 1,
        b.MaxVolumePosition.block};
    if (b.MinVolumePosition.offset > b.MaxVolumePosition.offset &&
        ReadSamplesInLitres(mData.Get(), mSettings->VolumeChannel, b.MaxVolumePosition, end, &volume) &&
        !volume.values.empty()) {
      curve.secsPerSample = volume.secsPerSample;
      curve.expired.reserve(volume.values.size());
      for (float v : volume.values) curve.expired.push_back(static_cast<double>(volume.values.front()) - v);
    }
    // The inspiration that follows is the next breath's, up to its largest volume.
    const double fivc =
        i + 1 < breaths.size() ? breaths[i + 1]->MaxVolume - b.MinVolume : std::numeric_limits<double>::quiet_NaN();
    r.breaths.push_back(static_cast<int>(i));
    r.measures.push_back(MeasureForcedExpiration(curve, fivc));
    r.curves.push_back(std::move(curve));
  }
  r.quality = AssessForcedTest(r.measures);
  return r;
}

HRESULT SpiroDocument::GetDetection(SpiroDetectionRecord* detection) {
  if (!detection) return E_POINTER;
  const DetectionChoice& d = mAnalysis.LastDetection();
  *detection = {B(mSettings->AutoDetectionLevel),
                d.height,
                d.level,
                d.figures.noiseHeight,
                d.figures.chatterHeight,
                d.figures.breathPeak};
  return S_OK;
}

HRESULT SpiroDocument::SetAutomaticDetectionLevel(Bool16 on) {
  try {
    UseAutomaticDetectionLevel(on != kFalse16);
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT SpiroDocument::GetForcedManoeuvres(std::vector<SpiroManoeuvreRecord>* manoeuvres, SpiroForcedTestRecord* test) {
  if (!manoeuvres || !test) return E_POINTER;
  try {
    manoeuvres->clear();
    *test = {};
    test->Fev1Spread = test->FvcSpread = -1.0;
    test->Fev1Grade = test->FvcGrade = 'F';
    if (!EnsureAnalysis(nullptr)) return S_FALSE;
    const ForcedTestResults& r = *mResults.Forced();
    for (std::size_t i = 0; i < r.measures.size(); ++i) {
      const ForcedExpirationMeasures& m = r.measures[i];
      const ManoeuvreQuality& q = r.quality.manoeuvres[i];
      manoeuvres->push_back({r.breaths[i],
                             B(m.measured),
                             m.timeZero,
                             m.bev,
                             m.bevLimit,
                             m.pef,
                             m.pefTime,
                             m.fvc,
                             m.fev1,
                             m.fev6,
                             m.fev1OverFvc,
                             m.fef2575,
                             m.fet,
                             m.lastSecondChange,
                             m.fivc,
                             B(m.bevWithinLimit),
                             B(m.plateau),
                             B(m.longExpiration),
                             B(q.endOfExpiration),
                             B(m.firstSecondComplete),
                             B(m.fivcWithinLimit),
                             B(q.fev1Acceptable),
                             B(q.fvcAcceptable),
                             B(q.fev1Usable),
                             B(q.fvcUsable)});
    }
    const ForcedTestQuality& q = r.quality;
    *test = {static_cast<std::int32_t>(r.measures.size()),
             q.acceptableFev1,
             q.acceptableFvc,
             q.usableFev1,
             q.usableFvc,
             q.fev1Spread,
             q.fvcSpread,
             B(q.repeatable),
             q.fev1Grade,
             q.fvcGrade,
             q.bestFev1,
             q.bestFvc};
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SpiroDocument::SetStandardReport(Bool16 on) {
  try {
    UseStandardReport(on != kFalse16);
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

// ---- ISpiroMeasures ----

HRESULT SpiroDocument::GetMeasureCount(std::int32_t kind, std::int32_t* count) {
  if (!count) return E_POINTER;
  const std::int32_t n = MeasureCountOf(kind);
  if (n < 0) return E_INVALIDARG;
  *count = n;
  return S_OK;
}

HRESULT SpiroDocument::GetMeasureInfo(std::int32_t kind, std::int32_t index, SpiroMeasureInfo* info) {
  if (!info) return E_POINTER;
  const SpiroMeasureInfo* found = MeasureInfoOf(kind, index);
  if (!found) return E_INVALIDARG;
  *info = *found;
  return S_OK;
}

HRESULT SpiroDocument::GetItemCount(std::int32_t kind, std::int32_t* count) {
  if (!count) return E_POINTER;
  try {
    *count = mResults.ItemCount(kind);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SpiroDocument::GetMeasureValue(std::int32_t kind, std::int32_t index, std::int32_t item,
                                       SpiroMeasureValue* value) {
  if (!value) return E_POINTER;
  try {
    return mResults.Value(kind, index, item, value) ? S_OK : E_INVALIDARG;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace Spirometry
