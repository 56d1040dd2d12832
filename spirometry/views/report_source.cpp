#include "spirometry/views/report_source.h"

#include "host/data/read_flags.h"
#include "spirometry/document/spiro_document.h"

namespace Spirometry {

namespace {
constexpr std::uint32_t kSecondsInBlockFlags = ReadFlags::kBlockInfo | ReadFlags::kFromBlockStart;  // 0x80000002
}  // namespace

ReportSource SourceOf(SpiroDocument& document) {
  ReportSource s;
  s.settings = document.CurrentSettings();
  s.breaths = &document.Analysis().Breaths();
  s.requestedStart = document.Analysis().RequestedStart();
  s.requestedEnd = document.Analysis().RequestedEnd();
  s.documentStart = document.SelectionStart();
  s.documentEnd = document.SelectionEnd();
  s.data = document.Data();
  SpiroDocument* doc = &document;
  s.volumeAfter = [doc](DataPosition position, double seconds, double* volume) {
    return doc->VolumeAfter(position, seconds, volume);
  };
  s.automaticLevel = document.Analysis().LastDetection().level;
  if (document.StandardReport()) s.standard = document.ForcedExpirations();
  return s;
}

BreathKind KindOf(const Breath& breath) {
  if (breath.IsForced) return BreathKind::kForced;
  return breath.IsSingleExpiration ? BreathKind::kSingleExpiration : BreathKind::kNonForced;
}

bool IsListed(const Breath& breath, bool includeNonForced) {
  return includeNonForced || KindOf(breath) != BreathKind::kNonForced;
}

ShownRange ShownRangeOf(const ReportSource& source) {
  ShownRange r;
  r.selectionStart = source.requestedStart;
  r.selectionEnd = source.requestedEnd;
  if (source.breaths && !source.breaths->empty()) {
    r.analysisStart = source.breaths->front()->Start;
    r.analysisEnd = source.breaths->back()->End;
  } else {
    r.analysisStart = source.documentStart;
    r.analysisEnd = source.documentEnd;
  }
  return r;
}

std::wstring DetectionLevelText(const ReportSource& source, const NumberLocale& locale) {
  if (!source.settings.AutoDetectionLevel) return FormatReal(source.settings.DetectionLevel, locale);
  return L"auto: " + FormatReal(source.automaticLevel, locale);
}

double SecondsFromBlockStart(IChannelData* data, DataPosition position) {
  double seconds = 0.0;
  if (!data || Failed(data->GetTimeOfPosition(kSecondsInBlockFlags, position, &seconds))) return 0.0;
  return seconds;
}

double SecondsBetween(IChannelData* data, DataPosition from, DataPosition to) {
  double a = 0.0, b = 0.0;
  if (!data || Failed(data->GetTimeOfPosition(0, from, &a)) || Failed(data->GetTimeOfPosition(0, to, &b))) return 0.0;
  return b - a;
}

SpiroBreathParameters ListedBreathParameters(const ReportSource& source, const Breath& breath) {
  IChannelData* data = source.data;
  const TimeBetweenFn times = [data](DataPosition from, DataPosition to) { return SecondsBetween(data, from, to); };
  const bool showsFev1 = KindOf(breath) != BreathKind::kNonForced;
  return DeriveBreathParameters(breath, times, showsFev1 ? source.volumeAfter : VolumeAfterFn());
}

}  // namespace Spirometry
