#include "spirometry/views/csv_report.h"

#include <cmath>
#include <filesystem>
#include <fstream>

#include "host/com/text.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/resources/string_table.h"
#include "spirometry/support/unit_prefix.h"

namespace Spirometry {

namespace {
constexpr int kStringSettings = 9, kStringSelection = 11, kStringOverall = 16, kStringNonForcedBreaths = 18;
constexpr int kStringChannel = 31, kStringBreath = 90, kStringForced = 91, kStringSingleExpiration = 92;
constexpr int kStringNonForced = 97;
constexpr std::uint32_t kBlockInfoFlags = 0xC0000000;
constexpr wchar_t kCrLf[] = L"\r\n";
constexpr wchar_t kLf[] = L"\n";
constexpr double kPerMinute = 60.0, kPercent = 100.0;

// Samples per second of a block, as a whole number (1 / seconds per sample, rounded); a block slower
// than one sample in two seconds keeps its exact rate rather than a rate of zero. Rounded in double
// precision: a sample interval too short for a 64-bit integer rate must not reach an integer conversion.
float SampleRate(IChannelData* data, std::int32_t block, std::int32_t channel) {
  double secsPerTick = 0.0;
  if (!data || Failed(data->GetSecsPerTick(kBlockInfoFlags, block, channel, &secsPerTick)) || !(secsPerTick > 0.0))
    return 0.0f;
  const double perSecond = 1.0 / secsPerTick;
  const double rounded = std::trunc(perSecond + 0.5);
  return static_cast<float>(rounded >= 1.0 ? rounded : perSecond);
}

std::int64_t AbsoluteIndex(IChannelData* data, DataPosition position) {
  std::int64_t index = 0;
  if (!data || Failed(data->GetAbsoluteSampleIndex(kBlockInfoFlags, position, &index))) return 0;
  return index;
}

float SecondsOf(std::int64_t samples, float rate) { return rate > 0.0f ? static_cast<float>(samples) / rate : 0.0f; }

// The times of a breath from its sample counts.
struct SampleTimes {
  float ti = 0, te = 0, duration = 0;
};
SampleTimes TimesOf(const ReportSource& source, const Breath& b) {
  const std::int32_t channel = source.settings.VolumeChannel;
  const float rate = SampleRate(source.data, b.Start.block, channel);
  const float expirationRate = SampleRate(source.data, b.MaxVolumePosition.block, channel);
  const std::int64_t start = AbsoluteIndex(source.data, b.Start);
  const std::int64_t maxVolume = AbsoluteIndex(source.data, b.MaxVolumePosition);
  const std::int64_t end = AbsoluteIndex(source.data, b.End);
  return {SecondsOf(maxVolume - start, rate), SecondsOf(end - maxVolume, expirationRate), SecondsOf(end - start, rate)};
}

class CsvWriter {
 public:
  CsvWriter(const ReportSource& source, const NumberLocale& locale)
      : mSource(source),
        mLocale(locale),
        mSep(locale.listSeparator),
        mFactor(static_cast<float>(UnitPrefixFactor(source.settings.FlowUnitsPrefix))),
        mPrefix(UnitPrefixText(source.settings.FlowUnitsPrefix)) {}

  std::wstring Text() {
    Settings();
    Ranges();
    Breaths();
    Summaries();
    return std::move(mOut);
  }

 private:
  std::wstring Real(double v) const { return FormatReal(v, mLocale); }
  std::wstring Cell(double v) const { return mSep + Real(v); }

  void Settings() {
    const SpConfig& s = mSource.settings;
    mOut += LoadString(kStringSettings) + kCrLf;
    mOut += L"Flow" + mSep + L"Volume" + mSep + L"Cycle Detection Level" + mSep + L"Forced Expiration Threshold" + kLf;
    mOut += FormatString(kStringChannel, {FormatInteger(std::int64_t{s.FlowChannel} + 1)}) + mSep;
    mOut += FormatString(kStringChannel, {FormatInteger(std::int64_t{s.VolumeChannel} + 1)}) + mSep;
    mOut += FormatText(L"%1%% full range", {DetectionLevelText(mSource, mLocale)}) + mSep;
    mOut += FormatText(L"%1 x average volume", {Real(s.ForcedExpThres)}) + kCrLf;
    mOut += kCrLf;
  }

  void Ranges() {
    const ShownRange r = ShownRangeOf(mSource);
    IChannelData* data = mSource.data;
    mOut += LoadString(kStringSelection) + kCrLf;
    mOut += L"Block " + FormatInteger(std::int64_t{r.selectionStart.block} + 1) + L" (from start of block)\n";
    mOut += L"User range\nstart (s)" + mSep + L"end (s)\n";
    mOut += Real(SecondsFromBlockStart(data, r.selectionStart)) + Cell(SecondsFromBlockStart(data, r.selectionEnd));
    mOut += kCrLf;
    mOut += L"Analyzed range\nstart (s)" + mSep + L"end (s)\n";
    mOut += Real(SecondsFromBlockStart(data, r.analysisStart)) + Cell(SecondsFromBlockStart(data, r.analysisEnd));
    mOut += kCrLf;
  }

