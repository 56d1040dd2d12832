#pragma once
// The report page: six HTML templates filled with the settings, the selection, one box per listed breath
// and the summary boxes. Plain functions, so that the page can be built and checked without a window.
#include <string>

#include "spirometry/views/number_text.h"
#include "spirometry/views/report_source.h"

namespace Spirometry {

struct ReportTemplates {
  std::wstring main;           // 192 "Report"
  std::wstring summary;        // 193 "Report_Summary"
  std::wstring summaryNormal;  // 194 "Report_Summary_Normal"
  std::wstring breathNormal;   // 195 "Report_Breath_Normal"
  std::wstring breathForced;   // 196 "Report_Breath_Forced"
  std::wstring breathSingle;   // 197 "Report_Breath_Single"

  // The module's templates; one whose resource is missing stays empty.
  static ReportTemplates FromResources();
};

// The page of an analysis that holds breaths. A template that does not take the values it is given (too
// few or too many placeholders, a malformed one, an empty template) gives the unfilled main template.
std::wstring BuildReportPage(const ReportSource& source, const ReportTemplates& templates, const NumberLocale& locale);

// The report of a document: its analysis brought up to date, then the page; when there is no valid
// analysis, the document's message as plain text instead (isPage, when given, says which it is).
std::wstring BuildReport(SpiroDocument& document, const ReportTemplates& templates, const NumberLocale& locale,
                         bool* isPage = nullptr);

// The time text of a position. The host has no time formatting of its own, so a position is shown as the
// seconds from the start of its block, followed by " s"; an end-of-block offset is first made the block's
// length, the position just past its last sample.
std::wstring PositionTimeText(IChannelData* data, DataPosition position, std::int32_t channel,
                              const NumberLocale& locale);

}  // namespace Spirometry
