#include "apps/kymora/spirometry_report.h"

#include <cmath>
#include <cstdio>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/json_writer.h"

namespace kymora::cli {

double PrefixFactor(std::int32_t prefix) { return prefix == 6 ? 1e6 : prefix == 7 ? 1e3 : 1.0; }
const char* PrefixText(std::int32_t prefix) { return prefix == 6 ? "\xC2\xB5" : prefix == 7 ? "m" : ""; }

namespace {

void Position(JsonWriter& w, const char* key, DataPosition p) {
  w.Key(key).BeginObject().Key("offset").Int(p.offset).Key("block").Int(p.block).EndObject();
}

}  // namespace

std::string ReportJson(const Report& r, const std::string* file) {
  constexpr std::size_t kBytesPerBreath = 1024, kBytesBesides = 4096;  // a little more than a breath takes
  JsonWriter w;
  w.Reserve(kBytesBesides + r.breaths.size() * kBytesPerBreath);
  const auto& s = r.settings;
  w.BeginObject();
  if (file) w.Key("file").String(*file);
  w.Key("settings").BeginObject();
  w.Key("FlowChannel").Int(s.FlowChannel).Key("VolumeChannel").Int(s.VolumeChannel);
  w.Key("DetectionLevel").Double(s.DetectionLevel).Key("ForcedExpThres").Double(s.ForcedExpThres);
  w.Key("IncludeNonForced").Bool(s.IncludeNonForced != kFalse16).Key("NoiseFloor").Double(s.NoiseFloor);
  w.Key("ApplyNoiseFloor").Bool(s.ApplyNoiseFloor != kFalse16).Key("FlowUnitsPrefix").Int(s.FlowUnitsPrefix);
  if (r.detection) w.Key("AutoDetectionLevel").Bool(true);
  w.EndObject();
  if (r.detection) WriteDetectionJson(w.Key("detection"), *r.detection);
  w.Key("selection").BeginObject();
  Position(w, "start", r.start);
  Position(w, "end", r.end);
  w.EndObject();
  w.Key("valid").Bool(r.valid).Key("message").String(r.message);
  const std::vector<std::ptrdiff_t> manoeuvreOf =
      r.standard ? ManoeuvresByBreath(r.standard->manoeuvres, r.breaths.size()) : std::vector<std::ptrdiff_t>{};
  w.Key("breaths").BeginArray();
  for (std::size_t i = 0; i < r.breaths.size(); ++i) {
    const auto& b = r.breaths[i];
    const bool forcedOrSingle = b.IsForced != kFalse16 || b.IsSingleExpiration != kFalse16;
    w.BeginObject();
    w.Key("PeakInspiratoryFlow").Double(b.PeakInspiratoryFlow).Key("PeakExpiratoryFlow").Double(b.PeakExpiratoryFlow);
    w.Key("MaxVolume").Double(b.MaxVolume).Key("MinVolume").Double(b.MinVolume);
    w.Key("IsForced").Bool(b.IsForced != kFalse16).Key("IsSingleExpiration").Bool(b.IsSingleExpiration != kFalse16);
    Position(w, "Start", b.Start);
    Position(w, "End", b.End);
    Position(w, "MaxVolumePosition", b.MaxVolumePosition);
    Position(w, "MinVolumePosition", b.MinVolumePosition);
    Position(w, "PeakInspiratoryFlowPosition", b.PeakInspiratoryFlowPosition);
    Position(w, "PeakExpiratoryFlowPosition", b.PeakExpiratoryFlowPosition);
    Position(w, "ExpirationStart", b.ExpirationStart);
    w.Key("Reported").Bool(forcedOrSingle || s.IncludeNonForced != kFalse16);
    WriteMeasuresJson(w, r.breathMeasures, i);
    if (r.standard && manoeuvreOf[i] >= 0) {
      WriteMeasuresJson(w.Key(kStandardKey).BeginObject(), r.standard->manoeuvres,
                        static_cast<std::size_t>(manoeuvreOf[i]));
      w.EndObject();
    }
    w.EndObject();
  }
  w.EndArray();
  WriteMeasuresJson(w.Key("summary").BeginObject(), r.analysisMeasures, 0);
  w.EndObject();
  if (r.standard) {
    WriteMeasuresJson(w.Key(kStandardTestKey).BeginObject(), r.standard->test, 0);
    w.EndObject();
  }
  w.EndObject();
  std::string text = w.TakeText();
  text += '\n';
  return text;
}

std::string ReportTable(const Report& r) {
  std::string text;
  const auto& s = r.settings;
  const double k = PrefixFactor(s.FlowUnitsPrefix);
  const char* p = PrefixText(s.FlowUnitsPrefix);
  char level[96];
  if (r.detection)
    std::snprintf(level, sizeof level, "auto (%g%% of full range, %g %sL/s)", r.detection->Level,
                  r.detection->Height * k, p);
  else
    std::snprintf(level, sizeof level, "%g%% of full range", s.DetectionLevel);
  text += Format(
      "Flow channel %d, volume channel %d; detection level %s; forced expiration at %g x average volume; flow in "
      "%sL/s",
      s.FlowChannel + 1, s.VolumeChannel + 1, level, s.ForcedExpThres, p);
  if (s.ApplyNoiseFloor != kFalse16) text += Format("; noise floor %g L/s", s.NoiseFloor);
  text += Format("\nSelection: block %d tick %d to block %d tick %d\n\n", r.start.block + 1, r.start.offset,
                 r.end.block + 1, r.end.offset);
  const MeasureSet& breaths = r.breathMeasures;
  auto shown = [&](std::size_t m) { return (breaths.infos[m].Outputs & Spirometry::kShowInTable) != 0; };
  text += Format("%-7s %-18s", "Breath", "Kind");
  for (std::size_t m = 0; m < breaths.infos.size(); ++m)
    if (shown(m)) text += " " + TableTitle(breaths.infos[m], p);
  text += "\n";
  for (std::size_t i = 0; i < r.breaths.size() && i < breaths.Items(); ++i) {
    const auto& b = r.breaths[i];
    const char* kind = b.IsForced != kFalse16 && b.IsSingleExpiration != kFalse16 ? "forced, single"
                       : b.IsForced != kFalse16                                   ? "forced"
                       : b.IsSingleExpiration != kFalse16                         ? "single expiration"
                                                                                  : "non-forced";
    text += Format("%-7zu %-18s", i + 1, kind);
    for (std::size_t m = 0; m < breaths.infos.size(); ++m)
      if (shown(m)) text += " " + TableCell(breaths.infos[m], breaths.At(i, m), k);
    text += "\n";
  }
  const MeasureSet& sums = r.analysisMeasures;
  const double nonForced = sums.Number(0, "NonForcedBreaths");
  text += Format("\nDuration %g s (%g s non-forced); %.0f breaths (%.0f non-forced)\n", sums.Number(0, "TotalDuration"),
                 sums.Number(0, "NonForcedDuration"), sums.Number(0, "Breaths"), nonForced);
  if (nonForced > 0) {
    const double ve = sums.Number(0, "VE"), f = sums.Number(0, "f");
    text += Format("Non-forced: VE %s %sL/s (%s %sL/min), average VT %s %sL, f %g Hz (%g/min)\n",
                   MeasuredText(ve * k).c_str(), p, MeasuredText(ve * k * 60.0).c_str(), p,
                   MeasuredText(sums.Number(0, "AverageVT") * k).c_str(), p, f, f * 60.0);
  }
  if (r.standard) text += StandardTableText(*r.standard, k, p);
  return text;
}

}  // namespace kymora::cli
