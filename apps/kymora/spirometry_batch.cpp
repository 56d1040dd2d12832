#include "apps/kymora/spirometry_batch.h"

#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/json_writer.h"
#include "apps/kymora/spirometry_analysis.h"
#include "apps/kymora/spirometry_outputs.h"
#include "apps/kymora/spirometry_summary_csv.h"

namespace kymora::cli {

namespace {

namespace fs = std::filesystem;

bool IsRecording(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::any_of(std::begin(kRecordingExtensions), std::end(kRecordingExtensions),
                     [&](const char* known) { return ext == known; });
}

// The recordings of a folder, sorted by name.
std::optional<std::vector<std::string>> FolderRecordings(const std::string& folder, Console& console) {
  std::vector<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_regular_file(typeError) && IsRecording(it->path())) found.push_back(it->path().string());
  }
  if (ec) {
    console.Error("cannot read the folder " + folder + ": " + ec.message());
    return std::nullopt;
  }
  if (found.empty()) {
    console.Error(folder + " holds no recordings (.kymo, .csv, .wav, .edf or .bdf files)");
    return std::nullopt;
  }
  std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
    return fs::path(a).filename().string() < fs::path(b).filename().string();
  });
  return found;
}

// The files of the inputs: a folder gives its recordings, anything else is taken as a file.
std::optional<std::vector<std::string>> ListFiles(const std::vector<std::string>& inputs, Console& console) {
  std::vector<std::string> files;
  for (const auto& input : inputs) {
    std::error_code ec;
    if (!fs::is_directory(input, ec)) {
      files.push_back(input);
      continue;
    }
    auto found = FolderRecordings(input, console);
    if (!found) return std::nullopt;
    files.insert(files.end(), found->begin(), found->end());
  }
  return files;
}

// DIR/NAME for every file; two files whose names differ only in their folder or extension would write into
// one folder, and are refused.
std::optional<std::vector<std::string>> OutFolders(const std::vector<std::string>& files, const std::string& dir,
                                                   Console& console) {
  std::vector<std::string> folders;
  std::map<std::string, std::string> taken;  // folder name -> file
  for (const auto& file : files) {
    const std::string name = fs::path(file).stem().string();
    auto [at, added] = taken.emplace(name, file);
    if (!added) {
      console.Error("--out: " + at->second + " and " + file + " would both write their report into " +
                    (fs::path(dir) / name).string() + "; rename one or analyse them apart");
      return std::nullopt;
    }
    folders.push_back((fs::path(dir) / name).string());
  }
  return folders;
}

struct FileResult {
  std::string out, err;
  int code = kExitFailure;
  std::optional<Report> report;  // kept for the summary
  std::string error;             // the first error on its stream
  bool analysed = false;         // a report was made
  bool finished = false;
};

// Prints what the files' tasks give as they finish: errors at once, the results in the order of the files,
// and a progress bar on standard error when that is a terminal.
class Board {
 public:
  Board(std::vector<FileResult>& results, const std::vector<std::string>& files, bool json)
      : mResults(results), mFiles(files), mJson(json), mBar(ShowsProgress()) {
    DrawBar();
  }

  void Finished(std::size_t index) {
    std::lock_guard lock(mLock);
    ClearBar();
    auto& r = mResults[index];
    std::fputs(r.err.c_str(), stderr);
    r.err.clear();
    ++mDone;
    if (r.code != kExitOk) ++mFailed;
    r.finished = true;
    for (; mNext < mResults.size() && mResults[mNext].finished; ++mNext) PrintResult(mNext);
    std::fflush(stdout);
    DrawBar();
  }

  void End() {
    std::lock_guard lock(mLock);
    if (mBar) std::fputc('\n', stderr);
  }

