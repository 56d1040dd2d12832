#pragma once
// The report's section of the clinical standard's measures (ATS/ERS 2019), added after the report's own
// boxes when it is asked for: one box per forced expiration and one for the whole test, in the same form
// as the other boxes.
#include <string>

#include "spirometry/document/forced_test_quality.h"
#include "spirometry/views/number_text.h"

namespace Spirometry {

// Volumes and flows are multiplied by `factor` and shown with the unit prefix text before "L".
std::wstring StandardReportSection(const ForcedTestResults& results, const NumberLocale& locale, double factor,
                                   const std::wstring& prefix);

}  // namespace Spirometry
