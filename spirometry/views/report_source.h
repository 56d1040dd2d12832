#pragma once
// What the report page and the CSV export read of an analysed document, and the pieces of their breath
// pass that they share: which breaths are listed, how each kind counts in the sums, and the selection and
// analysed range they show. Both outputs take this from a SpiroDocument (SourceOf) or, in tests, from a
// breath list made by hand over a host's data.
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "host/data/data_position.h"
#include "host/data/ichannel_data.h"
#include "spirometry/document/breath.h"
#include "spirometry/document/forced_test_quality.h"
#include "spirometry/document/settings.h"
#include "spirometry/document/spiro_parameters.h"
#include "spirometry/views/number_text.h"

namespace Spirometry {

class SpiroDocument;

struct ReportSource {
  SpConfig settings;
  const std::vector<std::unique_ptr<Breath>>* breaths = nullptr;  // never null once made
  DataPosition requestedStart, requestedEnd;                      // the selection the analysis was asked for
  DataPosition documentStart, documentEnd;                        // the document's copy of the host selection
  IChannelData* data = nullptr;                                   // times, sampling rates, block lengths
  VolumeAfterFn volumeAfter;                                      // the volume one second into an expiration
  double automaticLevel = 0.0;  // with an automatic detection level, the height chosen in % of the full range
  std::shared_ptr<const ForcedTestResults> standard;  // the clinical standard's section, when it is asked for
};

// The source of an analysed document; valid while the document and its analysis stay unchanged.
ReportSource SourceOf(SpiroDocument& document);

enum class BreathKind { kNonForced, kForced, kSingleExpiration };

// A breath flagged both forced and single expiration is shown as forced and counted once.
BreathKind KindOf(const Breath& breath);
// Forced and single expirations are always listed; non-forced breaths only when the setting asks for it.
bool IsListed(const Breath& breath, bool includeNonForced);

// The sums over every breath of an analysis, listed or not. The report keeps them in double precision,
// the CSV export in single precision. A non-forced breath whose volume could not be measured (not finite)
// counts in the durations, the count and f, but not in VE and the average VT.
template <class Real>
struct BreathTally {
  std::int32_t forcedCount = 0;     // forced and single expirations
  std::int32_t nonForcedCount = 0;  // neither
  Real nonForcedDurationSum = 0;
  Real forcedDurationSum = 0;
  // The non-forced breaths with a volume.
  std::int32_t measuredCount = 0;
  Real measuredVolumeSum = 0;
  Real measuredDurationSum = 0;

  void Add(BreathKind kind, Real volume, Real duration) {
    if (kind != BreathKind::kNonForced) {
      ++forcedCount;
      forcedDurationSum += duration;
      return;
    }
    ++nonForcedCount;
    nonForcedDurationSum += duration;
    if (!std::isfinite(volume)) return;
    ++measuredCount;
    measuredVolumeSum += volume;
    measuredDurationSum += duration;
  }
  Real TotalDuration() const { return forcedDurationSum + nonForcedDurationSum; }
  // Minute ventilation per second, average tidal volume and breathing frequency of the non-forced
  // breaths; 0 where the divisor is not positive (a rate over no time has no meaning), and not a number
  // (shown blank) when no non-forced breath has a volume.
  Real VolumePerSecond() const {
    if (measuredCount == 0 && nonForcedCount > 0) return std::numeric_limits<Real>::quiet_NaN();
    return measuredDurationSum > 0 ? measuredVolumeSum / measuredDurationSum : Real(0);
  }
  Real AverageVolume() const {
    if (measuredCount == 0 && nonForcedCount > 0) return std::numeric_limits<Real>::quiet_NaN();
    return measuredCount > 0 ? measuredVolumeSum / static_cast<Real>(measuredCount) : Real(0);
  }
  Real Frequency() const {
    return nonForcedDurationSum > 0 ? static_cast<Real>(nonForcedCount) / nonForcedDurationSum : Real(0);
  }
};

// The shown ranges: the requested selection, and the analysed range from the first breath's start to the
// last breath's end (the document's selection when there are no breaths).
struct ShownRange {
  DataPosition selectionStart, selectionEnd, analysisStart, analysisEnd;
};
ShownRange ShownRangeOf(const ReportSource& source);

// The detection level as the report and the export show it: the setting's percentage, or "auto: " and the
// percentage the chosen height comes to.
std::wstring DetectionLevelText(const ReportSource& source, const NumberLocale& locale);

// Seconds of a position from the start of its block, as the host times it; 0 when it cannot.
double SecondsFromBlockStart(IChannelData* data, DataPosition position);
// Seconds from one position to another, from the host's times of the two; 0 when it cannot time them.
double SecondsBetween(IChannelData* data, DataPosition from, DataPosition to);

// The parameters of a listed breath. Only forced and single expirations show FEV1, so only they read the
// extra volume sample. Times come from the host's times of positions.
SpiroBreathParameters ListedBreathParameters(const ReportSource& source, const Breath& breath);

}  // namespace Spirometry
