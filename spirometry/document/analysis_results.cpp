#include "spirometry/document/analysis_results.h"

#include "spirometry/document/measure_table.h"

namespace Spirometry {

void AnalysisResults::Forget() {
  mFollowing = false;
  Follow();
}

void AnalysisResults::Follow() {
  if (mFollowing && mGeneration == mAnalysis.Generation()) return;
  mFollowing = true;
  mGeneration = mAnalysis.Generation();
  mParameters.assign(static_cast<std::size_t>(mAnalysis.Count()), std::nullopt);
  mSummary.reset();
  mForced.reset();
}

const SpiroBreathParameters& AnalysisResults::Parameters(std::int32_t breath) {
  Follow();
  auto& p = mParameters[static_cast<std::size_t>(breath)];
  if (!p) p = DeriveBreathParameters(mAnalysis.At(breath), mSources.timeBetween, mSources.volumeAfter);
  return *p;
}

const SpiroSummary& AnalysisResults::Summary() {
  Follow();
  if (!mSummary) mSummary = Summarise(mAnalysis.Breaths(), mSources.timeBetween);
  return *mSummary;
}

std::shared_ptr<const ForcedTestResults> AnalysisResults::Forced() {
  Follow();
  if (!mForced) mForced = std::make_shared<const ForcedTestResults>(mSources.measureForced());
  return mForced;
}

std::int32_t AnalysisResults::ItemCount(std::int32_t kind) {
  switch (kind) {
    case kMeasureOfBreath:
      return mAnalysis.Count();
    case kMeasureOfManoeuvre:
      return static_cast<std::int32_t>(Forced()->breaths.size());
    case kMeasureOfTest:
    case kMeasureOfAnalysis:
      return 1;
    default:
      return 0;
  }
}

bool AnalysisResults::Value(std::int32_t kind, std::int32_t measure, std::int32_t item, SpiroMeasureValue* value) {
  if (measure < 0 || measure >= MeasureCountOf(kind) || item < 0 || item >= ItemCount(kind)) return false;
  const auto m = static_cast<std::size_t>(measure);
  switch (kind) {
    case kMeasureOfBreath:
      *value = BreathMeasures()[m].value({mAnalysis.At(item), Parameters(item)});
      return true;
    case kMeasureOfManoeuvre: {
      const auto forced = Forced();
      const auto i = static_cast<std::size_t>(item);
      *value = ManoeuvreMeasures()[m].value(
          {forced->breaths[i], forced->curves[i], forced->measures[i], forced->quality.manoeuvres[i]});
      return true;
    }
    case kMeasureOfTest: {
      const auto forced = Forced();
      *value = TestMeasures()[m].value({static_cast<std::int32_t>(forced->measures.size()), forced->quality});
      return true;
    }
    default:
      *value = AnalysisMeasures()[m].value({Summary()});
      return true;
  }
}

}  // namespace Spirometry
