#pragma once
// The breath analysis of a spirometry document: turns a selection of one block into the list of breaths
// that the extension's detectors find (SPEEVol over SPEEFlow, evaluated by the host's expression engine)
// and classifies the forced expirations. Behind the detectors, while their samples are still in the cache,
// it counts the flow channel's missing samples and has each breath's volume for FEV1 read (through the
// document's reader); it looks at no other samples.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/calc/ienum_event_ex.h"
#include "host/calc/missing_sample_count.h"
#include "host/com/com_ptr.h"
#include "host/data/data_position.h"
#include "host/data/ichannel_data.h"
#include "host/expr/iexpression_engine.h"
#include "host/frame/ihost_document.h"
#include "spirometry/document/auto_detection_height.h"
#include "spirometry/document/breath.h"
#include "spirometry/document/settings.h"
#include "spirometry/document/spiro_parameters.h"

namespace Spirometry {

// Size of the SpBreathEvent record the analysis reads (spirometry/events/sp_breath_event.h), and how many
// it asks for at once.
inline constexpr std::int32_t kBreathEventBytes = 80;
inline constexpr std::int32_t kBreathEventsPerRead = 8;

// What the detection level is a percentage of: the full scale of a channel (read through its units
// conversion, raw 32000) times a factor that turns it into L/s (the flow head's scale for a raw voltage).
struct DetectionSource {
  std::int32_t channel = kChannelNotSet;
  double headScale = 1.0;
  std::uint32_t flags = 0x1001;  // read flags of the units conversion: the recorded channel by default
};

// The detection height H in L/s for a detection level in percent: the source's full range in the block,
// (offset + 32000) × scale × head scale, or 10 L/s when the host cannot give a units conversion; never
// negative. A host that answers without a conversion changes nothing (scale 1, offset 0).
double DetectionHeight(IChannelData* data, std::int32_t block, const DetectionSource& source, double detectionLevel);

// The expression the analysis evaluates, in the classic locale:
// SPEEVol(Ch<volume + 1>, SPEEFlow(Ch<flow + 1>, H) ).
std::wstring BreathExpressionText(std::int32_t flowChannel, std::int32_t volumeChannel, double height);

// One SpBreathEvent record (80 bytes, little-endian) as a breath whose positions lie in the given block.
Breath BreathFromEvent(const std::uint8_t* record, std::int32_t block);

// True when the breath lies in the ticks [startTick, endTick) of its block: it starts at or after the start,
// ends (where the next breath starts) at or before the end, and every landmark it has is a sample in between.
bool LiesWithin(const Breath& breath, std::int32_t startTick, std::int32_t endTick);

// Marks the forced expirations: a breath that is not a single expiration is forced when its expired volume
// reaches ForcedExpThres times the average expired volume of all breaths, when it is the only breath, or,
// among two or three, when it reaches the average. The average is summed in single precision, over the
// breaths whose expired volume is a finite number.
void ClassifyBreaths(const std::vector<std::unique_ptr<Breath>>& breaths, double forcedExpThres);

// How a detection chose its height.
struct DetectionChoice {
  bool automatic = false;
  double height = 0.0;          // L/s
  double level = 0.0;           // the height in percent of the full range; 0 when the range is not known
  AutoDetectionHeight figures;  // automatic only
};

// How many samples of the flow channel in the analysed selection hold no number.
struct MissingFlowCount {
  std::int32_t channel = kChannelNotSet;
  std::int64_t count = 0;
};

class BreathAnalysis {
 public:
  // Opens the events of an expression over a block from a tick. The default compiles the text with the
  // host's expression engine (found on the data); tests put their own event sources in its place.
  using EventOpener =
      std::function<HRESULT(IChannelData* data, const std::wstring& text, const std::vector<ChannelBinding>& bindings,
                            std::int32_t block, std::int32_t startTick, ComPtr<IEnumEventEx>* events)>;
  using DetectionSourceFn = std::function<DetectionSource()>;

  // The settings are the document's, read at each analysis.
  explicit BreathAnalysis(ComPtr<Settings> settings);

