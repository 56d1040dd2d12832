#pragma once
// The work of `kymora spirometry` on one file, in steps that a batch of files can run on several threads:
// everything it prints goes to a Console, one per file.
#include <optional>
#include <string>
#include <vector>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/spirometry_command.h"
#include "apps/kymora/spirometry_report.h"

namespace kymora::cli {

// The options on their own and against the files' names (--save needs .kymo files); the exit code of a
// usage error, or kExitOk.
int CheckSpirometryOptions(const SpirometryArgs& args, const std::vector<std::string>& files, Console& console);

// Where one file's results go besides the console.
struct AnalysisTarget {
  const std::string* jsonFile = nullptr;    // the "file" member of the JSON object, when several are printed
  std::optional<Report>* report = nullptr;  // receives the report, when one was made
  import::ImportOptions reading;            // how the file is read (the progress of reading it)
};

// Opens args.file (or takes the open document) and analyses the selection; prints the JSON object or the
// table, writes the --out folder and saves with --save. The exit code; the options must have been checked.
int AnalyseSpirometry(const SpirometryArgs& args, HostDocument* opened, Console& console,
                      const AnalysisTarget& target = {});

}  // namespace kymora::cli
