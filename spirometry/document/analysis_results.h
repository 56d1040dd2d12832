#pragma once
// What the document works out from its breath analysis: each breath's parameters, the sums over the
// analysis and the forced manoeuvres measured on the volume channel, and the values of the measure table
// for them. Each is worked out when first asked for after a change of the analysis and kept until the next,
// so that a writer walking every measure of every breath reads each volume sample once.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "spirometry/document/breath_analysis.h"
#include "spirometry/document/forced_test_quality.h"
#include "spirometry/document/ispiro_measures.h"
#include "spirometry/document/spiro_parameters.h"

namespace Spirometry {

class AnalysisResults {
 public:
  // Where the results are read from: the host's times of positions, the volume a time after a position, and
  // the forced manoeuvres measured on the volume channel.
  struct Sources {
    TimeBetweenFn timeBetween;
    VolumeAfterFn volumeAfter;
    std::function<ForcedTestResults()> measureForced;
  };

  AnalysisResults(const BreathAnalysis& analysis, Sources sources)
      : mAnalysis(analysis), mSources(std::move(sources)) {}

  // What the results are read from changed without the analysis changing (the volume channel's data, the
  // settings): everything is worked out again when next asked for.
  void Forget();

  const SpiroBreathParameters& Parameters(std::int32_t breath);
  const SpiroSummary& Summary();
  // Shared, so that a report being built keeps them while the analysis moves on.
  std::shared_ptr<const ForcedTestResults> Forced();

  // The measure table over these results: items of a kind (breaths, manoeuvres, one test, one analysis), and
  // the value of a measure for an item. False outside the kind's measures or items.
  std::int32_t ItemCount(std::int32_t kind);
  bool Value(std::int32_t kind, std::int32_t measure, std::int32_t item, SpiroMeasureValue* value);

 private:
  // Drops what belongs to an earlier analysis.
  void Follow();

  const BreathAnalysis& mAnalysis;
  Sources mSources;
  std::uint64_t mGeneration = 0;
  bool mFollowing = false;
  std::vector<std::optional<SpiroBreathParameters>> mParameters;
  std::optional<SpiroSummary> mSummary;
  std::shared_ptr<const ForcedTestResults> mForced;
};

}  // namespace Spirometry
