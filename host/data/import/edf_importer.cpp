#include "host/data/import/edf_importer.h"

#include <edflib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <string_view>

#include "host/com/text.h"

namespace kymora::import {

namespace {

// EDFlib keeps a process-wide table of open files that its open and close do not guard; the command line
// imports several recordings at once on different threads.
std::mutex& EdfLibLock() {
  static std::mutex lock;
  return lock;
}

class EdfLibFile {
 public:
  explicit EdfLibFile(int handle) : mHandle(handle) {}
  EdfLibFile(const EdfLibFile&) = delete;
  EdfLibFile& operator=(const EdfLibFile&) = delete;
  ~EdfLibFile() {
    std::lock_guard lock(EdfLibLock());
    edfclose_file(mHandle);
  }
  int Handle() const { return mHandle; }

 private:
  int mHandle;
};

std::string OpenErrorText(int code) {
  switch (code) {
    case EDFLIB_MALLOC_ERROR:
      return "not enough memory to open the file";
    case EDFLIB_NO_SUCH_FILE_OR_DIRECTORY:
      return "cannot open the file";
    case EDFLIB_FILE_CONTAINS_FORMAT_ERRORS:
      return "not a valid EDF or BDF file";
    case EDFLIB_MAXFILES_REACHED:
      return "too many EDF files are open";
    case EDFLIB_FILE_READ_ERROR:
      return "read error";
    case EDFLIB_FILE_ALREADY_OPENED:
      return "the file is already open";
    case EDFLIB_FILETYPE_ERROR:
      return "not an EDF or BDF file";
    default:
      return "cannot be read as EDF or BDF (error " + std::to_string(code) + ")";
  }
}

// Labels are meant to be ASCII; files from older equipment carry Latin-1, which must not turn into
// replacement characters.
std::wstring FromHeaderText(std::string_view text) {
  std::wstring wide = FromUtf8(text);
  if (wide.find(L'\uFFFD') == std::wstring::npos || text.find("\xEF\xBF\xBD") != std::string_view::npos) return wide;
  wide.clear();
  for (char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

std::string RateText(double hz) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g Hz", hz);
  return text;
}

}  // namespace

std::vector<std::size_t> ChooseEdfSignals(const std::vector<EdfSignal>& signals, double recordSeconds,
                                          RecordingBuilder& builder) {
  std::int64_t most = 0;
  for (const auto& s : signals) most = std::max(most, s.samplesPerRecord);
  std::vector<std::size_t> chosen;
  std::string skipped;
  for (std::size_t i = 0; i < signals.size(); ++i) {
    if (signals[i].samplesPerRecord == most) {
      chosen.push_back(i);
      continue;
    }
    if (!skipped.empty()) skipped += ", ";
    skipped += "'" + std::string(TrimBlanks(signals[i].label)) + "' (" +
               RateText(static_cast<double>(signals[i].samplesPerRecord) / recordSeconds) + ")";
  }
  if (!skipped.empty())
    builder.Warn(builder.Name() + ": skipped the signals sampled more slowly than " +
                 RateText(static_cast<double>(most) / recordSeconds) + ": " + skipped);
  return chosen;
}

void AddEdfChannels(const std::vector<EdfSignal>& signals, const std::vector<std::size_t>& chosen,
                    RecordingBuilder& builder) {
  for (auto i : chosen) {
    const auto& s = signals[i];
    double range = std::max(std::abs(s.physicalMax), std::abs(s.physicalMin));
    if (!(range > 0) || !std::isfinite(range)) range = 1.0;
    builder.AddChannel(FromHeaderText(TrimBlanks(s.label)), FromHeaderText(TrimBlanks(s.units)), range);
  }
}

// The reserved field of the header says "EDF+D" or "BDF+D" for a discontinuous file. Such a file goes to our
// own reader before EDFlib sees it: EDFlib refuses some of them (a record count of -1, allowed while the
// file is being recorded) as malformed before it says they are discontinuous.
bool SaysDiscontinuous(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char reserved[5] = {};
  return in.seekg(192) && in.read(reserved, sizeof reserved) &&
         (std::string_view(reserved, 5) == "EDF+D" || std::string_view(reserved, 5) == "BDF+D");
}

Expected<Imported> ImportEdf(const std::string& path, const ImportOptions& options) {
  if (SaysDiscontinuous(path)) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Error{path + ": cannot open the file"};
    return ReadDiscontinuousEdf(in, path, options);
  }
  // The header holds hundreds of signal slots: too large for the stack.
  auto header = std::make_unique<edf_hdr_struct>();
  int opened;
  {
    std::lock_guard lock(EdfLibLock());
    opened = edfopen_file_readonly(path.c_str(), header.get(), EDFLIB_READ_ALL_ANNOTATIONS);
  }
  if (opened != 0) {
    if (header->filetype == EDFLIB_FILE_IS_DISCONTINUOUS) {
      std::ifstream in(path, std::ios::binary);
      if (!in) return Error{path + ": cannot open the file"};
      return ReadDiscontinuousEdf(in, path, options);
    }
    return Error{path + ": " + OpenErrorText(header->filetype)};
  }
  EdfLibFile file(header->handle);

  if (header->edfsignals <= 0) return Error{path + ": the file has no signals, only annotations"};
  if (header->datarecord_duration <= 0) return Error{path + ": the data records have no duration"};
  const double recordSeconds =
      static_cast<double>(header->datarecord_duration) / static_cast<double>(EDFLIB_TIME_DIMENSION);

  RecordingBuilder builder(path);
  std::vector<EdfSignal> signals;
  for (int i = 0; i < header->edfsignals; ++i) {
    const auto& p = header->signalparam[i];
    signals.push_back({p.label, p.physdimension, p.phys_min, p.phys_max, p.smp_in_datarecord});
  }
  auto chosen = ChooseEdfSignals(signals, recordSeconds, builder);
  AddEdfChannels(signals, chosen, builder);

  const auto length = header->signalparam[chosen.front()].smp_in_file;
  if (length <= 0) return Error{path + ": the file has no data records"};
  std::vector<Samples> columns(chosen.size());
  std::vector<double> buffer(std::min<long long>(length, 1 << 16));
  for (std::size_t c = 0; c < chosen.size(); ++c) {
    const int signal = static_cast<int>(chosen[c]);
    auto& column = columns[c];
    column.reserve(static_cast<std::size_t>(length));
    while (static_cast<long long>(column.size()) < length) {
      auto want = static_cast<int>(
          std::min<long long>(length - static_cast<long long>(column.size()), static_cast<long long>(buffer.size())));
      int got = edfread_physical_samples(file.Handle(), signal, want, buffer.data());
      if (got < 0) return Error{path + ": read error in signal " + std::to_string(signal + 1)};
      if (got == 0) return Error{path + ": the file ends before its last data record"};
      for (int k = 0; k < got; ++k) column.push_back(ToSample(buffer[static_cast<std::size_t>(k)]));
    }
  }
  const double interval = static_cast<double>(header->datarecord_duration) /
                          (static_cast<double>(EDFLIB_TIME_DIMENSION) *
                           static_cast<double>(header->signalparam[chosen.front()].smp_in_datarecord));
  builder.AddBlock(interval, std::move(columns));
  if (header->annotations_in_file > 0)
    builder.Warn(path + ": " + std::to_string(header->annotations_in_file) +
                 (header->annotations_in_file == 1 ? " annotation was" : " annotations were") + " not imported");
  return std::move(builder).Finish(options);
}

}  // namespace kymora::import
