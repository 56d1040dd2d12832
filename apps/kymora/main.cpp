// kymora: the command line of the recording host.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <string>
#include <vector>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/commands.h"
#include "apps/kymora/extensions.h"

int main(int argc, char** argv) {
  CLI::App app{"kymora: physiological recordings with calculated channels, expressions and extensions"};
  app.name("kymora");
  app.require_subcommand(1);
  app.set_version_flag("--version", "kymora 0.1.0");
  int exitCode = 0;
  app.add_flag("-v,--verbose", kymora::cli::Verbose(), "Show informational messages too");
  kymora::cli::AddInfoCommand(app, exitCode);
  kymora::cli::AddImportCommand(app, exitCode);
  kymora::cli::AddEvalCommand(app, exitCode);
  kymora::cli::AddCalcCommand(app, exitCode);
  kymora::cli::AddSpirometryCommand(app, exitCode);
  kymora::cli::AddDemoCommand(app, exitCode);
  kymora::cli::AddCalibrateCommand(app, exitCode);
  kymora::cli::AddUnitsCommand(app, exitCode);
  kymora::cli::LoadHostExtensions();
  std::vector<std::string> args(argv + 1, argv + argc);
  kymora::cli::PrepareEvalArguments(args);
  std::reverse(args.begin(), args.end());  // the parser takes them last first
  try {
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    // Help and version end well; every other problem with the arguments is a usage error, whatever
    // kind of problem the parser saw.
    return app.exit(e) == 0 ? kymora::cli::kExitOk : kymora::cli::kExitUsage;
  }
  return exitCode;
}
