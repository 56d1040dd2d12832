#include "spirometry/views/report_builder.h"

#include <boost/format.hpp>

#include "spirometry/document/spiro_document.h"
#include "spirometry/resources/report_templates.h"
#include "spirometry/support/unit_prefix.h"
#include "spirometry/views/standard_report.h"

namespace Spirometry {

namespace {
constexpr std::uint32_t kBlockInfoFlags = 0xC0000000;
constexpr double kPerMinute = 60.0;

// Feeds the values of one page; every value goes in as finished text so that the formatter's stream
// locale never touches a number.
class PageWriter {
 public:
  PageWriter(const ReportSource& source, const ReportTemplates& templates, const NumberLocale& locale)
      : mSource(source),
        mTemplates(templates),
        mLocale(locale),
        mFactor(UnitPrefixFactor(source.settings.FlowUnitsPrefix)),
        mPrefix(UnitPrefixText(source.settings.FlowUnitsPrefix)) {}

  std::wstring Page() {
    boost::wformat page(mTemplates.main);
    FeedSettings(page);
    FeedSelection(page);
    page % BreathBoxes();
    page % (mSource.standard ? SummaryBoxes() + StandardReportSection(*mSource.standard, mLocale, mFactor, mPrefix)
                             : SummaryBoxes());
    return page.str();
  }

 private:
  std::wstring Real(double v) const { return FormatReal(v, mLocale); }
  std::wstring Integer(std::int64_t v) const { return FormatInteger(v); }
  std::wstring Time(DataPosition p) const {
    return PositionTimeText(mSource.data, p, mSource.settings.VolumeChannel, mLocale);
  }

  void FeedSettings(boost::wformat& page) const {
    const SpConfig& s = mSource.settings;
    page % Integer(std::int64_t{s.FlowChannel} + 1) % Integer(std::int64_t{s.VolumeChannel} + 1);
    page % DetectionLevelText(mSource, mLocale) % Real(s.ForcedExpThres);
  }

  void FeedSelection(boost::wformat& page) const {
    const ShownRange r = ShownRangeOf(mSource);
    page % Integer(std::int64_t{r.selectionStart.block} + 1) % Time(r.selectionStart);
    page % Integer(std::int64_t{r.selectionEnd.block} + 1) % Time(r.selectionEnd);
    page % Time(r.analysisStart) % Time(r.analysisEnd);
  }

  // A flow in L/s as the two values of a row: per second and per minute, each with its prefix.
  void FeedFlow(boost::wformat& box, double litresPerSecond) const {
    const double shown = litresPerSecond * mFactor;
    box % Real(shown) % mPrefix % Real(shown * kPerMinute) % mPrefix;
  }

  void FeedExpiratory(boost::wformat& box, const SpiroBreathParameters& p) const {
    FeedFlow(box, p.Pef);
    box % Real(p.VolumeVtOrFvc * mFactor) % mPrefix;
    box % Real(p.Fev1 * mFactor) % mPrefix;  // 0 when the second after the start of expiration is not in the block
    box % Real(p.Fev1OverFvc);
  }

  std::wstring BreathBox(std::int32_t index, const Breath& breath, BreathKind kind) const {
    const SpiroBreathParameters p = ListedBreathParameters(mSource, breath);
    const std::wstring& text = kind == BreathKind::kForced             ? mTemplates.breathForced
                               : kind == BreathKind::kSingleExpiration ? mTemplates.breathSingle
                                                                       : mTemplates.breathNormal;
    boost::wformat box(text);
    box % Integer(std::int64_t{index} + 1) % Real(p.Ti) % Real(p.Te) % Real(p.Duration);
    if (kind == BreathKind::kNonForced) {
      box % Real(p.VolumeVtOrFvc * mFactor) % mPrefix;
    } else {
      if (kind == BreathKind::kForced) FeedFlow(box, p.Pif);
      FeedExpiratory(box, p);
    }
    return box.str();
  }

  std::wstring BreathBoxes() {
    mTally = {};
    std::wstring boxes;
    const auto& breaths = *mSource.breaths;
    for (std::size_t i = 0; i < breaths.size(); ++i) {
      const Breath& b = *breaths[i];
      const BreathKind kind = KindOf(b);
      mTally.Add(kind, b.ExpiredVolume(), SecondsBetween(mSource.data, b.Start, b.End));
      if (IsListed(b, mSource.settings.IncludeNonForced)) boxes += BreathBox(static_cast<std::int32_t>(i), b, kind);
    }
    return boxes;
  }

  std::wstring SummaryBoxes() const {
    boost::wformat summary(mTemplates.summary);
    summary % Real(mTally.TotalDuration()) % Real(mTally.nonForcedDurationSum);
    summary % Integer(static_cast<std::int64_t>(mSource.breaths->size())) % Integer(mTally.nonForcedCount);
    std::wstring boxes = summary.str();
    if (mTally.nonForcedCount > 0) {
      boost::wformat normal(mTemplates.summaryNormal);
      FeedFlow(normal, mTally.VolumePerSecond());
      normal % Real(mTally.AverageVolume() * mFactor) % mPrefix;
      const double f = mTally.Frequency();
      normal % Real(f) % Real(f * kPerMinute);
      boxes += normal.str();
    }
    return boxes;
  }

  const ReportSource& mSource;
  const ReportTemplates& mTemplates;
  const NumberLocale& mLocale;
  const double mFactor;
  const std::wstring mPrefix;
  BreathTally<double> mTally;
};
}  // namespace

ReportTemplates ReportTemplates::FromResources() {
  ReportTemplates t;
  t.main = LoadHtmlResource(kReportTemplateMain);
  t.summary = LoadHtmlResource(kReportTemplateSummary);
  t.summaryNormal = LoadHtmlResource(kReportTemplateSummaryNormal);
  t.breathNormal = LoadHtmlResource(kReportTemplateBreathNormal);
  t.breathForced = LoadHtmlResource(kReportTemplateBreathForced);
  t.breathSingle = LoadHtmlResource(kReportTemplateBreathSingle);
  return t;
}

std::wstring PositionTimeText(IChannelData* data, DataPosition position, std::int32_t channel,
                              const NumberLocale& locale) {
  if (position.offset == DataPosition::kNotSet && data) {
    std::int64_t length = 0;
    if (Succeeded(data->GetBlockLength(kBlockInfoFlags, position.block, channel, &length)) && length >= 0 &&
        length < DataPosition::kNotSet)
      position.offset = static_cast<std::int32_t>(length);
  }
  return FormatReal(SecondsFromBlockStart(data, position), locale) + L" s";
}

std::wstring BuildReportPage(const ReportSource& source, const ReportTemplates& templates, const NumberLocale& locale) {
  if (!source.breaths) return templates.main;
  try {
    return PageWriter(source, templates, locale).Page();
  } catch (const boost::io::format_error&) {
    return templates.main;
  }
}

std::wstring BuildReport(SpiroDocument& document, const ReportTemplates& templates, const NumberLocale& locale,
                         bool* isPage) {
  std::wstring message;
  const bool page = document.EnsureAnalysis(&message) && document.Analysis().Count() > 0;
  if (isPage) *isPage = page;
  if (!page) return message;
  return BuildReportPage(SourceOf(document), templates, locale);
}

}  // namespace Spirometry
