// kymora calibrate FILE --channel N --volume LITRES [--block N --from S --to S] [--apply] [--force]: the head
// scale of a flow head from a known volume pushed through it (a calibration syringe emptied through the head
// at rest), as the flow calculation's calibration works it out; with --apply it becomes the custom head scale
// of the channel's SpFlow calculation and the file is saved.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/cli_options.h"
#include "apps/kymora/commands.h"
#include "host/calc/ichannel_calc.h"
#include "host/calc/ikey_value_settings.h"
#include "host/com/text.h"
#include "spirometry/calc/iflow_head_calibration.h"

namespace kymora::cli {

namespace {
// What the calibration dialog takes without marking it in red: a syringe of 10 mL to 9.99 L, and a head
// scale that a flow head can have. A scale outside comes from a selection that missed the stroke (a
// stretch at rest integrates to almost nothing) and would make every flow of the file wrong.
constexpr double kVolumeMin = 0.01, kVolumeMax = 9.99;  // L
constexpr double kScaleMin = 0.01, kScaleMax = 99.9;    // L/s per V

struct Args {
  std::string file;
  std::int32_t channel = 1;
  double volume = 0.0;
  std::int32_t block = 1;
  std::optional<double> from, to;
  bool apply = false;
  bool force = false;
};

std::string Figure(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

ComPtr<IFlowHeadCalibration> CalibrationOf(HostDocument& doc, std::int32_t channel) {
  ComPtr<IChannelCalc> calc;
  if (doc.Data().GetChannelCalc(channel, calc.Put()) != S_OK || !calc) return nullptr;
  return calc.As<IFlowHeadCalibration>();
}

// Units of a recorded flow-head voltage: V with or without an SI prefix, or none at all (the flow
// calculation reads such a source as volts too).
bool IsVoltage(std::wstring_view units) {
  constexpr std::wstring_view kPrefixes = L"yzafpnu\u00B5mkMGTPEZY";
  return units.empty() || units == L"V" ||
         (units.size() == 2 && units[1] == L'V' && kPrefixes.find(units[0]) != std::wstring_view::npos);
}

// A channel the calibration can integrate: one with an SpFlow calculation (its source is integrated) or
// one that records a voltage in the block. Any other calculated channel (a volume, say) is not volts.
bool CanCalibrate(HostDocument& doc, std::int32_t channel, std::int32_t block) {
  if (CalibrationOf(doc, channel)) return true;
  ComPtr<IChannelCalc> calc;
  if (doc.Data().GetChannelCalc(channel, calc.Put()) == S_OK && calc) return false;
  const auto& blockChannels = doc.File().blocks[static_cast<std::size_t>(block)].channels;
  return static_cast<std::size_t>(channel) < blockChannels.size() &&
         IsVoltage(blockChannels[static_cast<std::size_t>(channel)].units);
}

// The channels (from 1) that CanCalibrate takes, as "1", "1 or 2", "1, 2 or 4"; empty when none.
std::string CalibratableChannels(HostDocument& doc, std::int32_t block) {
  std::vector<std::string> numbers;
  for (std::int32_t c = 0; c < doc.File().ChannelCount(); ++c)
    if (CanCalibrate(doc, c, block)) numbers.push_back(std::to_string(c + 1));
  std::string text;
  for (std::size_t i = 0; i < numbers.size(); ++i)
    text += (i == 0 ? "" : i + 1 == numbers.size() ? " or " : ", ") + numbers[i];
  return text;
}

// A flow calculation over a recorded flow-head channel, on a channel added in memory (never saved).
ComPtr<IFlowHeadCalibration> TemporaryCalibration(HostDocument& doc, std::int32_t rawChannel) {
  auto cls = doc.Registry().Calculations().FindByName(L"SpFlow");
  if (!cls) return nullptr;
  const std::int32_t channel = doc.File().AddChannel(L"Calibration");
  ComPtr<IChannelCalc> calc;
  ComPtr<IPersistObject> settings;
  if (Failed(doc.Data().PutCalculation(channel, cls.Get(), &calc)) || !calc ||
      Failed(calc->GetSettings(settings.Put())))
    return nullptr;
  auto keys = settings.As<IKeyValueSettings>();
  if (!keys || Failed(keys->SetValue(L"source", std::to_wstring(rawChannel + 1).c_str(), nullptr)) ||
      Failed(calc->ApplySettings(settings.Get(), kTrue16)))
    return nullptr;
  return calc.As<IFlowHeadCalibration>();
}

// Seconds from the start of the block as a tick; nothing beyond the block.
std::optional<std::int32_t> Tick(double seconds, const Block& block) {
  const double tick = std::round(seconds / block.secsPerTick);
  if (!(tick >= 0.0 && tick <= static_cast<double>(std::min<std::int64_t>(block.length, DataPosition::kNotSet - 1))))
    return std::nullopt;
  return static_cast<std::int32_t>(tick);
}

// Sets the head scale as the custom scale of the channel's flow calculation and saves the file.
int Apply(HostDocument& doc, const Args& args, double headScale) {
  ComPtr<IChannelCalc> calc;
  ComPtr<IPersistObject> settings;
  if (doc.Data().GetChannelCalc(args.channel - 1, calc.Put()) != S_OK || Failed(calc->GetSettings(settings.Put()))) {
    PrintError("the channel's calculation cannot be read");
    return kExitFailure;
  }
  auto keys = settings.As<IKeyValueSettings>();
  std::wstring error;
  if (!keys || Failed(keys->SetValue(L"scale", FromUtf8(NumberText(headScale)).c_str(), &error)) ||
      Failed(calc->ApplySettings(settings.Get(), kTrue16))) {
    PrintError("the head scale was refused" + (error.empty() ? std::string() : ": " + ToUtf8(error)));
    return kExitFailure;
  }
  auto saved = doc.Save(args.file);
  if (!saved) {
    PrintError(saved.ErrorMessage());
    return kExitFailure;
  }
  std::printf("Set as the custom head scale of the SpFlow calculation on channel %d; %s saved.\n", args.channel,
              args.file.c_str());
  return kExitOk;
}

int Run(const Args& args) {
  if (args.apply && !IsKymoPath(args.file)) {
    PrintError(args.file + ": --apply changes a .kymo file; import the recording first");
    return kExitUsage;
  }
  auto doc = OpenDocument(args.file);
  if (!doc) return kExitFailure;
  auto& file = doc->File();
  const std::int32_t channel = args.channel - 1;
  if (channel >= file.ChannelCount()) {
    PrintError("channel " + std::to_string(args.channel) + " does not exist (the file has " +
               std::to_string(file.ChannelCount()) + ")");
    return kExitUsage;
  }
  if (args.block > file.BlockCount()) {
    PrintError(args.file + " has " + std::to_string(file.BlockCount()) + " block(s); there is no block " +
               std::to_string(args.block));
    return kExitUsage;
  }
  if (!CanCalibrate(*doc, channel, args.block - 1)) {
    const std::string valid = CalibratableChannels(*doc, args.block - 1);
    PrintError("channel " + std::to_string(args.channel) + " (" + Narrow(file.channels[channel].title) +
               ") is neither a recorded voltage nor an SpFlow calculation: " +
               (valid.empty() ? "block " + std::to_string(args.block) +
                                    " has no such channel; import the flow-head voltage (in V) first"
                              : "give --channel " + valid));
    return kExitUsage;
  }
  auto calibration = CalibrationOf(*doc, channel);
  if (!calibration && args.apply) {
    PrintError("channel " + std::to_string(args.channel) +
               " has no SpFlow calculation to take the head scale (kymora calc FILE CHANNEL SpFlow source=RAW)");
    return kExitUsage;
  }
  if (!calibration) calibration = TemporaryCalibration(*doc, channel);
  if (!calibration) {
    PrintError("no extension offers the flow calculation's calibration (is the Spirometry extension loaded?)");
    return kExitFailure;
  }
  const auto& block = file.blocks[static_cast<std::size_t>(args.block - 1)];
  const auto from = Tick(args.from.value_or(0.0), block);
  const auto to = args.to ? Tick(*args.to, block)
                          : std::optional<std::int32_t>(static_cast<std::int32_t>(
                                std::min<std::int64_t>(block.length, DataPosition::kNotSet - 1)));
  if (!from || !to || *to <= *from) {
    PrintError("the selection must lie within block " + std::to_string(args.block) + " with --to after --from");
    return kExitUsage;
  }
  // The integral runs from each sample to the next: a single sample has nothing to run to.
  if (*to - *from < 2) {
    PrintError(
        "the selection holds one sample, which integrates to nothing: select the whole stroke, with --from "
        "before the syringe is pushed and --to after it is empty");
    return kExitUsage;
  }
  double headScale = 0.0, integral = 0.0;
  std::wstring message;
  const HRESULT hr =
      calibration->CalibrateHeadScale(doc->DataInterface(), {*from, args.block - 1}, {*to, args.block - 1}, args.volume,
                                      &headScale, &integral, &message);
  if (ReadFailed(*doc)) return kExitFailure;
  if (hr != S_OK) {
    PrintError(message.empty() ? "the selection cannot be read" : ToUtf8(message));
    return kExitFailure;
  }
  if (integral == 0.0) {
    PrintError(
        "the voltage over the selection integrates to 0 V s, so no volume went through the head there: "
        "select the whole syringe stroke");
    return kExitFailure;
  }
  const bool plausible = headScale >= kScaleMin && headScale <= kScaleMax;
  const bool usable = std::isfinite(headScale) && headScale > 0.0;
  if (!plausible && !(args.force && usable)) {
    PrintError("the head scale comes to " + Figure(headScale) + " L/s per V, outside " + Figure(kScaleMin) + " to " +
               Figure(kScaleMax) + ": select the syringe stroke alone and check --volume" +
               (usable ? ", or give --force to take it" : ""));
    return kExitFailure;
  }
  std::printf("Head scale: %.6g L/s per V\n", headScale);
  std::printf("(%s L over %.6g V s of channel %d, block %d, ticks %d to %d)\n", NumberText(args.volume).c_str(),
              integral, args.channel, args.block, *from, *to);
  if (!plausible)
    std::fprintf(stderr, "kymora: warning: the head scale lies outside %s to %s L/s per V; taken as --force asks\n",
                 Figure(kScaleMin).c_str(), Figure(kScaleMax).c_str());
  return args.apply ? Apply(*doc, args, headScale) : kExitOk;
}
}  // namespace

void AddCalibrateCommand(CLI::App& app, int& exitCode) {
  auto args = std::make_shared<Args>();
  auto* cmd = app.add_subcommand(
      "calibrate", "Head scale of a flow head from a known volume pushed through it (a calibration syringe)");
  cmd->add_option("FILE", args->file, "A .kymo file or a recording")->required();
  cmd->add_option("--channel", args->channel,
                  "The channel with the SpFlow calculation, or the recorded flow-head voltage, from 1")
      ->required()
      ->check(Counting());
  cmd->add_option("--volume", args->volume, "The volume pushed through the head, in litres")
      ->required()
      ->check(Within(kVolumeMin, kVolumeMax, "L"));
  cmd->add_option("--block", args->block, "Block of the stroke, from 1 (default 1)")->check(Counting());
  cmd->add_option("--from", args->from, "Start of the stroke, seconds from the start of the block (default 0)")
      ->check(AtLeast(0.0));
  cmd->add_option("--to", args->to, "End of the stroke, seconds from the start of the block (default: its end)")
      ->check(AtLeast(0.0));
  cmd->add_flag("--apply", args->apply, "Set the head scale on the channel's SpFlow calculation and save the file");
  cmd->add_flag("--force", args->force,
                "Take a head scale outside " + Figure(kScaleMin) + " to " + Figure(kScaleMax) +
                    " L/s per V (refused otherwise: the selection most likely missed the stroke)");
  cmd->callback([args, &exitCode] { exitCode = Run(*args); });
}

}  // namespace kymora::cli