 private:
  void PrintResult(std::size_t index) {
    auto& r = mResults[index];
    if (mJson) {
      // A file that gave no report still has its line, so that every file has one.
      if (!r.analysed)
        std::printf("{\"file\": %s, \"error\": %s}\n", JsonText(mFiles[index]).c_str(), JsonText(r.error).c_str());
      std::fputs(r.out.c_str(), stdout);
    } else {
      std::printf("%sFile: %s\n", index > 0 ? "\n" : "", Printable(mFiles[index]).c_str());
      if (r.out.empty())
        std::printf("Not analysed: %s\n", Printable(r.error).c_str());
      else
        std::printf("\n%s", r.out.c_str());
    }
    r.out.clear();
  }
  static std::string JsonText(const std::string& text);
  void ClearBar() {
    if (mBar) std::fputs("\r\x1b[K", stderr);
  }
  void DrawBar() {
    if (!mBar) return;
    constexpr std::size_t kWidth = 30;
    const std::size_t filled = kWidth * mDone / mResults.size();
    std::fprintf(stderr, "[%s%s] %zu/%zu files", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), mDone, mResults.size());
    if (mFailed > 0) std::fprintf(stderr, ", %zu failed", mFailed);
    std::fflush(stderr);
  }

  std::mutex mLock;
  std::vector<FileResult>& mResults;
  const std::vector<std::string>& mFiles;
  const bool mJson, mBar;
  std::size_t mNext = 0, mDone = 0, mFailed = 0;
};

std::string Board::JsonText(const std::string& text) {
  JsonWriter w;
  w.String(text);
  return w.TakeText();
}

void AnalyseOne(const SpirometryArgs& common, const std::string& file, const std::string* outFolder, FileResult& r) {
  SpirometryArgs args = common;
  args.file = file;
  if (outFolder) args.out = *outFolder;
  Console console(&r.out, &r.err, file);
  AnalysisTarget target;
  target.jsonFile = &file;
  target.report = &r.report;
  target.reading.progress = [](std::uint64_t, std::uint64_t) {};  // the batch shows its own progress
  try {
    r.code = AnalyseSpirometry(args, nullptr, console, target);
  } catch (const std::exception& e) {
    console.Error(e.what());
    r.code = kExitFailure;
  }
  r.error = console.FirstError();
  r.analysed = r.report.has_value();
}

// DIR/summary.csv over every file's report.
bool WriteSummary(const std::string& dir, const std::vector<std::string>& files, const std::vector<FileResult>& results,
                  const SpirometryArgs& args) {
  std::vector<SummaryEntry> entries;
  for (std::size_t i = 0; i < files.size(); ++i)
    entries.push_back({files[i], results[i].report ? &*results[i].report : nullptr, results[i].error});
  const auto path = (fs::path(dir) / "summary.csv").string();
  std::error_code ec;
  fs::create_directories(dir, ec);  // when no file got as far as its own folder
  if (auto written = WriteThroughPartialFile(path, SummaryCsv(entries)); !written) {
    PrintError(path + ": " + written.ErrorMessage());
    return false;
  }
  std::fprintf(args.json ? stderr : stdout, "Wrote %s\n", path.c_str());
  return true;
}

}  // namespace

int RunSpirometryBatch(const SpirometryArgs& args, const std::vector<std::string>& inputs) {
  Console console;
  const auto files = ListFiles(inputs, console);
  if (!files) return kExitUsage;
  if (int code = CheckSpirometryOptions(args, *files, console)) return code;
  std::optional<std::vector<std::string>> folders;
  if (args.out && !(folders = OutFolders(*files, *args.out, console))) return kExitUsage;
  // Pictures are drawn on every thread; their application is made here, on the main one.
  const auto pictures = args.out ? KeepPictureApplication() : nullptr;

  std::vector<FileResult> results(files->size());
  Board board(results, *files, args.json);
  // One task per file, however long each takes: a worker that is done takes the next file.
  tbb::parallel_for(
      std::size_t{0}, files->size(),
      [&](std::size_t i) {
        AnalyseOne(args, (*files)[i], folders ? &(*folders)[i] : nullptr, results[i]);
        if (!folders) results[i].report.reset();  // only the summary needs it
        board.Finished(i);
      },
      tbb::simple_partitioner());
  board.End();
  bool ok = std::all_of(results.begin(), results.end(), [](const FileResult& r) { return r.code == kExitOk; });
  if (args.out && !WriteSummary(*args.out, *files, results, args)) ok = false;
  return ok ? kExitOk : kExitFailure;
}

}  // namespace kymora::cli