  // Where the detection height comes from; without one, the flow channel itself in L/s.
  void SetDetectionSource(DetectionSourceFn source) { mDetectionSource = std::move(source); }
  void SetEventOpener(EventOpener opener) { mOpener = std::move(opener); }
  // Where each breath's volume one second after its largest volume (for FEV1) is read as the breath is
  // found, while its samples are still in the cache; without one it is read when asked for.
  void SetVolumeReader(VolumeAfterFn volumeAfter) { mVolumeAfter = std::move(volumeAfter); }

  // Stores the request and analyses it: an unset or empty selection empties the list; otherwise the
  // analysis runs (detecting again only when forced or when the selection or the detection level changed).
  // Returns the number of breaths in the list.
  std::int32_t Update(IHostDocument* host, bool force, DataPosition start, DataPosition end);
  // Recomputes IsForced of every breath against the current ForcedExpThres.
  void Classify();
  // The next update detects again, whatever it is asked.
  void InvalidateDetection() { mCachedDetectionLevel = -1.0; }
  // Lets go of the host and the engine's objects (the document is closing); the breaths stay.
  void ReleaseHost();

  std::int32_t Count() const { return static_cast<std::int32_t>(mBreaths.size()); }
  const Breath& At(std::int32_t index) const { return *mBreaths[static_cast<std::size_t>(index)]; }
  const std::vector<std::unique_ptr<Breath>>& Breaths() const { return mBreaths; }
  DataPosition RequestedStart() const { return mRequestedStart; }
  DataPosition RequestedEnd() const { return mRequestedEnd; }
  DataPosition AnalysedStart() const { return mAnalysedStart; }
  DataPosition AnalysedEnd() const { return mAnalysedEnd; }
  double CachedDetectionLevel() const { return mCachedDetectionLevel; }
  double CachedForcedExpThres() const { return mCachedForcedExpThres; }
  const DetectionChoice& LastDetection() const { return mDetection; }
  // The last detection's count of missing flow samples; nothing when it did not count them (it could not
  // start or could not read the flow channel).
  const std::optional<MissingFlowCount>& MissingFlow() const { return mMissingFlow; }
  // Changes whenever the breath list or its classification may have changed, so that what is worked out
  // from the breaths can tell whether it is still theirs.
  std::uint64_t Generation() const { return mGeneration; }
  // Why the last detection could not run (the engine's compile message), for diagnostics.
  const std::wstring& LastError() const { return mLastError; }

 private:
  // The number of events read, or -1 when the analysis could not run.
  std::int32_t Analyse(bool force);
  HRESULT OpenWithEngine(IChannelData* data, const std::wstring& text, const std::vector<ChannelBinding>& bindings,
                         std::int32_t block, std::int32_t startTick, ComPtr<IEnumEventEx>* events);
  // Reads the breaths; `missing`, when given, counts the flow's missing samples behind the detectors.
  std::int32_t ReadEvents(IEnumEventEx* events, DataPosition start, std::int32_t endTick,
                          kymora::MissingSampleCounter* missing);
  // Reads the volume one second after the largest volume of the breaths from `from` on.
  void ReadVolumesOneSecondLater(std::size_t from);
  // The height for the current settings: from the detection level, or from the flow signal of the
  // selection when the level is automatic (from the level when the signal cannot be read).
  DetectionChoice ChooseHeight(IChannelData* data, const DetectionSource& source, DataPosition start,
                               DataPosition end) const;
  void Clear();

  ComPtr<Settings> mSettings;
  ComPtr<IHostDocument> mHost;
  std::vector<std::unique_ptr<Breath>> mBreaths;
  DataPosition mRequestedStart, mRequestedEnd;
  DataPosition mAnalysedStart, mAnalysedEnd;
  double mCachedDetectionLevel = -1.0;
  double mCachedForcedExpThres = -1.0;
  bool mCachedAutomatic = false;
  DetectionChoice mDetection;
  std::optional<MissingFlowCount> mMissingFlow;
  ComPtr<IExpression> mExpression;
  ComPtr<IEnumEventEx> mEvents;
  DetectionSourceFn mDetectionSource;
  EventOpener mOpener;
  VolumeAfterFn mVolumeAfter;
  std::wstring mLastError;
  std::uint64_t mGeneration = 0;
};

}  // namespace Spirometry
