// Feeds arbitrary bytes to the reference tables' reader as a coefficient file and a spline file (split at the
// first NUL; the first byte picks the equation set) and checks what the computation relies on: a success
// holds curves with spline rows from 3 years by quarter years, a refusal is one line naming its file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "spirometry/reference/reference_values.h"

using namespace Spirometry;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const auto equations = data[0] % 2 == 0 ? ReferenceEquations::GliGlobal2022 : ReferenceEquations::Gli2012;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const auto split = text.find('\0');
  const auto coefficients = text.substr(0, split);
  const auto splines = split == std::string_view::npos ? std::string_view() : text.substr(split + 1);
  auto set = ParseEquationSet(equations, coefficients, "c.csv", splines, "s.csv");
  if (!set) {
    const auto& message = set.ErrorMessage();
    if ((message.rfind("c.csv", 0) != 0 && message.rfind("s.csv", 0) != 0) ||
        message.find_first_of("\r\n") != std::string::npos)
      std::abort();
    return 0;
  }
  (void)CheckEquationSetComplete(*set, "s.csv");
  ReferenceTables tables;
  (equations == ReferenceEquations::Gli2012 ? tables.gli2012 : tables.gliGlobal2022) = std::move(*set);
  for (const auto sex : {Sex::Male, Sex::Female})
    for (int m = 0; m < kReferenceMeasureCount; ++m) {
      const auto measure = static_cast<ReferenceMeasure>(m);
      const auto* curve = tables.Of(equations).Find(sex, measure);
      if (!curve) continue;
      if (curve->knots.empty() || curve->firstAge != kReferenceMinAgeYears) std::abort();
      // Every age of the curve, on its rows and between them, reads inside the table.
      for (const double age : {3.0, 3.1, curve->LastAge() - 0.1, curve->LastAge(), 50.0, 94.99}) {
        const ReferenceSubject subject{age, 170.0, sex, EthnicGroup::Other};
        const auto result = CompareWithReference(tables, equations, subject, measure, 2.0);
        if (result && !std::isfinite(result.value->predicted)) std::abort();
        if (!result && result.reason.empty()) std::abort();
      }
    }
  return 0;
}
