#pragma once
// The command line's subcommands. Each adds itself to the application; its callback sets the exit code.
#include <CLI/CLI.hpp>

namespace kymora::cli {

void AddInfoCommand(CLI::App& app, int& exitCode);
void AddImportCommand(CLI::App& app, int& exitCode);
void AddEvalCommand(CLI::App& app, int& exitCode);
void AddCalcCommand(CLI::App& app, int& exitCode);
void AddDemoCommand(CLI::App& app, int& exitCode);
void AddSpirometryCommand(CLI::App& app, int& exitCode);

}  // namespace kymora::cli
