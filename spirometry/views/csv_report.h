#pragma once
// The report as a file of separated values: the settings, the selection, one row per listed breath and
// the summaries, in ISO 8859-1 with the user's list separator and decimal symbol. The line ends are part
// of the format: CR LF after the lines the export makes, a lone LF inside the fixed header texts and
// before each breath row; the file ends without a line end when it closes with the non-forced averages.
#include <string>

#include "host/com/result.h"
#include "spirometry/views/number_text.h"
#include "spirometry/views/report_source.h"

namespace Spirometry {

// The file could not be created or written (the storage error "cannot save").
inline constexpr HRESULT kReportFileNotWritten = static_cast<HRESULT>(0x80030103u);

// The text of the file for an analysis that holds breaths. Volumes, flows and times are computed in single
// precision, the per-minute values and the percentage in double precision from them.
std::wstring BuildCsvReport(const ReportSource& source, const NumberLocale& locale);

// Writes the report file of a document (the file is replaced). S_OK; KYM_E_EXPORT_FAILED when there is no
// valid analysis, the file then holding the document's message and CR LF; kReportFileNotWritten when
// the file cannot be created or written.
HRESULT ExportReport(SpiroDocument& document, const std::wstring& path);

}  // namespace Spirometry
