#include "spirometry/resources/report_templates.h"

namespace Spirometry {

namespace {
// The boxes flow in a grid that fills the window on screen and two columns on paper; a box is never split
// across pages. Settings and Selection make the first row on their own, so that a tall breath box beside
// them does not leave a hole beneath them. Every percent sign of the style sheet is doubled for the
// formatter.
constexpr const wchar_t* kReport =
    LR"HTML(<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=utf-8">
<meta http-equiv="X-UA-Compatible" content="IE=edge">
<title>Report</title>
<style type="text/css">
body { margin: 0; padding: 24px; background: #eef2f5; color: #1f2d3a;
  font-family: "Segoe UI", "Helvetica Neue", Helvetica, Arial, "Liberation Sans", sans-serif;
  font-size: 14px; line-height: 1.45; }
.leftcolumn { display: grid; grid-template-columns: repeat(auto-fill, minmax(340px, 1fr)); gap: 16px;
  align-items: start; max-width: 1400px; }
.leftcolumn > .box:nth-child(3) { grid-column-start: 1; }
.box { background: #ffffff; border: 1px solid #c9d4de; border-radius: 6px; overflow: hidden;
  box-shadow: 0 1px 3px rgba(31, 45, 58, 0.12); break-inside: avoid; page-break-inside: avoid; }
.box h3 { margin: 0; padding: 8px 14px; font-size: 15px; font-weight: 600; letter-spacing: 0.01em;
  color: #ffffff; background: #2f5d7c; }
.table_std { width: 100%%; border-collapse: collapse; font-variant-numeric: tabular-nums; }
.table_std td { padding: 5px 14px; border-top: 1px solid #e3e9ee; vertical-align: top; }
.table_std tr:first-child td { border-top: none; }
.table_std tr:nth-child(even) td { background: #f6f9fb; }
.table_std td.rowtitle { width: 1%%; padding-right: 20px; white-space: nowrap; color: #4a5d6e; font-weight: 600; }
@page { margin: 15mm; }
@media print {
  body { padding: 0; background: #ffffff; color: #000000; font-size: 9.5pt; }
  .leftcolumn { grid-template-columns: 1fr 1fr; gap: 8pt; max-width: none; }
  .box { border: 1px solid #808080; border-radius: 0; box-shadow: none; }
  .box h3 { padding: 4pt 8pt; color: #000000; background: #e4e4e4; border-bottom: 1px solid #808080;
    font-size: 10.5pt; -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  .table_std td { padding: 2.5pt 8pt; border-top: 1px solid #d0d0d0; }
  .table_std tr:nth-child(even) td { background: none; }
  .table_std td.rowtitle { color: #000000; }
}
</style>
</head>
<body>
<div class="leftcolumn">
<div class="box">
<h3>Settings</h3>
<table class="table_std">
<tr><td class="rowtitle">Flow Channel</td><td>%1%</td></tr>
<tr><td class="rowtitle">Volume Channel</td><td>%2%</td></tr>
<tr><td class="rowtitle">Cycle Detection</td><td>%3%%% full range</td></tr>
<tr><td class="rowtitle">Forced Expiration</td><td>%4% x average volume</td></tr>
</table>
</div>
<div class="box">
<h3>Selection</h3>
<table class="table_std">
<tr><td class="rowtitle">Selection Start</td><td>Block: %5%, %6%</td></tr>
<tr><td class="rowtitle">Selection End</td><td>Block: %7%, %8%</td></tr>
<tr><td class="rowtitle">Analysis Start</td><td>%9%</td></tr>
<tr><td class="rowtitle">Analysis End</td><td>%10%</td></tr>
</table>
</div>
%11%
%12%
</div>
</body>
</html>
)HTML";

constexpr const wchar_t* kReportSummary =
    LR"HTML(<div class="box">
<h3>Summary</h3>
<table class="table_std">
<tr><td class="rowtitle">Duration</td><td>%1% s (%2% s non-forced)</td></tr>
<tr><td class="rowtitle">Breaths</td><td>%3% (%4% non-forced)</td></tr>
</table>
</div>
)HTML";

constexpr const wchar_t* kReportSummaryNormal =
    LR"HTML(<div class="box">
<h3>Non-forced Breaths</h3>
<table class="table_std">
<tr><td class="rowtitle">VE</td><td>%1% %2%L/s (%3% %4%L/min)</td></tr>
<tr><td class="rowtitle">Average VT</td><td>%5% %6%L</td></tr>
<tr><td class="rowtitle">f</td><td>%7% Hz (%8%/min)</td></tr>
</table>
</div>
)HTML";

constexpr const wchar_t* kReportBreathNormal =
    LR"HTML(<div class="box">
<h3>Breath %1%</h3>
<table class="table_std">
<tr><td class="rowtitle">Ti</td><td>%2% s</td></tr>
<tr><td class="rowtitle">Te</td><td>%3% s</td></tr>
<tr><td class="rowtitle">Duration</td><td>%4% s</td></tr>
<tr><td class="rowtitle">VT</td><td>%5% %6%L</td></tr>
</table>
</div>
)HTML";

constexpr const wchar_t* kReportBreathForced =
    LR"HTML(<div class="box">
<h3>Breath %1% (forced)</h3>
<table class="table_std">
<tr><td class="rowtitle">Ti</td><td>%2% s</td></tr>
<tr><td class="rowtitle">Te</td><td>%3% s</td></tr>
<tr><td class="rowtitle">Duration</td><td>%4% s</td></tr>
<tr><td class="rowtitle">PIF</td><td>%5% %6%L/s (%7% %8%L/min)</td></tr>
<tr><td class="rowtitle">PEF</td><td>%9% %10%L/s (%11% %12%L/min)</td></tr>
<tr><td class="rowtitle">FVC</td><td>%13% %14%L</td></tr>
<tr><td class="rowtitle">FEV1</td><td>%15% %16%L</td></tr>
<tr><td class="rowtitle">FEV1/FVC</td><td>%17%%%</td></tr>
</table>
</div>
)HTML";

constexpr const wchar_t* kReportBreathSingle =
    LR"HTML(<div class="box">
<h3>Breath %1% (single expiration)</h3>
<table class="table_std">
<tr><td class="rowtitle">Ti</td><td>%2% s</td></tr>
<tr><td class="rowtitle">Te</td><td>%3% s</td></tr>
<tr><td class="rowtitle">Duration</td><td>%4% s</td></tr>
<tr><td class="rowtitle">PEF</td><td>%5% %6%L/s (%7% %8%L/min)</td></tr>
<tr><td class="rowtitle">FVC</td><td>%9% %10%L</td></tr>
<tr><td class="rowtitle">FEV1</td><td>%11% %12%L</td></tr>
<tr><td class="rowtitle">FEV1/FVC</td><td>%13%%%</td></tr>
</table>
</div>
)HTML";

constexpr HtmlResource kResources[] = {
    {kReportTemplateMain, L"Report", kReport},
    {kReportTemplateSummary, L"Report_Summary", kReportSummary},
    {kReportTemplateSummaryNormal, L"Report_Summary_Normal", kReportSummaryNormal},
    {kReportTemplateBreathNormal, L"Report_Breath_Normal", kReportBreathNormal},
    {kReportTemplateBreathForced, L"Report_Breath_Forced", kReportBreathForced},
    {kReportTemplateBreathSingle, L"Report_Breath_Single", kReportBreathSingle},
};
}  // namespace

const HtmlResource* FindHtmlResource(int id) {
  for (const auto& r : kResources)
    if (r.id == id) return &r;
  return nullptr;
}

std::wstring LoadHtmlResource(int id) {
  const HtmlResource* r = FindHtmlResource(id);
  return r ? std::wstring(r->text) : std::wstring();
}

}  // namespace Spirometry
