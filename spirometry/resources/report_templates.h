#pragma once
// The HTML templates of the report page, kept in the module like its other resources (type "HTML",
// found by numeric id). Placeholders are %1%, %2%, …; "%%" stands for a percent sign.
#include <string>

namespace Spirometry {

inline constexpr int kReportTemplateMain = 192;           // "Report": %1%..%12%
inline constexpr int kReportTemplateSummary = 193;        // "Report_Summary": %1%..%4%
inline constexpr int kReportTemplateSummaryNormal = 194;  // "Report_Summary_Normal": %1%..%8%
inline constexpr int kReportTemplateBreathNormal = 195;   // "Report_Breath_Normal": %1%..%6%
inline constexpr int kReportTemplateBreathForced = 196;   // "Report_Breath_Forced": %1%..%17%
inline constexpr int kReportTemplateBreathSingle = 197;   // "Report_Breath_Single": %1%..%13%

struct HtmlResource {
  int id;
  const wchar_t* name;
  const wchar_t* text;  // ASCII only
};

// The template of a resource id, or null when the module has none.
const HtmlResource* FindHtmlResource(int id);
// Its text; empty when there is no such resource.
std::wstring LoadHtmlResource(int id);

}  // namespace Spirometry
