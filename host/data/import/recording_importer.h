#pragma once
// Importers of recordings made elsewhere: CSV text, EDF+/BDF+ and WAV. Each builds a DataFile in memory
// and writes nothing; a refused recording gives one message that names the file (and, for CSV, the line).
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/com/expected.h"
#include "host/data/data_file.h"

namespace kymora::import {

struct ImportOptions {
  // --rate HZ: samples per second of a CSV file without a Time column (a Time column takes precedence).
  std::optional<double> rateHz;
  // --range CH=VALUE: full-scale range by channel, 1-based over the imported channels only.
  std::map<std::int32_t, double> ranges;
  // Called now and then while a large file is read, with the bytes read so far and the file's size.
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

struct Imported {
  DataFile file;
  // Things the user should know although the import succeeded (irregular timing, skipped signals).
  std::vector<std::string> warnings;
};

// Chooses the importer by the file's extension, ignoring case: .csv/.txt/.tsv, .edf/.bdf, .wav.
Expected<Imported> ImportRecording(const std::string& path, const ImportOptions& options);

// CSV from text already in memory; nameForMessages stands for the file in error messages.
Expected<Imported> ImportCsvText(std::string_view text, const std::string& nameForMessages,
                                 const ImportOptions& options);
// CSV read from a file a piece at a time, so that a large file is never held whole as text.
Expected<Imported> ImportCsvFile(const std::string& path, const ImportOptions& options);

// EDF, EDF+, BDF, BDF+; discontinuous (EDF+D, BDF+D) files give one block per run of adjacent records.
Expected<Imported> ImportEdf(const std::string& path, const ImportOptions& options);

Expected<Imported> ImportWav(const std::string& path, const ImportOptions& options);

// Parses the text of --range, "CH=VALUE" (channel from 1, value positive).
Expected<std::pair<std::int32_t, double>> ParseRangeOption(std::string_view text);

}  // namespace kymora::import
