// kymora spirometry FILE... [options]: the spirometry analysis of a selection of one block, of one file or of
// many at once. Prints the breaths and the summary as a table or as one JSON object per file.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/cli_options.h"
#include "apps/kymora/commands.h"
#include "apps/kymora/spirometry_analysis.h"
#include "apps/kymora/spirometry_batch.h"
#include "apps/kymora/spirometry_command.h"

namespace kymora::cli {

namespace {
bool IsAuto(const std::string& text) {
  return text.size() == 4 && std::equal(text.begin(), text.end(), "auto", [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}
}  // namespace

int RunSpirometry(const SpirometryArgs& args, HostDocument* opened) {
  Console console;
  if (int code = CheckSpirometryOptions(args, {args.file}, console)) return code;
  return AnalyseSpirometry(args, opened, console);
}

void AddSpirometryCommand(CLI::App& app, int& exitCode) {
  auto args = std::make_shared<SpirometryArgs>();
  auto files = std::make_shared<std::vector<std::string>>();
  auto switches = std::make_shared<std::pair<std::string, std::string>>();  // include-non-forced, noise floor
  auto* cmd = app.add_subcommand(
      "spirometry",
      "Analyse a selection of one block into breaths: forced expirations, Ti, Te, VT, PIF, PEF, FVC, FEV1, VE, f.\n"
      "Settings not given keep the file's current ones. --json prints one object: volumes in L, flows in L/s,\n"
      "times in s, channel and block indices zero-based as in the settings message; FEV1 is null when the\n"
      "second after the start of expiration lies beyond the block and the expiration did not end sooner.\n"
      "Several files, or folders of recordings, are analysed in parallel: one JSON object per line with its\n"
      "\"file\", or a table under each file's name; with --out DIR each file's report goes to DIR/NAME/ and\n"
      "every file's results to DIR/summary.csv.");
  cmd->add_option("FILE", *files,
                  "A .kymo file or a recording; several, or folders of recordings, are analysed in parallel")
      ->required();
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
  cmd->add_option(
      "--out", args->out,
      "Write the report (report.html), its CSV export (report.csv) and pictures of the data window and the "
      "flow-volume plot (data-window.svg/.png, flow-volume.svg/.png) and the report as PDF (report.pdf, laid out "
      "by the desktop program's browser engine) into DIR");
  cmd->callback([args, files, switches, &exitCode] {
    if (!switches->first.empty()) args->includeNonForced = SwitchValue(switches->first);
    if (!switches->second.empty()) {
      args->applyNoiseFloor = SwitchValue(switches->second).value_or(true);
      if (!SwitchValue(switches->second)) args->noiseFloor = std::stod(switches->second);
    }
    std::error_code ec;
    if (files->size() == 1 && !std::filesystem::is_directory(files->front(), ec)) {
      args->file = files->front();
      exitCode = RunSpirometry(*args);
    } else {
      exitCode = RunSpirometryBatch(*args, *files);
    }
  });
}

}  // namespace kymora::cli
