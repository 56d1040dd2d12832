#pragma once
// What the two EDF readers share. EDFlib reads continuous files (EDF, EDF+C, BDF, BDF+C) but refuses
// discontinuous ones outright, so EDF+D and BDF+D files are read by DiscontinuousEdfReader; both turn
// their signals into channels by the same rules.
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "host/data/import/recording_builder.h"

namespace kymora::import {

struct EdfSignal {
  std::string label;  // as in the header, blanks included
  std::string units;
  double physicalMin = 0, physicalMax = 0;
  std::int64_t samplesPerRecord = 0;
};

// The signals that become channels: a block holds one length for all its channels, so only the signals
// with the most samples per data record are taken; the builder gets a warning naming the others.
std::vector<std::size_t> ChooseEdfSignals(const std::vector<EdfSignal>& signals, double recordSeconds,
                                          RecordingBuilder& builder);
// Adds the chosen signals as channels: title from the label, units from the physical dimension, full
// scale from the larger magnitude of the physical extremes.
void AddEdfChannels(const std::vector<EdfSignal>& signals, const std::vector<std::size_t>& chosen,
                    RecordingBuilder& builder);

// Reads an EDF+D or BDF+D file whole from `in`; name stands for the file in messages.
Expected<Imported> ReadDiscontinuousEdf(std::istream& in, const std::string& name, const ImportOptions& options);

}  // namespace kymora::import
