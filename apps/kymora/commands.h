#pragma once
// The command line's subcommands. Each adds itself to the application; its callback sets the exit code.
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace kymora::cli {

void AddInfoCommand(CLI::App& app, int& exitCode);
void AddImportCommand(CLI::App& app, int& exitCode);
void AddEvalCommand(CLI::App& app, int& exitCode);
void AddCalcCommand(CLI::App& app, int& exitCode);
void AddDemoCommand(CLI::App& app, int& exitCode);
void AddSpirometryCommand(CLI::App& app, int& exitCode);
void AddCalibrateCommand(CLI::App& app, int& exitCode);
void AddUnitsCommand(CLI::App& app, int& exitCode);

// An expression of eval may start with a minus ("-Ch2/2"), which the parser would take for options: such
// an argument gets a leading space, which eval drops again.
void PrepareEvalArguments(std::vector<std::string>& args);

}  // namespace kymora::cli
