// kymora units FILE CHANNEL [--block N] [--scale S [--offset O] --units TEXT | --clear]: the units conversion
// that the user puts on a channel's recorded values (for example a voltage shown as L/s), in every block
// where the channel has recorded data or in one block. Without --scale or --clear it shows what is set.
// Calculations and expressions keep reading the recorded values; the conversion changes what is shown.
#include <cstdio>
#include <optional>
#include <vector>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/cli_options.h"
#include "apps/kymora/commands.h"
#include "host/com/text.h"

namespace kymora::cli {

namespace {
struct Args {
  std::string file;
  std::int32_t channel = 1;
  std::optional<std::int32_t> block;
  std::optional<double> scale;
  double offset = 0.0;
  std::string units;
  bool clear = false;
};

// The blocks the command works on, zero-based; nothing after printing why there are none.
std::optional<std::vector<std::int32_t>> Blocks(const DataFile& file, const Args& args) {
  const std::int32_t channel = args.channel - 1;
  std::vector<std::int32_t> blocks;
  if (args.block) {
    const std::int32_t block = *args.block - 1;
    if (block >= file.BlockCount()) {
      PrintError("block " + std::to_string(*args.block) + " does not exist (the file has " +
                 std::to_string(file.BlockCount()) + ")");
      return std::nullopt;
    }
    if (!file.blocks[block].channels[channel].HasData()) {
      PrintError("channel " + std::to_string(args.channel) + " has no recorded data in block " +
                 std::to_string(*args.block) + "; a units conversion lies on recorded data");
      return std::nullopt;
    }
    blocks.push_back(block);
    return blocks;
  }
  for (std::int32_t b = 0; b < file.BlockCount(); ++b)
    if (file.blocks[b].channels[channel].HasData()) blocks.push_back(b);
  if (blocks.empty()) {
    PrintError("channel " + std::to_string(args.channel) +
               " has no recorded data; a units conversion lies on "
               "recorded data");
    return std::nullopt;
  }
  return blocks;
}

void Print(const DataFile& file, std::int32_t channel, const std::vector<std::int32_t>& blocks) {
  for (auto b : blocks) {
    const auto& cb = file.blocks[b].channels[channel];
    std::printf("Ch%d block %d: %s%s%s\n", channel + 1, b + 1,
                cb.units.empty() ? "-" : Printable(Narrow(cb.units)).c_str(), cb.userConversion ? " " : "",
                cb.userConversion ? DescribeConversion(*cb.userConversion).c_str() : "");
  }
}

int Run(const Args& args) {
  const bool changes = args.clear || args.scale;
  if (changes && !IsKymoPath(args.file)) {
    PrintError(args.file + ": units conversions are stored in .kymo files; import the recording first");
    return kExitUsage;
  }
  std::optional<UserConversion> conversion;
  if (args.scale) {
    conversion = UserConversion{*args.scale, args.offset, FromUtf8(args.units)};
    if (auto why = WhyNotUsable(*conversion)) {
      PrintError(*why);
      return kExitUsage;
    }
  }
  auto doc = OpenDocument(args.file);
  if (!doc) return kExitFailure;
  auto& file = doc->File();
  if (args.channel > file.ChannelCount()) {
    PrintError("channel " + std::to_string(args.channel) + " does not exist (the file has " +
               std::to_string(file.ChannelCount()) + ")");
    return kExitUsage;
  }
  const std::int32_t channel = args.channel - 1;
  auto blocks = Blocks(file, args);
  if (!blocks) return kExitUsage;
  if (changes) {
    for (auto b : *blocks) file.blocks[b].channels[channel].userConversion = conversion;
    if (auto saved = doc->Save(args.file); !saved) {
      PrintError(saved.ErrorMessage());
      return kExitFailure;
    }
  }
  Print(file, channel, *blocks);
  return kExitOk;
}
}  // namespace

void AddUnitsCommand(CLI::App& app, int& exitCode) {
  auto args = std::make_shared<Args>();
  auto* cmd = app.add_subcommand(
      "units", "Show, set or clear the units conversion applied to a channel's recorded values (for display)");
  cmd->add_option("FILE", args->file, "A .kymo file (or, only to show, a recording)")->required();
  cmd->add_option("CHANNEL", args->channel, "Channel number from 1")->required()->check(Counting());
  cmd->add_option("--block", args->block, "Only this block, from 1 (default: every block with recorded data)")
      ->check(Counting());
  auto* scale =
      cmd->add_option("--scale", args->scale, "Shown value = recorded value x SCALE + OFFSET")->check(Finite());
  auto* offset = cmd->add_option("--offset", args->offset, "Added after the scale (default 0)")->check(Finite());
  auto* units = cmd->add_option("--units", args->units, "The units the converted values are shown in");
  auto* clear = cmd->add_flag("--clear", args->clear, "Remove the conversion");
  scale->needs(units);
  units->needs(scale);
  offset->needs(scale);
  clear->excludes(scale)->excludes(offset)->excludes(units);
  cmd->callback([args, &exitCode] { exitCode = Run(*args); });
}

}  // namespace kymora::cli
