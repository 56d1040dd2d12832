// The spirometry analysis of a selection of one block. The settings reach the spirometry document as the
// "SpirometrySettings" scripting message, exactly as a script sends them; the selection as the host's
// selection.
#include "apps/kymora/spirometry_analysis.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

#include "apps/kymora/cli_options.h"
#include "apps/kymora/spirometry_missing.h"
#include "apps/kymora/spirometry_outputs.h"
#include "host/calc/ichannel_calc.h"
#include "host/calc/ikey_value_settings.h"
#include "host/com/text.h"
#include "spirometry/document/ispiro_results3.h"

namespace kymora::cli {

namespace {

std::optional<std::int32_t> PrefixOfUnits(const std::string& units) {
  if (units == "L/s") return 8;
  if (units == "mL/s") return 7;
  if (units == "\xC2\xB5L/s" || units == "uL/s") return 6;
  return std::nullopt;
}

// Puts a calculation on a new channel with KEY=VALUE settings, as `kymora calc` does; the channel's index.
std::optional<std::int32_t> AddCalculatedChannel(HostDocument& doc, const wchar_t* className,
                                                 const std::vector<std::pair<std::wstring, std::wstring>>& values,
                                                 Console& console) {
  auto cls = doc.Registry().Calculations().FindByName(className);
  if (!cls) {
    console.Error("no extension offers the calculation " + ToUtf8(className) +
                  " (is the Spirometry extension loaded?)");
    return std::nullopt;
  }
  std::wstring title;
  cls->GetDisplayName(&title);
  const std::int32_t channel = doc.File().AddChannel(title);
  ComPtr<IChannelCalc> calc;
  ComPtr<IPersistObject> settings;
  if (Failed(doc.Data().PutCalculation(channel, cls.Get(), &calc)) || !calc ||
      Failed(calc->GetSettings(settings.Put())) || !settings) {
    console.Error(doc.Data().LastError().empty() ? "the calculation could not be put on a channel"
                                                 : doc.Data().LastError());
    return std::nullopt;
  }
  auto keys = settings.As<IKeyValueSettings>();
  for (const auto& [key, value] : values) {
    std::wstring error;
    if (!keys || Failed(keys->SetValue(key.c_str(), value.c_str(), &error))) {
      console.Error(ToUtf8(error.empty() ? key + L"=" + value + L" is not accepted" : error));
      return std::nullopt;
    }
  }
  if (Failed(calc->ApplySettings(settings.Get(), kTrue16))) {
    console.Error("the calculation was refused" +
                  (doc.Data().LastError().empty() ? std::string() : ": " + doc.Data().LastError()));
    return std::nullopt;
  }
  return channel;
}

// Seconds from the start of a block as a tick; nothing when that lies beyond the block's end, so that a
// large time can never wrap round to a tick inside the block.
std::optional<std::int32_t> TickInBlock(double seconds, double secsPerTick, std::int64_t length) {
  const double tick = std::round(seconds / secsPerTick);
  const auto last = std::min<std::int64_t>(length, DataPosition::kNotSet - 1);
  if (!(tick >= 0.0 && tick <= static_cast<double>(last))) return std::nullopt;
  return static_cast<std::int32_t>(tick);
}

// The analysis of one file as it goes: the channels asked for, the document and what it found.
struct Analysis {
  HostDocument* doc = nullptr;
  std::optional<std::int32_t> flow, volume;  // zero-based
  ComPtr<ICustomDocument> custom;
  ComPtr<ISpiroResults> results;
  ComPtr<ISpiroResults2> results2;
  ComPtr<ISpiroMeasures> measures;
  Selection selection;
  Report report;
};

// The blocks and channels that the options name must be in the file.
int CheckAgainstFile(const SpirometryArgs& args, DataFile& file, Console& console) {
  for (std::int32_t b : {args.block - 1, args.toBlock.value_or(args.block) - 1}) {
    if (b >= file.BlockCount()) {
      console.Error(args.file + " has " + std::to_string(file.BlockCount()) + " block(s); there is no block " +
                    std::to_string(b + 1));
      return kExitUsage;
    }
  }
  for (auto c : {args.flowChannel, args.volumeChannel, args.rawChannel}) {
    if (c && *c > file.ChannelCount()) {
      console.Error("channel " + std::to_string(*c) + " does not exist (the file has " +
                    std::to_string(file.ChannelCount()) + ")");
      return kExitUsage;
    }
  }
  return kExitOk;
}

// --raw-channel: a flow calculation on the voltage and a volume calculation on the flow, on two new channels.
int AddRawChannels(const SpirometryArgs& args, Analysis& a, Console& console) {
  auto& file = a.doc->File();
  // The calculations' settings keep channel numbers in one byte, so the two new channels must be among the
  // first 256.
  constexpr std::int32_t kHighestChannel = 256;
  if (file.ChannelCount() + 2 > kHighestChannel) {
    console.Error("--raw-channel adds a flow and a volume channel, which would be channels " +
                  std::to_string(file.ChannelCount() + 1) + " and " + std::to_string(file.ChannelCount() + 2) +
                  "; calculations can use channels 1 to " + std::to_string(kHighestChannel) + " only (the file has " +
                  std::to_string(file.ChannelCount()) + ")");
    return kExitUsage;
  }
  // Without --preset the flow calculation keeps its own default flow head.
  std::vector<std::pair<std::wstring, std::wstring>> keys = {{L"source", std::to_wstring(*args.rawChannel)}};
  if (args.preset) keys.push_back({L"preset", std::to_wstring(*args.preset)});
  a.flow = AddCalculatedChannel(*a.doc, L"SpFlow", keys, console);
  if (!a.flow) return kExitFailure;
  a.volume = AddCalculatedChannel(*a.doc, L"SpVol", {{L"source", std::to_wstring(*a.flow + 1)}}, console);
  return a.volume ? kExitOk : kExitFailure;
}

// The spirometry document of the file, with the settings of the options sent to it.
int OpenSpirometryDocument(const SpirometryArgs& args, Analysis& a, Console& console) {
  auto custom = a.doc->Frame().Document(Spirometry::kSpiroDocumentGuid);
  if (!custom) {
    console.Error(custom.ErrorMessage() + " (is the Spirometry extension loaded?)");
    return kExitFailure;
  }
  a.custom = *custom;
  a.results = a.custom.As<ISpiroResults>();
  if (!a.results) {
    console.Error("the spirometry document does not give its results");
    return kExitFailure;
  }
  // Every value not given keeps the document's current one, so that a run changes only what it names.
  Spirometry::SpiroSettingsRecord current{};
  a.results->GetSettings(&current);
  const std::optional<std::int32_t> prefix = args.flowUnits ? PrefixOfUnits(*args.flowUnits) : std::nullopt;
  const std::vector<MessageValue> values = {
      {L"ForcedExpThres", args.forcedThreshold.value_or(current.ForcedExpThres)},
      {L"DetectionLevel", args.detectionLevel.value_or(current.DetectionLevel)},
      {L"IncludeNonForced", args.includeNonForced.value_or(current.IncludeNonForced != kFalse16) ? 1.0 : 0.0},
      {L"FlowChannel", static_cast<double>(a.flow.value_or(current.FlowChannel))},
      {L"VolumeChannel", static_cast<double>(a.volume.value_or(current.VolumeChannel))},
      {L"FlowUnitsPrefix", static_cast<double>(prefix.value_or(current.FlowUnitsPrefix))},
      {L"NoiseFloor", args.noiseFloor.value_or(current.NoiseFloor)},
      {L"ApplyNoiseFloor", args.applyNoiseFloor.value_or(current.ApplyNoiseFloor != kFalse16) ? 1.0 : 0.0},
  };
  auto sent = a.doc->Frame().SendScriptMessage(L"SpirometrySettings", values);
  if (!sent) {
    console.Error(sent.ErrorMessage());
    return kExitFailure;
  }
  // The automatic level is not part of the settings message: a level given says whether it is on.
  a.results2 = a.custom.As<ISpiroResults2>();
  a.measures = a.custom.As<ISpiroMeasures>();
  if ((args.autoDetectionLevel || args.detectionLevel || args.standard) && !a.results2) {
    console.Error("the spirometry document does not offer the automatic level or the standard's measures");
    return kExitFailure;
  }
  if (args.autoDetectionLevel || args.detectionLevel)
    a.results2->SetAutomaticDetectionLevel(args.autoDetectionLevel ? kTrue16 : kFalse16);
  if (args.standard) a.results2->SetStandardReport(kTrue16);
  return kExitOk;
}

// Sets the host's selection from --block, --from, --to and --to-block.
int Select(const SpirometryArgs& args, Analysis& a, Console& console) {
  const std::int32_t block = args.block - 1, endBlock = args.toBlock.value_or(args.block) - 1;
  const auto& startRecord = a.doc->File().blocks[static_cast<std::size_t>(block)];
  const auto& endRecord = a.doc->File().blocks[static_cast<std::size_t>(endBlock)];
  const auto from =
      args.from ? TickInBlock(*args.from, startRecord.secsPerTick, startRecord.length) : std::optional<std::int32_t>(0);
  const auto to = args.to ? TickInBlock(*args.to, endRecord.secsPerTick, endRecord.length)
                          : static_cast<std::int32_t>(std::min<std::int64_t>(endRecord.length, DataPosition::kNotSet));
  if (!from || !to) {
    const bool start = !from;
    const auto& record = start ? startRecord : endRecord;
    console.Error(Format("%s %g s lies beyond the end of block %d, which lasts %g s", start ? "--from" : "--to",
                         start ? *args.from : *args.to, (start ? block : endBlock) + 1,
                         static_cast<double>(record.length) * record.secsPerTick));
    return kExitUsage;
  }
  a.selection.valid = true;
  a.selection.start = {*from, block};
  a.selection.end = {*to, endBlock};
  a.doc->SetSelection(a.selection);  // the document refreshes: channel lists, validation
  return kExitOk;
}

// A channel the document cannot use is replaced by its first choice; the user asked for that channel.
int CheckChosenChannels(const Analysis& a, Console& console) {
  if (a.flow && a.report.settings.FlowChannel != *a.flow) {
    console.Error("channel " + std::to_string(*a.flow + 1) +
                  " cannot serve as the flow channel (it needs an SpFlow "
                  "calculation or units of L/s, mL/s or \xC2\xB5L/s)");
    return kExitUsage;
  }
  if (a.volume && a.report.settings.VolumeChannel != *a.volume) {
    console.Error("channel " + std::to_string(*a.volume + 1) +
                  " cannot serve as the volume channel (it needs an SpVol "
                  "calculation or units of L or mL)");
    return kExitUsage;
  }
  return kExitOk;
}

// The flow channel's missing samples in the selection as the analysis counted them while its detectors read
// the flow; nothing when it did not count them for this selection and channel.
std::optional<std::int64_t> MissingFlowCountedByAnalysis(const Analysis& a) {
  const auto results = a.results.As<Spirometry::ISpiroResults3>();
  DataPosition start, end;
  std::int32_t channel = -1;
  std::int64_t count = 0;
  if (!results || results->GetMissingFlowSamples(&start, &end, &channel, &count) != S_OK) return std::nullopt;
  if (start != a.selection.start || end != a.selection.end || channel != a.report.settings.FlowChannel)
    return std::nullopt;
  return count;
}

// Runs the analysis and takes its breaths, summary and measures into the report.
void Collect(const SpirometryArgs& args, Analysis& a, Console& console) {
  Report& report = a.report;
  Bool16 ok = kFalse16;
  std::wstring message;
  a.results->EnsureAnalysis(&ok, &message);
  const auto& s = report.settings;
  if (a.selection.start.block == a.selection.end.block && s.FlowChannel >= 0 && s.VolumeChannel >= 0) {
    const std::string missing = MissingSamplesNotice(a.doc->Data(), s.FlowChannel, s.VolumeChannel, a.selection.start,
                                                     a.selection.end, MissingFlowCountedByAnalysis(a));
    if (!missing.empty()) console.Error(missing);
  }
  report.valid = ok != kFalse16;
  report.message = ToUtf8(message);
  a.results->GetRequestedSelection(&report.start, &report.end);
  if (!report.valid) {
    report.start = a.selection.start;
    report.end = a.selection.end;
    return;
  }
  std::int32_t count = 0;
  a.results->GetBreathCount(&count);
  for (std::int32_t i = 0; i < count; ++i) {
    Spirometry::SpiroBreathRecord b{};
    if (Failed(a.results->GetBreath(i, &b))) continue;
    report.breaths.push_back(b);
  }
  if (a.measures) {
    ReadMeasures(*a.measures, Spirometry::kMeasureOfBreath, &report.breathMeasures);
    ReadMeasures(*a.measures, Spirometry::kMeasureOfAnalysis, &report.analysisMeasures);
  }
  if (!a.results2) return;
  Spirometry::SpiroDetectionRecord detection{};
  if (Succeeded(a.results2->GetDetection(&detection)) && detection.Automatic != kFalse16) report.detection = detection;
  if (args.standard && a.measures) {
    StandardResults standard;
    if (ReadMeasures(*a.measures, Spirometry::kMeasureOfManoeuvre, &standard.manoeuvres) &&
        ReadMeasures(*a.measures, Spirometry::kMeasureOfTest, &standard.test))
      report.standard = std::move(standard);
  }
}

// Opens the document, sends the settings and the selection, and analyses: the report is in a.report.
int Analyse(const SpirometryArgs& args, Analysis& a, Console& console) {
  if (int code = CheckAgainstFile(args, a.doc->File(), console)) return code;
  if (args.flowChannel) a.flow = *args.flowChannel - 1;
  if (args.volumeChannel) a.volume = *args.volumeChannel - 1;
  if (args.rawChannel)
    if (int code = AddRawChannels(args, a, console)) return code;
  if (int code = OpenSpirometryDocument(args, a, console)) return code;
  if (int code = Select(args, a, console)) return code;
  a.results->GetSettings(&a.report.settings);
  if (int code = CheckChosenChannels(a, console)) return code;
  Collect(args, a, console);
  return kExitOk;
}

// report.html, report.csv, the pictures, report.pdf and standard.csv in the --out folder; each path written is told
// on the console's output (with --json on its error stream, which keeps the output to JSON).
int WriteOutFolder(const SpirometryArgs& args, Analysis& a, Console& console) {
  const std::string& folder = *args.out;
  auto tell = [&](const std::string& path) {
    const std::string line = "Wrote " + path + "\n";
    args.json ? console.Err(line) : console.Out(line);
  };
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    console.Error("cannot create the folder " + folder + ": " + ec.message());
    return kExitFailure;
  }
  const auto html = (std::filesystem::path(folder) / "report.html").string();
  const auto csv = (std::filesystem::path(folder) / "report.csv").string();
  // One after the other: the export is not written once the report has failed.
  for (const auto& path : {html, csv}) {
    auto written =
        path == html ? WriteReportHtml(*a.doc, a.custom.Get(), path) : WriteReportCsv(*a.doc, a.custom.Get(), path);
    if (!written) {
      console.Error(path + ": " + written.ErrorMessage());
      return kExitFailure;
    }
    tell(path);
  }
  auto pictures = WriteViewPictures(*a.doc, a.custom.Get(), folder);
  if (!pictures) {
    console.Error(pictures.ErrorMessage());
    return kExitFailure;
  }
  for (const auto& path : *pictures) tell(path);
  const auto pdf = (std::filesystem::path(folder) / "report.pdf").string();
  auto laidOut = WriteReportPdf(html, pdf);
  if (!laidOut) {
    console.Error(pdf + ": " + laidOut.ErrorMessage());
    return kExitFailure;
  }
  if (*laidOut) tell(pdf);
  if (a.report.standard) {
    const auto path = (std::filesystem::path(folder) / "standard.csv").string();
    if (auto written = WriteStandardCsv(*a.report.standard, path); !written) {
      console.Error(written.ErrorMessage());
      return kExitFailure;
    }
    tell(path);
  }
  return kExitOk;
}

// The JSON object or the table, then the folder and the save.
int WriteResults(const SpirometryArgs& args, Analysis& a, Console& console, const AnalysisTarget& target) {
  const Report& report = a.report;
  if (args.json) console.Out(ReportJson(report, target.jsonFile));
  if (!report.valid) {
    console.Error(report.message.empty() ? "the selection cannot be analysed" : report.message);
    return kExitFailure;
  }
  if (!args.json) console.Out(ReportTable(report));
  if (args.out)
    if (int code = WriteOutFolder(args, a, console)) return code;
  if (ReadFailed(*a.doc, console)) return kExitFailure;
  if (args.save) {
    auto saved = a.doc->Save(args.file);
    if (!saved) {
      console.Error(saved.ErrorMessage());
      return kExitFailure;
    }
  }
  return kExitOk;
}

}  // namespace

