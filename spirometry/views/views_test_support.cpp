#include "spirometry/views/views_test_support.h"

#include <cmath>

#include "spirometry/extension/test_host.h"  // MakeDocument

namespace Spirometry::testing {

HandMadeAnalysis::HandMadeAnalysis() {
  auto file = std::make_shared<kymora::DataFile>();
  file->AddChannel(L"Flow");
  file->AddBlock(0.001, 5000);
  file->AddBlock(0.002, 12000);
  file->AddBlock(0.003, 2000);
  file->AddBlock(2.5, 100);
  mHost = MakeDocument(file);
  settings.FlowChannel = 0;
  settings.VolumeChannel = 3;
  settings.DetectionLevel = 2.5;
  settings.ForcedExpThres = 1.5;
}

HandMadeAnalysis::~HandMadeAnalysis() = default;

void HandMadeAnalysis::Add(const BreathSpec& s, std::int32_t block) {
  auto b = std::make_unique<Breath>();
  b->Start = {s.start, block};
  b->MaxVolumePosition = {s.maxVolume, block};
  b->End = {s.end, block};
  b->MaxVolume = s.maxVol;
  b->MinVolume = s.minVol;
  b->PeakInspiratoryFlow = s.pif;
  b->PeakExpiratoryFlow = s.pef;
  b->IsForced = s.forced;
  b->IsSingleExpiration = s.single;
  mBreaths.push_back(std::move(b));
}

ReportSource HandMadeAnalysis::Source() const {
  ReportSource s;
  s.settings = settings;
  s.breaths = &mBreaths;
  s.requestedStart = requestedStart;
  s.requestedEnd = requestedEnd;
  s.documentStart = requestedStart;
  s.documentEnd = requestedEnd;
  s.data = mHost->DataInterface();
  const auto* later = &mLater;
  s.volumeAfter = [later](DataPosition p, double seconds, double* volume) {
    auto it = later->find(p.offset);
    if (seconds != 1.0 || p.block != kBlock || it == later->end()) return false;
    *volume = it->second;
    return true;
  };
  return s;
}

void AddFourBreaths(HandMadeAnalysis& a) {
  a.Add({500, 1500, 2500, 1.5, 1.0, 0.75, -0.8, false, false});
  a.Add({2500, 3750, 6000, 4.0, 0.75, 2.25, -6.5, true, false});
  a.Add({6000, 7000, 8250, 1.25, 0.875, 0.5, -0.6, false, false});
  a.Add({8250, 8250, 10000, 2.0, 0.5, 0.0, -3.0, false, true});
  a.SetVolumeOneSecondAfter(3750, 1.5);
}

void AddBreathsWithValuesThatCouldNotBeMeasured(HandMadeAnalysis& a) {
  a.settings.IncludeNonForced = true;
  a.Add({500, 1500, 2500, 1.5, 1.0, 0.75, -0.8, false, false});
  a.Add({2500, 3000, 3500, std::nan(""), 1.0, 0.75, -0.8, false, false});
  a.Add({3500, 4000, 6000, 4.0, 0.75, HUGE_VAL, -6.5, true, false});
  a.SetVolumeOneSecondAfter(4000, 1.5);
}

std::wstring BodyOf(const std::wstring& page) {
  const auto at = page.find(L"<body>");
  return at == std::wstring::npos ? std::wstring() : page.substr(at);
}

}  // namespace Spirometry::testing
