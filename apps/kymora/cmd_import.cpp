// kymora import RECORDING OUT.kymo [--rate HZ] [--range CH=VALUE] [--force]
#include <cstdio>
#include <filesystem>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/commands.h"

namespace kymora::cli {

void AddImportCommand(CLI::App& app, int& exitCode) {
  struct Args {
    std::string recording, out;
    std::optional<double> rate;
    std::vector<std::string> ranges;
    bool force = false;
  };
  auto args = std::make_shared<Args>();
  auto* cmd = app.add_subcommand("import", "Import a recording (CSV, EDF+/BDF+, WAV) into a .kymo file");
  cmd->add_option("RECORDING", args->recording, "The recording to import")->required();
  cmd->add_option("OUT", args->out, "The .kymo file to write")->required();
  cmd->add_option("--rate", args->rate, "Samples per second, for a CSV file without a Time column");
  cmd->add_option("--range", args->ranges, "Full-scale range of a channel, CH=VALUE (1-based); repeatable");
  cmd->add_flag("--force", args->force, "Replace OUT when it exists (its calculations and settings are lost)");
  cmd->callback([args, &exitCode] {
    import::ImportOptions options;
    options.rateHz = args->rate;
    for (const auto& r : args->ranges) {
      auto parsed = import::ParseRangeOption(r);
      if (!parsed) {
        PrintError(parsed.ErrorMessage());
        exitCode = kExitUsage;
        return;
      }
      options.ranges[parsed->first] = parsed->second;
    }
    if (!IsKymoPath(args->out)) {
      PrintError(args->out + ": the output file must end in .kymo");
      exitCode = kExitUsage;
      return;
    }
    std::error_code ec;
    if (std::filesystem::equivalent(args->recording, args->out, ec)) {
      PrintError("the output file must not be the recording itself");
      exitCode = kExitUsage;
      return;
    }
    // Checked before the recording is read, so that a refusal comes at once; the save checks again.
    if (!args->force &&
        std::filesystem::symlink_status(args->out, ec).type() != std::filesystem::file_type::not_found) {
      PrintError(args->out + " exists already; give --force to replace it and the calculations and settings it holds");
      exitCode = kExitUsage;
      return;
    }
    auto doc = OpenDocument(args->recording, options);
    if (!doc) {
      exitCode = kExitFailure;
      return;
    }
    auto saved = doc->Save(args->out, args->force);
    if (!saved) {
      PrintError(saved.ErrorMessage());
      exitCode = kExitFailure;
      return;
    }
    const auto& f = doc->File();
    std::int64_t samples = 0;
    for (const auto& b : f.blocks) samples += b.length;
    std::printf("%s: %d channels, %d blocks, %lld samples per channel\n", args->out.c_str(), f.ChannelCount(),
                f.BlockCount(), static_cast<long long>(samples));
    exitCode = kExitOk;
  });
}

}  // namespace kymora::cli