  void TableHeader() {
    const std::wstring& s = mSep;
    const std::wstring& p = mPrefix;
    mOut += kCrLf;
    mOut += LoadString(kStringBreath) + L" #" + s + L"Ti (s)" + s + L"Te (s)" + s + L"Duration (s)" + s + L"V_T (" + p +
            L"L)" + s + L"PIF (" + p + L"L/s)" + s + L"PIF (" + p + L"L/min)" + s + L"PEF (" + p + L"L/s)" + s +
            L"PEF (" + p + L"L/min)" + s + L"FVC (" + p + L"L)" + s + L"FEV_1 (" + p + L"L)" + s + L"FEV_1 / FVC (%)";
  }

  std::wstring Row(std::size_t index, const Breath& b, BreathKind kind, const SampleTimes& t, float volume) const {
    std::wstring row = FormatInteger(static_cast<std::int64_t>(index) + 1);
    if (b.IsForced) row += L" (" + LoadString(kStringForced) + L")";
    if (b.IsSingleExpiration) row += L" (" + LoadString(kStringSingleExpiration) + L")";
    row += Cell(t.ti) + Cell(t.te) + Cell(t.duration);
    if (kind == BreathKind::kNonForced) return row + Cell(volume);

    const SpiroBreathParameters p = ListedBreathParameters(mSource, b);
    row += mSep;  // no tidal volume for an expiration shown as FVC
    if (kind == BreathKind::kForced) {
      const float pif = static_cast<float>(p.Pif) * mFactor;
      row += Cell(pif) + Cell(pif * kPerMinute);
    } else {
      row += mSep + mSep;
    }
    const float pef = static_cast<float>(p.Pef) * mFactor;
    row += Cell(pef) + Cell(pef * kPerMinute) + Cell(volume);
    if (p.Fev1Available) {
      const float fev1 = static_cast<float>(p.Fev1) * mFactor;
      row += Cell(fev1) + Cell(volume != 0.0f ? fev1 / volume * kPercent : 0.0);
    }
    return row;
  }

  void Breaths() {
    const auto& breaths = *mSource.breaths;
    mEverySingle = !breaths.empty();
    bool headerWritten = false;
    for (std::size_t i = 0; i < breaths.size(); ++i) {
      const Breath& b = *breaths[i];
      const BreathKind kind = KindOf(b);
      if (!b.IsSingleExpiration) mEverySingle = false;
      const SampleTimes times = TimesOf(mSource, b);
      const float volume = static_cast<float>(b.ExpiredVolume()) * mFactor;
      mTally.Add(kind, volume, times.duration);
      if (!IsListed(b, mSource.settings.IncludeNonForced)) continue;
      if (!headerWritten) TableHeader();
      headerWritten = true;
      const std::wstring row = Row(i, b, kind, times, volume);
      if (!row.empty()) mOut += kLf + row;
    }
  }

  void Summaries() {
    const std::wstring& s = mSep;
    mOut += std::wstring(kCrLf) + kCrLf + LoadString(kStringOverall) + kCrLf;
    mOut += L"Duration (s)" + s + L"Breaths\n";
    mOut +=
        Real(mTally.TotalDuration()) + s + FormatInteger(static_cast<std::int64_t>(mSource.breaths->size())) + kCrLf;
    if (!mEverySingle) {
      mOut += kCrLf + LoadString(kStringNonForced) + kCrLf;
      mOut += L"Duration (s)" + s + L"Breaths\n";
      mOut += Real(mTally.nonForcedDurationSum) + s + FormatInteger(mTally.nonForcedCount) + kCrLf;
    }
    if (mTally.nonForcedCount > 0) {
      const std::wstring& p = mPrefix;
      mOut += kCrLf + LoadString(kStringNonForcedBreaths) + kCrLf;
      mOut += L"V_E (" + p + L"L/s)" + s + L"V_E (" + p + L"L/min)" + s + L"Average V_T (" + p + L"L)" + s + L"f (Hz)" +
              s + L"f (/min)\n";
      const float ve = mTally.VolumePerSecond();
      const float f = mTally.Frequency();
      mOut += Real(ve) + Cell(ve * kPerMinute) + Cell(mTally.AverageVolume()) + Cell(f) + Cell(f * kPerMinute);
    }
  }

  const ReportSource& mSource;
  const NumberLocale& mLocale;
  const std::wstring mSep;
  const float mFactor;
  const std::wstring mPrefix;
  std::wstring mOut;
  BreathTally<float> mTally;
  bool mEverySingle = false;
};

bool WriteAll(std::ofstream& file, const std::string& bytes) {
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return !file.fail();
}
}  // namespace

std::wstring BuildCsvReport(const ReportSource& source, const NumberLocale& locale) {
  if (!source.breaths) return std::wstring();
  return CsvWriter(source, locale).Text();
}

HRESULT ExportReport(SpiroDocument& document, const std::wstring& path) {
  // Opened before the analysis is asked for, so that a file without a valid analysis still says why.
  std::ofstream file(std::filesystem::path(ToUtf8(path)), std::ios::binary | std::ios::trunc);
  std::wstring message;
  if (!document.EnsureAnalysis(&message) || document.Analysis().Count() == 0) {
    if (file.is_open()) WriteAll(file, ToLatin1(message + kCrLf));
    return KYM_E_EXPORT_FAILED;
  }
  if (!file.is_open()) return kReportFileNotWritten;
  const std::string bytes = ToLatin1(BuildCsvReport(SourceOf(document), SharedNumberLocale()));
  return WriteAll(file, bytes) ? S_OK : kReportFileNotWritten;
}

}  // namespace Spirometry
