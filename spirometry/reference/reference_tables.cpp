#include "spirometry/reference/reference_tables.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

namespace Spirometry {
namespace {

constexpr std::string_view kRemedy = "; reinstall the program's reference tables";

constexpr std::string_view kGli2012CoefficientsHeader = "sex,f,a0,a1,a2,a3,a4,a5,a6,p0,p1,p2,p3,p4,p5,q0,q1";
constexpr std::string_view kGliGlobalCoefficientsHeader = "sex,f,m0,m_ln_height_cm,m_ln_age,s0,s_ln_age,l0,l_ln_age";
constexpr std::string_view kGli2012SplinesHeader = "sex,f,agebound,Lspline,Mspline,Sspline";
constexpr std::string_view kGliGlobalSplinesHeader = "sex,f,agebound,Mspline,Sspline";

std::string Quoted(std::string_view text) {
  // A damaged file may hold anything; the message stays one readable line.
  std::string out = "'";
  for (char c : text.substr(0, 24)) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
  if (text.size() > 24) out += "...";
  return out + "'";
}

std::string SexText(Sex sex) { return sex == Sex::Male ? "sex 1" : "sex 2"; }

std::string CurveText(Sex sex, ReferenceMeasure measure) {
  return std::string(MeasureTableName(measure)) + " of " + SexText(sex);
}

Error LineError(std::string_view file, int line, const std::string& what) {
  return Error{std::string(file) + " line " + std::to_string(line) + ": " + what + std::string(kRemedy)};
}

Error FileError(std::string_view file, const std::string& what) {
  return Error{std::string(file) + ": " + what + std::string(kRemedy)};
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const auto comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

std::optional<double> ParseNumber(std::string_view field) {
  double value = 0.0;
  const auto* end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, value, std::chars_format::general);
  if (field.empty() || error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

struct TableRow {
  int line = 0;
  Sex sex = Sex::Male;
  ReferenceMeasure measure = ReferenceMeasure::Fev1;
  std::vector<double> values;  // the columns after sex and f
};

// The rows of one file: comment lines (#) and blank lines are skipped, a line may end in CR LF.
Expected<std::vector<TableRow>> ReadTable(std::string_view text, std::string_view name, std::string_view header) {
  const auto columns = SplitFields(header);
  std::vector<TableRow> rows;
  bool headerSeen = false;
  int lineNumber = 0;
  for (std::size_t start = 0; start < text.size();) {
    auto newline = text.find('\n', start);
    if (newline == std::string_view::npos) newline = text.size();
    auto line = text.substr(start, newline - start);
    start = newline + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (!headerSeen) {
      if (line != header) return LineError(name, lineNumber, "the header is not '" + std::string(header) + "'");
      headerSeen = true;
      continue;
    }
    const auto fields = SplitFields(line);
    if (fields.size() != columns.size())
      return LineError(
          name, lineNumber,
          std::to_string(fields.size()) + " fields where the header has " + std::to_string(columns.size()));
    TableRow row;
    row.line = lineNumber;
    if (fields[0] != "1" && fields[0] != "2")
      return LineError(name, lineNumber, "sex " + Quoted(fields[0]) + " is neither 1 (male) nor 2 (female)");
    row.sex = fields[0] == "1" ? Sex::Male : Sex::Female;
    const auto measure = MeasureFromTableName(fields[1]);
    if (!measure) return LineError(name, lineNumber, "unknown measure " + Quoted(fields[1]));
    row.measure = *measure;
    for (std::size_t i = 2; i < fields.size(); ++i) {
      const auto value = ParseNumber(fields[i]);
      if (!value)
        return LineError(name, lineNumber,
                         Quoted(fields[i]) + " in column " + std::string(columns[i]) + " is not a finite number");
      row.values.push_back(*value);
    }
    rows.push_back(std::move(row));
  }
  if (!headerSeen) return FileError(name, "empty, no header '" + std::string(header) + "'");
  if (rows.empty()) return FileError(name, "no rows after the header");
  return rows;
}

LmsCurve CurveFromCoefficients(ReferenceEquations equations, const std::vector<double>& v) {
  LmsCurve curve;
  if (equations == ReferenceEquations::Gli2012) {  // a0..a6, p0..p5, q0, q1
    curve.mIntercept = v[0], curve.mLnHeight = v[1], curve.mLnAge = v[2];
    for (int group = 1; group < 5; ++group) curve.mGroup[group] = v[2 + group];
    curve.sIntercept = v[7], curve.sLnAge = v[8];
    for (int group = 1; group < 5; ++group) curve.sGroup[group] = v[8 + group];
    curve.lIntercept = v[13], curve.lLnAge = v[14];
  } else {  // m0, m_ln_height_cm, m_ln_age, s0, s_ln_age, l0, l_ln_age
    curve.mIntercept = v[0], curve.mLnHeight = v[1], curve.mLnAge = v[2];
    curve.sIntercept = v[3], curve.sLnAge = v[4];
    curve.lIntercept = v[5], curve.lLnAge = v[6];
  }
  return curve;
}

std::string AgeText(double age) {
  std::ostringstream out;
  out << age;
  return out.str();
}

}  // namespace

std::size_t EquationSet::Slot(Sex sex, ReferenceMeasure measure) {
  return static_cast<std::size_t>((sex == Sex::Male ? 0 : kReferenceMeasureCount) + static_cast<int>(measure));
}

const LmsCurve* EquationSet::Find(Sex sex, ReferenceMeasure measure) const {
  const auto& curve = mCurves[Slot(sex, measure)];
  return curve ? &*curve : nullptr;
}

LmsCurve* EquationSet::Find(Sex sex, ReferenceMeasure measure) {
  auto& curve = mCurves[Slot(sex, measure)];
  return curve ? &*curve : nullptr;
}

void EquationSet::Set(Sex sex, ReferenceMeasure measure, LmsCurve curve) {
  mCurves[Slot(sex, measure)] = std::move(curve);
}

const EquationSet& ReferenceTables::Of(ReferenceEquations equations) const {
  return equations == ReferenceEquations::Gli2012 ? gli2012 : gliGlobal2022;
}

Expected<EquationSet> ParseEquationSet(ReferenceEquations equations, std::string_view coefficientsText,
                                       std::string_view coefficientsName, std::string_view splinesText,
                                       std::string_view splinesName) {
  const bool gli2012 = equations == ReferenceEquations::Gli2012;
  const auto coefficients = ReadTable(coefficientsText, coefficientsName,
                                      gli2012 ? kGli2012CoefficientsHeader : kGliGlobalCoefficientsHeader);
  if (!coefficients) return Error{coefficients.ErrorMessage()};
  const auto splines = ReadTable(splinesText, splinesName, gli2012 ? kGli2012SplinesHeader : kGliGlobalSplinesHeader);
  if (!splines) return Error{splines.ErrorMessage()};

  EquationSet set;
  std::array<int, 2 * kReferenceMeasureCount> coefficientLine{};  // by curve, 0 while none was read
  for (const auto& row : *coefficients) {
    const auto slot = (row.sex == Sex::Male ? 0 : kReferenceMeasureCount) + static_cast<int>(row.measure);
    if (coefficientLine[slot] != 0)
      return LineError(coefficientsName, row.line,
                       "a second row for " + CurveText(row.sex, row.measure) + " (the first is on line " +
                           std::to_string(coefficientLine[slot]) + ")");
    coefficientLine[slot] = row.line;
    set.Set(row.sex, row.measure, CurveFromCoefficients(equations, row.values));
  }

  std::array<int, 2 * kReferenceMeasureCount> splineLine{};
  for (const auto& row : *splines) {
    auto* curve = set.Find(row.sex, row.measure);
    if (!curve)
      return LineError(splinesName, row.line,
                       CurveText(row.sex, row.measure) + " has no coefficients in " + std::string(coefficientsName));
    const double age = row.values[0];
    const SplineKnot knot = gli2012 ? SplineKnot{row.values[1], row.values[2], row.values[3]}
                                    : SplineKnot{0.0, row.values[1], row.values[2]};
    if (curve->knots.empty()) {
      if (age != kReferenceMinAgeYears)
        return LineError(splinesName, row.line,
                         "the rows of " + CurveText(row.sex, row.measure) + " start at " + AgeText(age) +
                             " years, not at " + AgeText(kReferenceMinAgeYears));
      curve->firstAge = age;
    } else if (age != curve->LastAge() + 0.25) {
      return LineError(splinesName, row.line,
                       "agebound " + AgeText(age) + " follows " + AgeText(curve->LastAge()) + " for " +
                           CurveText(row.sex, row.measure) + "; the rows go up by a quarter year");
    }
    curve->knots.push_back(knot);
    const auto slot = (row.sex == Sex::Male ? 0 : kReferenceMeasureCount) + static_cast<int>(row.measure);
    if (splineLine[slot] == 0) splineLine[slot] = row.line;
  }
  for (std::size_t slot = 0; slot < coefficientLine.size(); ++slot)
    if (coefficientLine[slot] != 0 && splineLine[slot] == 0) {
      const auto sex = slot < kReferenceMeasureCount ? Sex::Male : Sex::Female;
      const auto measure = static_cast<ReferenceMeasure>(slot % kReferenceMeasureCount);
      return LineError(coefficientsName, coefficientLine[slot],
                       CurveText(sex, measure) + " has no rows in " + std::string(splinesName));
    }
  return set;
}

Status CheckEquationSetComplete(const EquationSet& set, std::string_view splinesName) {
  for (const auto sex : {Sex::Male, Sex::Female})
    for (const auto measure : {ReferenceMeasure::Fev1, ReferenceMeasure::Fvc, ReferenceMeasure::Fev1Fvc}) {
      const auto* curve = set.Find(sex, measure);
      if (!curve) return FileError(splinesName, "no rows for " + CurveText(sex, measure));
      if (curve->LastAge() < kReferenceMaxAgeYears)
        return FileError(splinesName, "the rows of " + CurveText(sex, measure) + " stop at " +
                                          AgeText(curve->LastAge()) + " years, before " +
                                          AgeText(kReferenceMaxAgeYears));
    }
  return Ok();
}

Expected<ReferenceTables> LoadReferenceTables(const std::filesystem::path& folder) {
  std::array<std::string, 4> texts;
  const std::array<std::string_view, 4> names{kGliGlobal2022CoefficientsFile, kGliGlobal2022SplinesFile,
                                              kGli2012CoefficientsFile, kGli2012SplinesFile};
  std::array<std::string, 4> paths;
  for (std::size_t i = 0; i < names.size(); ++i) {
    paths[i] = (folder / names[i]).string();
    std::ifstream in(paths[i], std::ios::binary);
    if (!in) return FileError(paths[i], "cannot be read");
    texts[i].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return FileError(paths[i], "cannot be read");
  }
  ReferenceTables tables;
  for (const auto equations : {ReferenceEquations::GliGlobal2022, ReferenceEquations::Gli2012}) {
    const std::size_t first = equations == ReferenceEquations::GliGlobal2022 ? 0 : 2;
    auto set = ParseEquationSet(equations, texts[first], paths[first], texts[first + 1], paths[first + 1]);
    if (!set) return Error{set.ErrorMessage()};
    if (const auto complete = CheckEquationSetComplete(*set, paths[first + 1]); !complete)
      return Error{complete.ErrorMessage()};
    (equations == ReferenceEquations::Gli2012 ? tables.gli2012 : tables.gliGlobal2022) = std::move(*set);
  }
  return tables;
}

}  // namespace Spirometry
