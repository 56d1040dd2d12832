#include "apps/kymora/spirometry_standard.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/spirometry_outputs.h"

namespace kymora::cli {

namespace {
using Spirometry::SpiroManoeuvreRecord;

bool Yes(Bool16 v) { return v != kFalse16; }
const char* YesNo(Bool16 v) { return Yes(v) ? "yes" : "no"; }
std::string Grade(std::int32_t letter) { return std::string(1, static_cast<char>(letter)); }

std::string Number(double v) {
  if (!std::isfinite(v)) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

const char* EndOfExpiration(const SpiroManoeuvreRecord& m) {
  if (Yes(m.Plateau)) return "plateau";
  if (Yes(m.LongExpiration)) return "15 s";
  if (Yes(m.EndOfExpiration)) return "earlier FVC";
  return "not reached";
}
}  // namespace

void WriteManoeuvreJson(JsonWriter& w, const SpiroManoeuvreRecord& m) {
  w.Key("Measured").Bool(Yes(m.Measured));
  w.Key("TimeZero").Double(m.TimeZero).Key("BEV").Double(m.Bev).Key("BEVLimit").Double(m.BevLimit);
  w.Key("PEF").Double(m.Pef).Key("PEFTime").Double(m.PefTime);
  w.Key("FVC").Double(m.Fvc).Key("FEV1").Double(m.Fev1).Key("FEV6").Double(m.Fev6);
  w.Key("FEV1/FVC").Double(m.Fev1OverFvc).Key("FEF25-75").Double(m.Fef2575).Key("FET").Double(m.Fet);
  w.Key("LastSecondChange").Double(m.LastSecondChange).Key("FIVC").Double(m.Fivc);
  w.Key("BEVWithinLimit").Bool(Yes(m.BevWithinLimit)).Key("Plateau").Bool(Yes(m.Plateau));
  w.Key("FET15s").Bool(Yes(m.LongExpiration)).Key("EndOfExpiration").Bool(Yes(m.EndOfExpiration));
  w.Key("FirstSecondComplete").Bool(Yes(m.FirstSecondComplete)).Key("FIVCWithinLimit").Bool(Yes(m.FivcWithinLimit));
  w.Key("FEV1Acceptable").Bool(Yes(m.Fev1Acceptable)).Key("FVCAcceptable").Bool(Yes(m.FvcAcceptable));
  w.Key("FEV1Usable").Bool(Yes(m.Fev1Usable)).Key("FVCUsable").Bool(Yes(m.FvcUsable));
}

void WriteTestJson(JsonWriter& w, const Spirometry::SpiroForcedTestRecord& t) {
  w.Key("Manoeuvres").Int(t.Manoeuvres);
  w.Key("AcceptableFEV1").Int(t.AcceptableFev1).Key("AcceptableFVC").Int(t.AcceptableFvc);
  w.Key("UsableFEV1").Int(t.UsableFev1).Key("UsableFVC").Int(t.UsableFvc);
  for (const auto& [key, spread] : {std::pair{"FEV1Spread", t.Fev1Spread}, std::pair{"FVCSpread", t.FvcSpread}}) {
    w.Key(key);
    if (spread < 0.0)
      w.Null();  // fewer than two acceptable values
    else
      w.Double(spread);
  }
  w.Key("Repeatable").Bool(Yes(t.Repeatable));
  w.Key("FEV1Grade").String(Grade(t.Fev1Grade)).Key("FVCGrade").String(Grade(t.FvcGrade));
  w.Key("BestFEV1").Double(t.BestFev1).Key("BestFVC").Double(t.BestFvc);
}

void WriteDetectionJson(JsonWriter& w, const Spirometry::SpiroDetectionRecord& d) {
  w.BeginObject().Key("Automatic").Bool(Yes(d.Automatic)).Key("Height").Double(d.Height).Key("Level").Double(d.Level);
  w.Key("NoiseHeight").Double(d.NoiseHeight).Key("ChatterHeight").Double(d.ChatterHeight);
  w.Key("BreathPeak").Double(d.BreathPeak).EndObject();
}

std::string StandardTableText(const StandardResults& r, double k, const char* p) {
  std::string text;
  auto unit = [p](const char* name, const char* u) { return std::string(name) + " (" + p + u + ")"; };
  text += Format("\nATS/ERS 2019, from the back-extrapolated time zero:\n");
  text += Format("%-7s %7s %10s %10s %10s %10s %12s %7s %-12s %-11s %-11s\n", "Breath", "t0 (s)",
                 unit("BEV", "L").c_str(), unit("FEV1", "L").c_str(), unit("FEV6", "L").c_str(),
                 unit("FVC", "L").c_str(), unit("FEF25-75", "L/s").c_str(), "FET (s)", "End", "Acceptable", "Usable");
  for (const auto& m : r.manoeuvres) {
    if (!Yes(m.Measured)) {
      text += Format("%-7d not measured (the volume curve could not be read or does not rise)\n", m.BreathIndex + 1);
      continue;
    }
    const std::string accepted = std::string(Yes(m.Fev1Acceptable) ? "FEV1" : "") +
                                 (Yes(m.Fev1Acceptable) && Yes(m.FvcAcceptable) ? "+" : "") +
                                 (Yes(m.FvcAcceptable) ? "FVC" : "");
    const std::string usable = std::string(Yes(m.Fev1Usable) ? "FEV1" : "") +
                               (Yes(m.Fev1Usable) && Yes(m.FvcUsable) ? "+" : "") + (Yes(m.FvcUsable) ? "FVC" : "");
    text += Format("%-7d %7s %10s %10s %10s %10s %12s %7s %-12s %-11s %-11s\n", m.BreathIndex + 1,
                   MeasuredText(m.TimeZero, "%.3f").c_str(), MeasuredText(m.Bev * k, "%.4g").c_str(),
                   MeasuredText(m.Fev1 * k, "%.4g").c_str(), MeasuredText(m.Fev6 * k, "%.4g").c_str(),
                   MeasuredText(m.Fvc * k, "%.4g").c_str(), MeasuredText(m.Fef2575 * k, "%.4g").c_str(),
                   MeasuredText(m.Fet, "%.2f").c_str(), EndOfExpiration(m), accepted.empty() ? "-" : accepted.c_str(),
                   usable.empty() ? "-" : usable.c_str());
  }
  const auto& t = r.test;
  text += Format("Test: %d manoeuvres; acceptable FEV1 %d, FVC %d; %s; grade FEV1 %s, FVC %s\n", t.Manoeuvres,
                 t.AcceptableFev1, t.AcceptableFvc, Yes(t.Repeatable) ? "repeatable" : "not repeatable",
                 Grade(t.Fev1Grade).c_str(), Grade(t.FvcGrade).c_str());
  return text;
}

Status WriteStandardCsv(const StandardResults& r, const std::string& path) {
  std::string text =
      "Breath,Measured,Time zero (s),BEV (L),BEV limit (L),PEF (L/s),PEF time (s),FEV1 (L),FEV6 (L),FVC (L),"
      "FEV1/FVC (%),FEF25-75 (L/s),FET (s),Last second (L),FIVC (L),BEV within limit,Plateau,FET 15 s,"
      "End of expiration,First second complete,FIVC within limit,FEV1 acceptable,FVC acceptable,FEV1 usable,"
      "FVC usable\n";
  for (const auto& m : r.manoeuvres) {
    text += std::to_string(m.BreathIndex + 1) + "," + YesNo(m.Measured);
    for (double v : {m.TimeZero, m.Bev, m.BevLimit, m.Pef, m.PefTime, m.Fev1, m.Fev6, m.Fvc, m.Fev1OverFvc, m.Fef2575,
                     m.Fet, m.LastSecondChange, m.Fivc})
      text += "," + Number(v);
    for (Bool16 v : {m.BevWithinLimit, m.Plateau, m.LongExpiration, m.EndOfExpiration, m.FirstSecondComplete,
                     m.FivcWithinLimit, m.Fev1Acceptable, m.FvcAcceptable, m.Fev1Usable, m.FvcUsable})
      text += std::string(",") + YesNo(v);
    text += "\n";
  }
  const auto& t = r.test;
  text +=
      "\nManoeuvres,Acceptable FEV1,Acceptable FVC,Usable FEV1,Usable FVC,FEV1 spread (L),FVC spread (L),"
      "Repeatable,FEV1 grade,FVC grade,Best FEV1 (L),Best FVC (L)\n";
  text += std::to_string(t.Manoeuvres) + "," + std::to_string(t.AcceptableFev1) + "," +
          std::to_string(t.AcceptableFvc) + "," + std::to_string(t.UsableFev1) + "," + std::to_string(t.UsableFvc) +
          "," + (t.Fev1Spread < 0.0 ? "" : Number(t.Fev1Spread)) + "," +
          (t.FvcSpread < 0.0 ? "" : Number(t.FvcSpread)) + "," + YesNo(t.Repeatable) + "," + Grade(t.Fev1Grade) + "," +
          Grade(t.FvcGrade) + "," + Number(t.BestFev1) + "," + Number(t.BestFvc) + "\n";
  if (auto written = WriteThroughPartialFile(path, text); !written) return Error{path + ": " + written.ErrorMessage()};
  return Ok();
}

}  // namespace kymora::cli
