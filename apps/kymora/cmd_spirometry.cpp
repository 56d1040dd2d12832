// kymora spirometry FILE [options]: the spirometry analysis of a selection of one block. The settings reach
// the spirometry document as the "SpirometrySettings" scripting message, exactly as a script sends them; the
// selection as the host's selection. Prints the breaths and the summary as a table or as one JSON object.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/cli_options.h"
#include "apps/kymora/commands.h"
#include "apps/kymora/json_writer.h"
#include "apps/kymora/spirometry_command.h"
#include "apps/kymora/spirometry_missing.h"
#include "apps/kymora/spirometry_outputs.h"
#include "apps/kymora/spirometry_standard.h"
#include "host/calc/ichannel_calc.h"
#include "host/calc/ikey_value_settings.h"
#include "host/com/text.h"
#include "spirometry/document/ispiro_results.h"

namespace kymora::cli {

namespace {

std::optional<std::int32_t> PrefixOfUnits(const std::string& units) {
  if (units == "L/s") return 8;
  if (units == "mL/s") return 7;
  if (units == "\xC2\xB5L/s" || units == "uL/s") return 6;
  return std::nullopt;
}

bool IsAuto(const std::string& text) {
  return text.size() == 4 && std::equal(text.begin(), text.end(), "auto", [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

double PrefixFactor(std::int32_t prefix) { return prefix == 6 ? 1e6 : prefix == 7 ? 1e3 : 1.0; }
const char* PrefixText(std::int32_t prefix) { return prefix == 6 ? "\xC2\xB5" : prefix == 7 ? "m" : ""; }

// Puts a calculation on a new channel with KEY=VALUE settings, as `kymora calc` does; the channel's index.
std::optional<std::int32_t> AddCalculatedChannel(HostDocument& doc, const wchar_t* className,
                                                 const std::vector<std::pair<std::wstring, std::wstring>>& values) {
  auto cls = doc.Registry().Calculations().FindByName(className);
  if (!cls) {
    PrintError("no extension offers the calculation " + ToUtf8(className) + " (is the Spirometry extension loaded?)");
    return std::nullopt;
  }
  std::wstring title;
  cls->GetDisplayName(&title);
  const std::int32_t channel = doc.File().AddChannel(title);
  ComPtr<IChannelCalc> calc;
  ComPtr<IPersistObject> settings;
  if (Failed(doc.Data().PutCalculation(channel, cls.Get(), &calc)) || !calc ||
      Failed(calc->GetSettings(settings.Put())) || !settings) {
    PrintError(doc.Data().LastError().empty() ? "the calculation could not be put on a channel"
                                              : doc.Data().LastError());
    return std::nullopt;
  }
  auto keys = settings.As<IKeyValueSettings>();
  for (const auto& [key, value] : values) {
    std::wstring error;
    if (!keys || Failed(keys->SetValue(key.c_str(), value.c_str(), &error))) {
      PrintError(ToUtf8(error.empty() ? key + L"=" + value + L" is not accepted" : error));
      return std::nullopt;
    }
  }
  if (Failed(calc->ApplySettings(settings.Get(), kTrue16))) {
    PrintError("the calculation was refused" +
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

// A value of the table; "-" for one that could not be measured (not finite), as for an FEV1 beyond the block.
std::string Shown(double value, const char* format = "%g") {
  if (!std::isfinite(value)) return "-";
  char text[40];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void Position(JsonWriter& w, const char* key, DataPosition p) {
  w.Key(key).BeginObject().Key("offset").Int(p.offset).Key("block").Int(p.block).EndObject();
}

struct Report {
  Spirometry::SpiroSettingsRecord settings{};
  DataPosition start, end;
  bool valid = false;
  std::string message;
  std::vector<Spirometry::SpiroBreathRecord> breaths;
  std::vector<Spirometry::SpiroBreathParameters> parameters;
  Spirometry::SpiroSummary summary{};
  std::optional<Spirometry::SpiroDetectionRecord> detection;  // only with an automatic detection level
  std::optional<StandardResults> standard;                    // only with --standard
};

void PrintJson(const Report& r) {
  JsonWriter w;
  const auto& s = r.settings;
  w.BeginObject().Key("settings").BeginObject();
  w.Key("FlowChannel").Int(s.FlowChannel).Key("VolumeChannel").Int(s.VolumeChannel);
  w.Key("DetectionLevel").Double(s.DetectionLevel).Key("ForcedExpThres").Double(s.ForcedExpThres);
  w.Key("IncludeNonForced").Bool(s.IncludeNonForced != kFalse16).Key("NoiseFloor").Double(s.NoiseFloor);
  w.Key("ApplyNoiseFloor").Bool(s.ApplyNoiseFloor != kFalse16).Key("FlowUnitsPrefix").Int(s.FlowUnitsPrefix);
  if (r.detection) w.Key("AutoDetectionLevel").Bool(true);
  w.EndObject();
  if (r.detection) WriteDetectionJson(w.Key("detection"), *r.detection);
  w.Key("selection").BeginObject();
  Position(w, "start", r.start);
  Position(w, "end", r.end);
  w.EndObject();
  w.Key("valid").Bool(r.valid).Key("message").String(r.message);
  w.Key("breaths").BeginArray();
  for (std::size_t i = 0; i < r.breaths.size(); ++i) {
    const auto& b = r.breaths[i];
    const auto& p = r.parameters[i];
    const bool forcedOrSingle = b.IsForced != kFalse16 || b.IsSingleExpiration != kFalse16;
    w.BeginObject();
    w.Key("PeakInspiratoryFlow").Double(b.PeakInspiratoryFlow).Key("PeakExpiratoryFlow").Double(b.PeakExpiratoryFlow);
    w.Key("MaxVolume").Double(b.MaxVolume).Key("MinVolume").Double(b.MinVolume);
    w.Key("IsForced").Bool(b.IsForced != kFalse16).Key("IsSingleExpiration").Bool(b.IsSingleExpiration != kFalse16);
    Position(w, "Start", b.Start);
    Position(w, "End", b.End);
    Position(w, "MaxVolumePosition", b.MaxVolumePosition);
    Position(w, "MinVolumePosition", b.MinVolumePosition);
    Position(w, "PeakInspiratoryFlowPosition", b.PeakInspiratoryFlowPosition);
    Position(w, "PeakExpiratoryFlowPosition", b.PeakExpiratoryFlowPosition);
    Position(w, "ExpirationStart", b.ExpirationStart);
    w.Key("Reported").Bool(forcedOrSingle || s.IncludeNonForced != kFalse16);
    w.Key("Ti").Double(p.Ti).Key("Te").Double(p.Te).Key("Duration").Double(p.Duration);
    w.Key(forcedOrSingle ? "FVC" : "VT").Double(p.VolumeVtOrFvc);
    w.Key("PIF").Double(p.Pif).Key("PEF").Double(p.Pef);
    if (p.Fev1Available != kFalse16)
      w.Key("FEV1").Double(p.Fev1).Key("FEV1/FVC").Double(p.Fev1OverFvc);
    else
      w.Key("FEV1").Null().Key("FEV1/FVC").Null();
    for (const auto& m : r.standard ? r.standard->manoeuvres : std::vector<Spirometry::SpiroManoeuvreRecord>()) {
      if (m.BreathIndex != static_cast<std::int32_t>(i)) continue;
      WriteManoeuvreJson(w.Key(kStandardKey).BeginObject(), m);
      w.EndObject();
    }
    w.EndObject();
  }
  w.EndArray();
  const auto& m = r.summary;
  w.Key("summary").BeginObject();
  w.Key("TotalDuration").Double(m.TotalDuration).Key("NonForcedDuration").Double(m.NonForcedDuration);
  w.Key("Breaths").Int(m.BreathCount).Key("NonForcedBreaths").Int(m.NonForcedCount);
  w.Key("ForcedBreaths").Int(m.ForcedCount);
  w.Key("VE").Double(m.MinuteVentilation).Key("AverageVT").Double(m.AverageTidalVolume);
  w.Key("f").Double(m.BreathingFrequency);
  w.EndObject();
  if (r.standard) {
    WriteTestJson(w.Key(kStandardTestKey).BeginObject(), r.standard->test);
    w.EndObject();
  }
  w.EndObject();
  std::printf("%s\n", w.Text().c_str());
}

void PrintTable(const Report& r) {
  const auto& s = r.settings;
  const double k = PrefixFactor(s.FlowUnitsPrefix);
  const char* p = PrefixText(s.FlowUnitsPrefix);
  char level[96];
  if (r.detection)
    std::snprintf(level, sizeof level, "auto (%g%% of full range, %g %sL/s)", r.detection->Level,
                  r.detection->Height * k, p);
  else
    std::snprintf(level, sizeof level, "%g%% of full range", s.DetectionLevel);
  std::printf(
      "Flow channel %d, volume channel %d; detection level %s; forced expiration at %g x average volume; flow in "
      "%sL/s",
      s.FlowChannel + 1, s.VolumeChannel + 1, level, s.ForcedExpThres, p);
  if (s.ApplyNoiseFloor != kFalse16) std::printf("; noise floor %g L/s", s.NoiseFloor);
  std::printf("\nSelection: block %d tick %d to block %d tick %d\n\n", r.start.block + 1, r.start.offset,
              r.end.block + 1, r.end.offset);
  std::printf("%-7s %-18s %8s %8s %8s %11s %11s %11s %10s %9s\n", "Breath", "Kind", "Ti (s)", "Te (s)", "Dur (s)",
              (std::string("VT/FVC (") + p + "L)").c_str(), (std::string("PIF (") + p + "L/s)").c_str(),
              (std::string("PEF (") + p + "L/s)").c_str(), (std::string("FEV1 (") + p + "L)").c_str(), "FEV1/FVC");
  for (std::size_t i = 0; i < r.breaths.size(); ++i) {
    const auto& b = r.breaths[i];
    const auto& q = r.parameters[i];
    const char* kind = b.IsForced != kFalse16 && b.IsSingleExpiration != kFalse16 ? "forced, single"
                       : b.IsForced != kFalse16                                   ? "forced"
                       : b.IsSingleExpiration != kFalse16                         ? "single expiration"
                                                                                  : "non-forced";
    const bool fev1 = q.Fev1Available != kFalse16;
    std::printf("%-7zu %-18s %8.3f %8.3f %8.3f %11s %11s %11s %10s %9s\n", i + 1, kind, q.Ti, q.Te, q.Duration,
                Shown(q.VolumeVtOrFvc * k, "%.4g").c_str(), Shown(q.Pif * k, "%.4g").c_str(),
                Shown(q.Pef * k, "%.4g").c_str(), fev1 ? Shown(q.Fev1 * k, "%.4g").c_str() : "-",
                fev1 ? Shown(q.Fev1OverFvc, "%.3g%%").c_str() : "-");
  }
  const auto& m = r.summary;
  std::printf("\nDuration %g s (%g s non-forced); %d breaths (%d non-forced)\n", m.TotalDuration, m.NonForcedDuration,
              m.BreathCount, m.NonForcedCount);
  if (m.NonForcedCount > 0)
    std::printf("Non-forced: VE %s %sL/s (%s %sL/min), average VT %s %sL, f %g Hz (%g/min)\n",
                Shown(m.MinuteVentilation * k).c_str(), p, Shown(m.MinuteVentilation * k * 60.0).c_str(), p,
                Shown(m.AverageTidalVolume * k).c_str(), p, m.BreathingFrequency, m.BreathingFrequency * 60.0);
  if (r.standard) PrintStandardTable(*r.standard, k, p);
}

}  // namespace

int RunSpirometry(const SpirometryArgs& args, HostDocument* opened) {
  if (args.preset && !args.rawChannel) {
    PrintError("--preset names the flow head of --raw-channel; give that too");
    return kExitUsage;
  }
  if (args.toBlock && *args.toBlock < args.block) {
    PrintError("the selection ends (--to-block " + std::to_string(*args.toBlock) + ") before it starts (--block " +
               std::to_string(args.block) + ")");
    return kExitUsage;
  }
  if (args.from && args.to && args.toBlock.value_or(args.block) == args.block && *args.to < *args.from) {
    PrintError("the selection ends (--to " + NumberText(*args.to) + " s) before it starts (--from " +
               NumberText(*args.from) + " s)");
    return kExitUsage;
  }
  if (args.out) {
    std::error_code ec;
    auto status = std::filesystem::status(*args.out, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
      PrintError("--out " + *args.out + " is a file, not a folder");
      return kExitUsage;
    }
  }
  if (args.save && !IsKymoPath(args.file)) {
    PrintError(args.file + ": only a .kymo file can keep the settings; import the recording first");
    return kExitUsage;
  }
  std::optional<std::int32_t> prefix;
  if (args.flowUnits && !(prefix = PrefixOfUnits(*args.flowUnits))) {
    PrintError("--flow-units takes L/s, mL/s, \xC2\xB5L/s or uL/s, not '" + *args.flowUnits + "'");
    return kExitUsage;
  }
  std::unique_ptr<HostDocument> owned = opened ? nullptr : OpenDocument(args.file);
  HostDocument* doc = opened ? opened : owned.get();
  if (!doc) return kExitFailure;
  auto& file = doc->File();
  const std::int32_t block = args.block - 1, endBlock = args.toBlock.value_or(args.block) - 1;
  for (std::int32_t b : {block, endBlock}) {
    if (b >= file.BlockCount()) {
      PrintError(args.file + " has " + std::to_string(file.BlockCount()) + " block(s); there is no block " +
                 std::to_string(b + 1));
      return kExitUsage;
    }
  }
  for (auto c : {args.flowChannel, args.volumeChannel, args.rawChannel}) {
    if (c && *c > file.ChannelCount()) {
      PrintError("channel " + std::to_string(*c) + " does not exist (the file has " +
                 std::to_string(file.ChannelCount()) + ")");
      return kExitUsage;
    }
  }

  std::optional<std::int32_t> flow, volume;
  if (args.flowChannel) flow = *args.flowChannel - 1;
  if (args.volumeChannel) volume = *args.volumeChannel - 1;
  if (args.rawChannel) {
    // The calculations' settings keep channel numbers in one byte, so the two new channels must be among
    // the first 256.
    constexpr std::int32_t kHighestChannel = 256;
    if (file.ChannelCount() + 2 > kHighestChannel) {
      PrintError("--raw-channel adds a flow and a volume channel, which would be channels " +
                 std::to_string(file.ChannelCount() + 1) + " and " + std::to_string(file.ChannelCount() + 2) +
                 "; calculations can use channels 1 to " + std::to_string(kHighestChannel) + " only (the file has " +
                 std::to_string(file.ChannelCount()) + ")");
      return kExitUsage;
    }
    // Without --preset the flow calculation keeps its own default flow head.
    std::vector<std::pair<std::wstring, std::wstring>> keys = {{L"source", std::to_wstring(*args.rawChannel)}};
    if (args.preset) keys.push_back({L"preset", std::to_wstring(*args.preset)});
    flow = AddCalculatedChannel(*doc, L"SpFlow", keys);
    if (!flow) return kExitFailure;
    volume = AddCalculatedChannel(*doc, L"SpVol", {{L"source", std::to_wstring(*flow + 1)}});
    if (!volume) return kExitFailure;
  }

  auto custom = doc->Frame().Document(Spirometry::kSpiroDocumentGuid);
  if (!custom) {
    PrintError(custom.ErrorMessage() + " (is the Spirometry extension loaded?)");
    return kExitFailure;
  }
  auto results = custom->As<ISpiroResults>();
  if (!results) {
    PrintError("the spirometry document does not give its results");
    return kExitFailure;
  }

  // Every value not given keeps the document's current one, so that a run changes only what it names.
  Spirometry::SpiroSettingsRecord current{};
  results->GetSettings(&current);
  const std::vector<MessageValue> values = {
      {L"ForcedExpThres", args.forcedThreshold.value_or(current.ForcedExpThres)},
      {L"DetectionLevel", args.detectionLevel.value_or(current.DetectionLevel)},
      {L"IncludeNonForced", args.includeNonForced.value_or(current.IncludeNonForced != kFalse16) ? 1.0 : 0.0},
      {L"FlowChannel", static_cast<double>(flow.value_or(current.FlowChannel))},
      {L"VolumeChannel", static_cast<double>(volume.value_or(current.VolumeChannel))},
      {L"FlowUnitsPrefix", static_cast<double>(prefix.value_or(current.FlowUnitsPrefix))},
      {L"NoiseFloor", args.noiseFloor.value_or(current.NoiseFloor)},
      {L"ApplyNoiseFloor", args.applyNoiseFloor.value_or(current.ApplyNoiseFloor != kFalse16) ? 1.0 : 0.0},
  };
  auto sent = doc->Frame().SendScriptMessage(L"SpirometrySettings", values);
  if (!sent) {
    PrintError(sent.ErrorMessage());
    return kExitFailure;
  }
  // The automatic level is not part of the settings message: a level given says whether it is on.
  auto results2 = custom->As<ISpiroResults2>();
  if ((args.autoDetectionLevel || args.detectionLevel || args.standard) && !results2) {
    PrintError("the spirometry document does not offer the automatic level or the standard's measures");
    return kExitFailure;
  }
  if (args.autoDetectionLevel || args.detectionLevel)
    results2->SetAutomaticDetectionLevel(args.autoDetectionLevel ? kTrue16 : kFalse16);
  if (args.standard) results2->SetStandardReport(kTrue16);

  Selection selection;
  selection.valid = true;
  const auto& startRecord = file.blocks[static_cast<std::size_t>(block)];
  const auto& endRecord = file.blocks[static_cast<std::size_t>(endBlock)];
  const auto from =
      args.from ? TickInBlock(*args.from, startRecord.secsPerTick, startRecord.length) : std::optional<std::int32_t>(0);
  const auto to = args.to ? TickInBlock(*args.to, endRecord.secsPerTick, endRecord.length)
                          : static_cast<std::int32_t>(std::min<std::int64_t>(endRecord.length, DataPosition::kNotSet));
  if (!from || !to) {
    const bool start = !from;
    const auto& record = start ? startRecord : endRecord;
    char text[160];
    std::snprintf(text, sizeof text, "%s %g s lies beyond the end of block %d, which lasts %g s",
                  start ? "--from" : "--to", start ? *args.from : *args.to, (start ? block : endBlock) + 1,
                  static_cast<double>(record.length) * record.secsPerTick);
    PrintError(text);
    return kExitUsage;
  }
  selection.start = {*from, block};
  selection.end = {*to, endBlock};
  doc->SetSelection(selection);  // the document refreshes: channel lists, validation

  Report report;
  results->GetSettings(&report.settings);
  // A channel the document cannot use is replaced by its first choice; the user asked for that channel.
  if (flow && report.settings.FlowChannel != *flow) {
    PrintError("channel " + std::to_string(*flow + 1) +
               " cannot serve as the flow channel (it needs an SpFlow "
               "calculation or units of L/s, mL/s or \xC2\xB5L/s)");
    return kExitUsage;
  }
  if (volume && report.settings.VolumeChannel != *volume) {
    PrintError("channel " + std::to_string(*volume + 1) +
               " cannot serve as the volume channel (it needs an SpVol "
               "calculation or units of L or mL)");
    return kExitUsage;
  }

  Bool16 ok = kFalse16;
  std::wstring message;
  results->EnsureAnalysis(&ok, &message);
  if (block == endBlock && report.settings.FlowChannel >= 0 && report.settings.VolumeChannel >= 0) {
    const std::string missing = MissingSamplesNotice(doc->Data(), report.settings.FlowChannel,
                                                     report.settings.VolumeChannel, selection.start, selection.end);
    if (!missing.empty()) PrintError(missing);
  }
  report.valid = ok != kFalse16;
  report.message = ToUtf8(message);
  results->GetRequestedSelection(&report.start, &report.end);
  if (!report.valid) {
    report.start = selection.start;
    report.end = selection.end;
  }
  std::int32_t count = 0;
  results->GetBreathCount(&count);
  for (std::int32_t i = 0; report.valid && i < count; ++i) {
    Spirometry::SpiroBreathRecord b{};
    Spirometry::SpiroBreathParameters p{};
    if (Failed(results->GetBreath(i, &b)) || Failed(results->GetBreathParameters(i, &p))) continue;
    report.breaths.push_back(b);
    report.parameters.push_back(p);
  }
  if (report.valid) results->GetSummary(&report.summary);
  if (report.valid && results2) {
    Spirometry::SpiroDetectionRecord detection{};
    if (Succeeded(results2->GetDetection(&detection)) && detection.Automatic != kFalse16) report.detection = detection;
    if (args.standard) {
      StandardResults standard;
      if (results2->GetForcedManoeuvres(&standard.manoeuvres, &standard.test) == S_OK) report.standard = standard;
    }
  }

  if (args.json) PrintJson(report);
  if (!report.valid) {
    PrintError(report.message.empty() ? "the selection cannot be analysed" : report.message);
    return kExitFailure;
  }
  if (!args.json) PrintTable(report);
  if (args.out) {
    std::error_code ec;
    std::filesystem::create_directories(*args.out, ec);
    if (ec) {
      PrintError("cannot create the folder " + *args.out + ": " + ec.message());
      return kExitFailure;
    }
    const auto html = (std::filesystem::path(*args.out) / "report.html").string();
    const auto csv = (std::filesystem::path(*args.out) / "report.csv").string();
    // One after the other: the export is not written once the report has failed.
    for (const auto& path : {html, csv}) {
      auto written =
          path == html ? WriteReportHtml(*doc, custom->Get(), path) : WriteReportCsv(*doc, custom->Get(), path);
      if (!written) {
        PrintError(path + ": " + written.ErrorMessage());
        return kExitFailure;
      }
      std::fprintf(args.json ? stderr : stdout, "Wrote %s\n", path.c_str());
    }
    auto pictures = WriteViewPictures(*doc, custom->Get(), *args.out);
    if (!pictures) {
      PrintError(pictures.ErrorMessage());
      return kExitFailure;
    }
    for (const auto& path : *pictures) std::fprintf(args.json ? stderr : stdout, "Wrote %s\n", path.c_str());
    if (report.standard) {
      const auto path = (std::filesystem::path(*args.out) / "standard.csv").string();
      if (auto written = WriteStandardCsv(*report.standard, path); !written) {
        PrintError(written.ErrorMessage());
        return kExitFailure;
      }
      std::fprintf(args.json ? stderr : stdout, "Wrote %s\n", path.c_str());
    }
  }
  if (args.save) {
    auto saved = doc->Save(args.file);
    if (!saved) {
      PrintError(saved.ErrorMessage());
      return kExitFailure;
    }
  }
  return kExitOk;
}

void AddSpirometryCommand(CLI::App& app, int& exitCode) {
  auto args = std::make_shared<SpirometryArgs>();
  auto switches = std::make_shared<std::pair<std::string, std::string>>();  // include-non-forced, noise floor
  auto* cmd = app.add_subcommand(
      "spirometry",
      "Analyse a selection of one block into breaths: forced expirations, Ti, Te, VT, PIF, PEF, FVC, FEV1, VE, f.\n"
      "Settings not given keep the file's current ones. --json prints one object: volumes in L, flows in L/s,\n"
      "times in s, channel and block indices zero-based as in the settings message; FEV1 is null when the\n"
      "second after the start of expiration lies beyond the block.");
  cmd->add_option("FILE", args->file, "A .kymo file or a recording")->required();
  cmd->add_option("--flow-channel", args->flowChannel, "Flow channel, from 1")->check(Counting());
  cmd->add_option("--volume-channel", args->volumeChannel, "Volume channel, from 1")->check(Counting());
  cmd->add_option_function<std::string>(
         "--detection-level",
         [args](const std::string& text) {
           args->autoDetectionLevel = IsAuto(text);
           if (!args->autoDetectionLevel) args->detectionLevel = std::stod(text);
         },
         "Breath detection level, % of the flow's full range (0.01 to 10), or auto (chosen from the flow signal)")
      ->check(CLI::Validator(
          [range = Within(0.01, 10.0)](std::string& text) { return IsAuto(text) ? std::string() : range(text); },
          "NUMBER|auto"));
  cmd->add_option("--forced-threshold", args->forcedThreshold, "Forced expiration threshold, x average volume")
      ->check(Within(0.1, 10.0));
  cmd->add_flag("--include-non-forced{on}", switches->first, "List non-forced breaths in the report (=off: do not)")
      ->check(OnOff());
  cmd->add_option("--flow-units", args->flowUnits, "Flow units: L/s, mL/s, \xC2\xB5L/s or uL/s");
  cmd->add_option("--noise-floor", switches->second,
                  "Clamp flows below this (L/s) to zero; off stops clamping, on resumes it at the stored value")
      ->check(AtLeast(0.0) | OnOff());
  cmd->add_option("--block", args->block, "Block of the selection, from 1 (default 1)")->check(Counting());
  cmd->add_option("--from", args->from, "Selection start, seconds from the start of the block")->check(AtLeast(0.0));
  cmd->add_option("--to", args->to, "Selection end, seconds from the start of its block (default: its end)")
      ->check(AtLeast(0.0));
  cmd->add_option("--to-block", args->toBlock, "Block in which the selection ends, from 1")->check(Counting());
  cmd->add_option("--raw-channel", args->rawChannel, "Flow-head voltage channel: adds SpFlow and SpVol channels")
      ->check(Counting());
  cmd->add_option("--preset", args->preset, "Flow head of --raw-channel (0..4; default that of SpFlow)")
      ->check(WholeWithin(0, 4));
  cmd->add_flag("--save", args->save, "Keep the settings and calculations in the .kymo file");
  cmd->add_flag("--json", args->json, "Print one JSON object");
  cmd->add_flag("--standard", args->standard,
                "Also the ATS/ERS 2019 measures of each forced expiration and the grade of the test (JSON, table, "
                "report section, DIR/standard.csv)");
  cmd->add_option("--out", args->out,
                  "Write the report (report.html), its CSV export (report.csv) and pictures of the data window and the "
                  "flow-volume plot (data-window.svg/.png, flow-volume.svg/.png) into DIR");
  cmd->callback([args, switches, &exitCode] {
    if (!switches->first.empty()) args->includeNonForced = SwitchValue(switches->first);
    if (!switches->second.empty()) {
      args->applyNoiseFloor = SwitchValue(switches->second).value_or(true);
      if (!SwitchValue(switches->second)) args->noiseFloor = std::stod(switches->second);
    }
    exitCode = RunSpirometry(*args);
  });
}

}  // namespace kymora::cli
