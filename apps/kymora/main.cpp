// kymora: the command line of the recording host.
#include <CLI/CLI.hpp>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/commands.h"
#include "apps/kymora/extensions.h"

int main(int argc, char** argv) {
  CLI::App app{"kymora: physiological recordings with calculated channels, expressions and extensions"};
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
  kymora::cli::LoadHostExtensions();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return exitCode;
}
