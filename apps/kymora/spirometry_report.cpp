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
  static const std::vector<Spirometry::SpiroManoeuvreRecord> kNoManoeuvres;
  const auto& manoeuvres = r.standard ? r.standard->manoeuvres : kNoManoeuvres;
  w.Key("breaths").BeginArray();
  for (std::size_t i = 0; i < r.breaths.size(); ++i) {
    const auto& b = r.breaths[i];
    const auto& p = r.parameters[i];
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
    w.Key("Ti").Double(p.Ti).Key("Te").Double(p.Te).Key("Duration").Double(p.Duration);
    w.Key(forcedOrSingle ? "FVC" : "VT").Double(p.VolumeVtOrFvc);
    w.Key("PIF").Double(p.Pif).Key("PEF").Double(p.Pef);
    if (p.Fev1Available != kFalse16)
      w.Key("FEV1").Double(p.Fev1).Key("FEV1/FVC").Double(p.Fev1OverFvc);
    else
      w.Key("FEV1").Null().Key("FEV1/FVC").Null();
    for (const auto& m : manoeuvres) {
      if (m.BreathIndex != static_cast<std::int32_t>(i)) continue;
      WriteManoeuvreJson(w.Key(kStandardKey).BeginObject(), m);
      w.EndObject();
    }
    w.EndObject();
  }
  w.EndArray();
  const auto& m = r.summary;
  w.Key("summary").BeginObject();
  w.Key("TotalDuration").Double(m.TotalDuration).Key("NonForcedDuration").Double(m.NonForcedDuration);
  w.Key("Breaths").Int(m.BreathCount).Key("NonForcedBreaths").Int(m.NonForcedCount);
  w.Key("ForcedBreaths").Int(m.ForcedCount);
  w.Key("VE").Double(m.MinuteVentilation).Key("AverageVT").Double(m.AverageTidalVolume);
  w.Key("f").Double(m.BreathingFrequency);
  w.EndObject();
  if (r.standard) {
    WriteTestJson(w.Key(kStandardTestKey).BeginObject(), r.standard->test);
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
  text += Format("%-7s %-18s %8s %8s %8s %11s %11s %11s %10s %9s\n", "Breath", "Kind", "Ti (s)", "Te (s)", "Dur (s)",
                 (std::string("VT/FVC (") + p + "L)").c_str(), (std::string("PIF (") + p + "L/s)").c_str(),
                 (std::string("PEF (") + p + "L/s)").c_str(), (std::string("FEV1 (") + p + "L)").c_str(), "FEV1/FVC");
  for (std::size_t i = 0; i < r.breaths.size(); ++i) {
    const auto& b = r.breaths[i];
    const auto& q = r.parameters[i];
    const char* kind = b.IsForced != kFalse16 && b.IsSingleExpiration != kFalse16 ? "forced, single"
                       : b.IsForced != kFalse16                                   ? "forced"
                       : b.IsSingleExpiration != kFalse16                         ? "single expiration"
                                                                                  : "non-forced";
    const bool fev1 = q.Fev1Available != kFalse16;
    text += Format("%-7zu %-18s %8.3f %8.3f %8.3f %11s %11s %11s %10s %9s\n", i + 1, kind, q.Ti, q.Te, q.Duration,
                   MeasuredText(q.VolumeVtOrFvc * k, "%.4g").c_str(), MeasuredText(q.Pif * k, "%.4g").c_str(),
                   MeasuredText(q.Pef * k, "%.4g").c_str(), fev1 ? MeasuredText(q.Fev1 * k, "%.4g").c_str() : "-",
                   fev1 ? MeasuredText(q.Fev1OverFvc, "%.3g%%").c_str() : "-");
  }
  const auto& m = r.summary;
  text += Format("\nDuration %g s (%g s non-forced); %d breaths (%d non-forced)\n", m.TotalDuration,
                 m.NonForcedDuration, m.BreathCount, m.NonForcedCount);
  if (m.NonForcedCount > 0)
    text +=
        Format("Non-forced: VE %s %sL/s (%s %sL/min), average VT %s %sL, f %g Hz (%g/min)\n",
               MeasuredText(m.MinuteVentilation * k).c_str(), p, MeasuredText(m.MinuteVentilation * k * 60.0).c_str(),
               p, MeasuredText(m.AverageTidalVolume * k).c_str(), p, m.BreathingFrequency, m.BreathingFrequency * 60.0);
  if (r.standard) text += StandardTableText(*r.standard, k, p);
  return text;
}

}  // namespace kymora::cli
