#pragma once
// For the report and export tests: a small analysis made by hand over a host data file, so that every
// number on the page and in the file can be worked out on paper.
//
// The file has four blocks: block 0 of 5000 samples at 1 kHz, block 1 of 12000 samples at 500 Hz,
// block 2 of 2000 samples at 0.003 s per sample and block 3 of 100 samples at 2.5 s per sample (slower
// than the 0.5 Hz that a whole-number rate can stand for). The breaths lie in block 1 unless a test says
// otherwise (so the page says "Block: 2" and times are counted from the start of that block).
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/frame/host_document.h"
#include "spirometry/views/report_source.h"

namespace Spirometry::testing {

struct BreathSpec {
  std::int32_t start, maxVolume, end;  // offsets in block 1
  double maxVol, minVol, pif, pef;
  bool forced, single;
};

class HandMadeAnalysis {
 public:
  static constexpr std::int32_t kBlock = 1;

  HandMadeAnalysis();
  ~HandMadeAnalysis();

  void Add(const BreathSpec& breath, std::int32_t block = kBlock);
  // FEV1 of a breath can be read: this volume lies one second after its start of expiration.
  void SetVolumeOneSecondAfter(std::int32_t maxVolumeOffset, double volume) { mLater[maxVolumeOffset] = volume; }
  ReportSource Source() const;

  SpConfig settings;
  DataPosition requestedStart{250, kBlock};
  DataPosition requestedEnd{DataPosition::kNotSet, kBlock};

 private:
  std::unique_ptr<kymora::HostDocument> mHost;
  std::vector<std::unique_ptr<Breath>> mBreaths;
  std::map<std::int32_t, double> mLater;
};

// The four breaths used throughout:
//   1 non-forced   500 → 1500 → 2500,   1.5 → 1.0 L,   PIF 0.75, PEF -0.8
//   2 forced      2500 → 3750 → 6000,   4.0 → 0.75 L,  PIF 2.25, PEF -6.5, 1.5 L one second later
//   3 non-forced  6000 → 7000 → 8250,   1.25 → 0.875 L, PIF 0.5, PEF -0.6
//   4 single      8250 → 8250 → 10000,  2.0 → 0.5 L,   PEF -3.0, FEV1 not in the data
// Settings: flow channel 0, volume channel 3, detection level 2.5, threshold 1.5, litres.
void AddFourBreaths(HandMadeAnalysis& analysis);

// Three breaths, non-forced ones listed, whose values could not all be measured (a gap in the data):
//   1 non-forced   500 → 1500 → 2500,   1.5 → 1.0 L,   PIF 0.75, PEF -0.8
//   2 non-forced  2500 → 3000 → 3500,   no maximum volume
//   3 forced      3500 → 4000 → 6000,   4.0 → 0.75 L,  no PIF, PEF -6.5, 1.5 L one second later
void AddBreathsWithValuesThatCouldNotBeMeasured(HandMadeAnalysis& analysis);

// The page from "<body>" on.
std::wstring BodyOf(const std::wstring& page);

}  // namespace Spirometry::testing
