// EDF+D and BDF+D: data records that need not follow each other in time. Each record's first annotation
// (its time-keeping note) gives its start; records that start where the previous one ended form a block.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "host/data/import/edf_importer.h"

namespace kymora::import {

namespace {

constexpr std::size_t kFixedHeaderBytes = 256;
constexpr std::size_t kSignalHeaderBytes = 256;
constexpr std::int64_t kMaxSignals = 4096;
// A record is read whole into memory; a header claiming more than this is damage, not a recording.
constexpr std::int64_t kMaxRecordBytes = std::int64_t{64} << 20;

std::optional<std::int64_t> ParseInteger(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

std::optional<double> ParseReal(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

struct SignalLayout {
  EdfSignal signal;
  bool annotations = false;
  std::int64_t digitalMin = 0, digitalMax = 0;
  std::int64_t offset = 0;  // bytes from the start of a data record
};

// The start of a record from its first TAL, "+12.5\x14\x14\0", and the count of the other annotations.
struct RecordNotes {
  double onset = 0;
  std::int64_t annotations = 0;
};
std::optional<RecordNotes> ReadNotes(std::string_view bytes) {
  auto stop = bytes.find_first_of("\x14\x15");
  if (stop == std::string_view::npos || stop == 0 || (bytes[0] != '+' && bytes[0] != '-')) return std::nullopt;
  auto onset = ParseReal(bytes.substr(0, stop));
  if (!onset) return std::nullopt;
  RecordNotes notes{*onset, 0};
  // Annotation texts sit between 0x14 marks; the empty one right after the first onset is the time-keeping
  // note itself, and each TAL ends in a zero byte.
  bool inOnset = false;
  std::size_t textStart = bytes.find('\x14') + 1;
  for (std::size_t i = textStart; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '\0') {
      inOnset = true;
      textStart = i + 1;
    } else if (c == '\x14') {
      if (!inOnset && i > textStart) ++notes.annotations;
      inOnset = false;
      textStart = i + 1;
    }
  }
  return notes;
}

std::int32_t DigitalSample(const unsigned char* p, int bytesPerSample) {
  if (bytesPerSample == 2) return static_cast<std::int16_t>(p[0] | (p[1] << 8));
  std::int32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
  return (v & 0x800000) ? v - 0x1000000 : v;
}

}  // namespace

Expected<Imported> ReadDiscontinuousEdf(std::istream& in, const std::string& name, const ImportOptions& options) {
  auto refuse = [&](const std::string& why) -> Expected<Imported> { return Error{name + ": " + why}; };

  std::string fixed(kFixedHeaderBytes, '\0');
  if (!in.read(fixed.data(), static_cast<std::streamsize>(fixed.size()))) return refuse("not an EDF or BDF file");
  const bool bdf = fixed.compare(0, 8,
                                 "\xFF"
                                 "BIOSEMI") == 0;
  if (!bdf && fixed.compare(0, 8, "0       ") != 0) return refuse("not an EDF or BDF file");
  const int bytesPerSample = bdf ? 3 : 2;
  auto field = [&](std::size_t at, std::size_t width) { return std::string_view(fixed).substr(at, width); };

  auto headerBytes = ParseInteger(field(184, 8));
  auto records = ParseInteger(field(236, 8));
  auto recordSeconds = ParseReal(field(244, 8));
  auto signalCount = ParseInteger(field(252, 4));
  if (!headerBytes || !records || !recordSeconds || !signalCount || *signalCount < 1 || *signalCount > kMaxSignals ||
      *headerBytes != static_cast<std::int64_t>(kFixedHeaderBytes + kSignalHeaderBytes * *signalCount))
    return refuse("the header is damaged");
  if (!(*recordSeconds > 0)) return refuse("the data records have no duration");

  const auto ns = static_cast<std::size_t>(*signalCount);
  std::string signalHeader(kSignalHeaderBytes * ns, '\0');
  if (!in.read(signalHeader.data(), static_cast<std::streamsize>(signalHeader.size())))
    return refuse("the file ends inside its header");
  // The signal header is a run of arrays: every signal's label, then every signal's transducer, ...
  auto column = [&](std::size_t arrayStart, std::size_t width, std::size_t i) {
    return std::string_view(signalHeader).substr(arrayStart * ns + width * i, width);
  };
  const std::int64_t digitalLimit = bdf ? 8388608 : 32768;
  std::vector<SignalLayout> layouts(ns);
  std::int64_t recordBytes = 0;
  for (std::size_t i = 0; i < ns; ++i) {
    auto& l = layouts[i];
    l.signal.label = std::string(column(0, 16, i));
    l.signal.units = std::string(column(96, 8, i));
    auto label = TrimBlanks(l.signal.label);
    l.annotations = label == "EDF Annotations" || label == "BDF Annotations";
    auto physMin = ParseReal(column(104, 8, i)), physMax = ParseReal(column(112, 8, i));
    auto digMin = ParseInteger(column(120, 8, i)), digMax = ParseInteger(column(128, 8, i));
    auto perRecord = ParseInteger(column(216, 8, i));
    const std::string which = "signal " + std::to_string(i + 1);
    if (!physMin || !physMax || !digMin || !digMax || !perRecord)
      return refuse("the header of " + which + " is damaged");
    if (*perRecord < 1 || *perRecord > kMaxRecordBytes) return refuse(which + " has no samples per data record");
    if (!l.annotations &&
        (*digMax <= *digMin || *digMin < -digitalLimit || *digMax >= digitalLimit || *physMax == *physMin))
      return refuse(which + " has unusable digital or physical extremes");
    l.signal.physicalMin = *physMin;
    l.signal.physicalMax = *physMax;
    l.signal.samplesPerRecord = *perRecord;
    l.digitalMin = *digMin;
    l.digitalMax = *digMax;
    l.offset = recordBytes;
    recordBytes += *perRecord * bytesPerSample;
    if (recordBytes > kMaxRecordBytes) return refuse("the data records are too large");
  }
  auto notesSignal = std::find_if(layouts.begin(), layouts.end(), [](const auto& l) { return l.annotations; });
  if (notesSignal == layouts.end()) return refuse("a discontinuous file without an annotation signal");

  std::vector<EdfSignal> signals;
  std::vector<const SignalLayout*> ordinary;
  for (const auto& l : layouts)
    if (!l.annotations) {
      signals.push_back(l.signal);
      ordinary.push_back(&l);
    }
  if (signals.empty()) return refuse("the file has no signals, only annotations");

  // The record count may be -1 (unknown) in a file whose writer stopped early: count what is there.
  const auto dataStart = in.tellg();
  in.seekg(0, std::ios::end);
  const auto fileEnd = in.tellg();
  in.seekg(dataStart);
  if (dataStart < 0 || fileEnd < 0) return refuse("read error");
  const std::int64_t available =
      (static_cast<std::int64_t>(fileEnd) - static_cast<std::int64_t>(dataStart)) / recordBytes;
  if (*records < 0) records = available;
  if (*records > available)
    return refuse("the file ends early: the header counts " + std::to_string(*records) +
                  " data records, there is room for " + std::to_string(available));
  if (*records == 0) return refuse("the file has no data records");

  RecordingBuilder builder(name);
  auto chosen = ChooseEdfSignals(signals, *recordSeconds, builder);
  AddEdfChannels(signals, chosen, builder);
  const std::int64_t perRecord = signals[chosen.front()].samplesPerRecord;
  const double interval = *recordSeconds / static_cast<double>(perRecord);
  // Onsets are written to a limited number of decimals: a record is adjacent when it starts within half
  // a sample of where the previous one ended.
  const double tolerance = interval / 2;

  struct Scale {
    std::int64_t offset;
    double bitValue, digitalOffset;
  };
  std::vector<Scale> scales;
  for (auto c : chosen) {
    const auto& l = *ordinary[c];
    double bitValue = (l.signal.physicalMax - l.signal.physicalMin) / static_cast<double>(l.digitalMax - l.digitalMin);
    scales.push_back({l.offset, bitValue, l.signal.physicalMax / bitValue - static_cast<double>(l.digitalMax)});
  }

  std::vector<Samples> columns(chosen.size());
  auto startBlock = [&](std::int64_t recordsLeft) {
    columns.assign(chosen.size(), {});
    for (auto& c : columns) c.reserve(static_cast<std::size_t>(recordsLeft * perRecord));
  };
  auto closeBlock = [&] {
    for (auto& c : columns)
      if (c.capacity() > c.size() + c.size() / 4 + 64) c.shrink_to_fit();  // the reserve assumed one block
    builder.AddBlock(interval, std::move(columns));
  };

  std::vector<char> record(static_cast<std::size_t>(recordBytes));
  const std::string_view recordText(record.data(), record.size());
  std::int64_t annotations = 0;
  double expectedOnset = 0;
  for (std::int64_t r = 0; r < *records; ++r) {
    if (!in.read(record.data(), static_cast<std::streamsize>(record.size())))
      return refuse("read error in data record " + std::to_string(r + 1));
    auto notes =
        ReadNotes(recordText.substr(static_cast<std::size_t>(notesSignal->offset),
                                    static_cast<std::size_t>(notesSignal->signal.samplesPerRecord * bytesPerSample)));
    if (!notes) return refuse("data record " + std::to_string(r + 1) + " has no start time in its annotations");
    annotations += notes->annotations;
    if (r == 0) {
      startBlock(*records);
    } else if (std::abs(notes->onset - expectedOnset) > tolerance) {
      closeBlock();
      startBlock(*records - r);
    }
    expectedOnset = notes->onset + *recordSeconds;
    for (std::size_t c = 0; c < chosen.size(); ++c) {
      const auto& s = scales[c];
      const auto* p = reinterpret_cast<const unsigned char*>(record.data() + s.offset);
      for (std::int64_t k = 0; k < perRecord; ++k, p += bytesPerSample)
        columns[c].push_back(ToSample(s.bitValue * (s.digitalOffset + DigitalSample(p, bytesPerSample))));
    }
  }
  closeBlock();
  if (annotations > 0)
    builder.Warn(name + ": " + std::to_string(annotations) +
                 (annotations == 1 ? " annotation was" : " annotations were") + " not imported");
  return std::move(builder).Finish(options);
}

}  // namespace kymora::import
