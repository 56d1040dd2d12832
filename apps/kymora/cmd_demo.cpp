// kymora demo [--out DIR]: the main job on the bundled sample recording — a flow-head voltage with tidal
// breathing and three forced expirations, analysed with the flow head's preset, written as a report and a
// CSV export.
#include <cstdio>
#include <filesystem>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/commands.h"
#include "apps/kymora/spirometry_command.h"

namespace kymora::cli {

namespace {
// The sample recording: next to the installed program, or in the source tree it was built from.
std::optional<std::filesystem::path> SampleRecording() {
  const char* name = "spirometry_demo.csv";
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  std::vector<std::filesystem::path> candidates;
  if (!ec) candidates.push_back(exe.parent_path() / ".." / "share" / "kymora" / "samples" / name);
  candidates.push_back(std::filesystem::path(KYMORA_SAMPLES_DIR) / name);
  for (const auto& c : candidates)
    if (std::filesystem::exists(c, ec)) return c;
  return std::nullopt;
}
}  // namespace

void AddDemoCommand(CLI::App& app, int& exitCode) {
  auto out = std::make_shared<std::string>("kymora-demo");
  auto standard = std::make_shared<bool>(false);
  auto* cmd = app.add_subcommand("demo", "Analyse the bundled sample recording and write its report and CSV export");
  cmd->add_option(
      "--out", *out,
      "Folder for report.html, report.csv, report.pdf and the pictures of the views (default: kymora-demo)");
  cmd->add_flag("--standard", *standard,
                "Also the ATS/ERS 2019 measures of the forced expirations and the grade (report section, "
                "standard.csv)");
  cmd->callback([out, standard, &exitCode] {
    auto sample = SampleRecording();
    if (!sample) {
      PrintError("the sample recording spirometry_demo.csv is not installed next to the program");
      exitCode = kExitFailure;
      return;
    }
    std::printf("Sample recording: %s\n", sample->string().c_str());
    std::printf("Flow head preset 3 (head scale 40.1 L/s per V) on channel 1; flow and volume calculated.\n\n");
    SpirometryArgs args;
    args.file = sample->string();
    args.rawChannel = 1;
    args.preset = 3;
    args.out = *out;
    args.standard = *standard;
    exitCode = RunSpirometry(args);
    if (exitCode == kExitOk) {
      std::error_code ec;
      auto folder = std::filesystem::absolute(*out, ec);
      std::printf("\nThe report is %s\n", (folder / "report.html").string().c_str());
      if (std::filesystem::exists(folder / "report.pdf", ec))
        std::printf("As PDF: %s\n", (folder / "report.pdf").string().c_str());
      for (const char* picture : {"data-window.png", "flow-volume.png"})
        if (std::filesystem::exists(folder / picture, ec))
          std::printf("Picture: %s\n", (folder / picture).string().c_str());
    }
  });
}

}  // namespace kymora::cli
