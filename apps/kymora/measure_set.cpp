#include "apps/kymora/measure_set.h"

#include <cmath>

#include "apps/kymora/cli_context.h"

namespace kymora::cli {

using Spirometry::SpiroMeasureInfo;
using Spirometry::SpiroMeasureValue;

namespace {
const char* UnitText(std::int32_t unit) {
  switch (unit) {
    case Spirometry::kUnitLitres:
      return "L";
    case Spirometry::kUnitLitresPerSecond:
      return "L/s";
    case Spirometry::kUnitSeconds:
      return "s";
    case Spirometry::kUnitPercent:
      return "%";
    case Spirometry::kUnitHertz:
      return "Hz";
    default:
      return "";
  }
}

bool Scaled(std::int32_t unit) { return unit == Spirometry::kUnitLitres || unit == Spirometry::kUnitLitresPerSecond; }

bool HasNumber(const SpiroMeasureValue& v) {
  return v.Type != Spirometry::kValueAbsent && v.Type != Spirometry::kValueMissing;
}

std::string Padded(const SpiroMeasureInfo& info, const std::string& text) {
  return Format("%*s", static_cast<int>(info.Width), text.c_str());
}
}  // namespace

std::optional<std::size_t> MeasureSet::Find(std::string_view key) const {
  for (std::size_t i = 0; i < infos.size(); ++i)
    if (key == infos[i].Key) return i;
  return std::nullopt;
}

double MeasureSet::Number(std::size_t item, std::string_view key) const {
  const auto measure = Find(key);
  if (!measure || item >= Items()) return NAN;
  const SpiroMeasureValue& v = At(item, *measure);
  return HasNumber(v) ? v.Number : NAN;
}

bool ReadMeasures(ISpiroMeasures& measures, std::int32_t kind, MeasureSet* set) {
  std::int32_t count = 0, items = 0;
  if (measures.GetMeasureCount(kind, &count) != S_OK || measures.GetItemCount(kind, &items) != S_OK) return false;
  set->infos.assign(static_cast<std::size_t>(count), SpiroMeasureInfo{});
  for (std::int32_t i = 0; i < count; ++i)
    if (measures.GetMeasureInfo(kind, i, &set->infos[static_cast<std::size_t>(i)]) != S_OK) return false;
  set->values.assign(static_cast<std::size_t>(count) * static_cast<std::size_t>(items), SpiroMeasureValue{});
  auto value = set->values.begin();
  for (std::int32_t item = 0; item < items; ++item)
    for (std::int32_t i = 0; i < count; ++i)
      if (measures.GetMeasureValue(kind, i, item, &*value++) != S_OK) return false;
  return true;
}

void WriteMeasuresJson(JsonWriter& w, const MeasureSet& set, std::size_t item) {
  for (std::size_t i = 0; i < set.infos.size(); ++i) {
    const SpiroMeasureInfo& info = set.infos[i];
    const SpiroMeasureValue& v = set.At(item, i);
    if (!(info.Outputs & Spirometry::kShowInJson) || v.Type == Spirometry::kValueAbsent) continue;
    w.Key(info.Key);
    switch (v.Type) {
      case Spirometry::kValueMissing:
        w.Null();
        break;
      case Spirometry::kValueCount:
        w.Int(static_cast<std::int64_t>(v.Number));
        break;
      case Spirometry::kValueYesNo:
        w.Bool(v.Number != 0.0);
        break;
      case Spirometry::kValueLetter:
        w.String(std::string(1, static_cast<char>(v.Number)));
        break;
      default:
        w.Double(v.Number);
    }
  }
}

std::string TableTitle(const SpiroMeasureInfo& info, const char* prefix) {
  const char* unit = UnitText(info.Unit);
  if (info.Unit == Spirometry::kUnitPercent || !*unit) return Padded(info, info.Short);
  return Padded(info, std::string(info.Short) + " (" + (Scaled(info.Unit) ? prefix : "") + unit + ")");
}

std::string TableCell(const SpiroMeasureInfo& info, const SpiroMeasureValue& v, double factor) {
  switch (v.Type) {
    case Spirometry::kValueAbsent:
    case Spirometry::kValueMissing:
      return Padded(info, "-");
    case Spirometry::kValueCount:
      return Padded(info, std::to_string(static_cast<std::int64_t>(v.Number)));
    case Spirometry::kValueYesNo:
      return Padded(info, v.Number != 0.0 ? "yes" : "no");
    case Spirometry::kValueLetter:
      return Padded(info, std::string(1, static_cast<char>(v.Number)));
    default:
      break;
  }
  const std::string format = Format(info.Fixed != kFalse16 ? "%%.%df%s" : "%%.%dg%s", static_cast<int>(info.Digits),
                                    info.Unit == Spirometry::kUnitPercent ? "%%" : "");
  return Padded(info, MeasuredText(Scaled(info.Unit) ? v.Number * factor : v.Number, format.c_str()));
}

std::string CsvTitle(const SpiroMeasureInfo& info) {
  const char* unit = UnitText(info.Unit);
  return *unit ? std::string(info.Title) + " (" + unit + ")" : std::string(info.Title);
}

std::string CsvCell(const SpiroMeasureValue& v) {
  switch (v.Type) {
    case Spirometry::kValueAbsent:
    case Spirometry::kValueMissing:
      return "";
    case Spirometry::kValueCount:
      return std::to_string(static_cast<std::int64_t>(v.Number));
    case Spirometry::kValueYesNo:
      return v.Number != 0.0 ? "yes" : "no";
    case Spirometry::kValueLetter:
      return std::string(1, static_cast<char>(v.Number));
    default:
      return std::isfinite(v.Number) ? Format("%.6g", v.Number) : "";
  }
}

}  // namespace kymora::cli