int CheckSpirometryOptions(const SpirometryArgs& args, const std::vector<std::string>& files, Console& console) {
  if (args.preset && !args.rawChannel) {
    console.Error("--preset names the flow head of --raw-channel; give that too");
    return kExitUsage;
  }
  if (args.toBlock && *args.toBlock < args.block) {
    console.Error("the selection ends (--to-block " + std::to_string(*args.toBlock) + ") before it starts (--block " +
                  std::to_string(args.block) + ")");
    return kExitUsage;
  }
  if (args.from && args.to && args.toBlock.value_or(args.block) == args.block && *args.to < *args.from) {
    console.Error("the selection ends (--to " + NumberText(*args.to) + " s) before it starts (--from " +
                  NumberText(*args.from) + " s)");
    return kExitUsage;
  }
  if (args.out) {
    std::error_code ec;
    auto status = std::filesystem::status(*args.out, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
      console.Error("--out " + *args.out + " is a file, not a folder");
      return kExitUsage;
    }
  }
  for (const auto& file : files) {
    if (args.save && !IsKymoPath(file)) {
      console.Error(file + ": only a .kymo file can keep the settings; import the recording first");
      return kExitUsage;
    }
  }
  if (args.flowUnits && !PrefixOfUnits(*args.flowUnits)) {
    console.Error("--flow-units takes L/s, mL/s, \xC2\xB5L/s or uL/s, not '" + *args.flowUnits + "'");
    return kExitUsage;
  }
  return kExitOk;
}

int AnalyseSpirometry(const SpirometryArgs& args, HostDocument* opened, Console& console,
                      const AnalysisTarget& target) {
  std::unique_ptr<HostDocument> owned = opened ? nullptr : OpenDocument(args.file, target.reading, console);
  Analysis a;
  a.doc = opened ? opened : owned.get();
  if (!a.doc) return kExitFailure;
  if (int code = Analyse(args, a, console)) return code;
  if (ReadFailed(*a.doc, console)) return kExitFailure;
  if (target.report) *target.report = a.report;
  return WriteResults(args, a, console, target);
}

}  // namespace kymora::cli
