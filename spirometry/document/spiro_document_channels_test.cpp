// The document's flow and volume lists leave out the tidal-volume and minute-ventilation channels, which
// are in litres and litres per minute but hold one value per breath or per interval.
#include <gtest/gtest.h>

#include <cmath>

#include "host/data/iunits.h"
#include "spirometry/document/document_test_host.h"

namespace Spirometry::testing {
namespace {

class DocumentChannels : public DocumentTestBase {};

TEST_F(DocumentChannels, ListsLeaveOutTheVentilationChannels) {
  auto file = std::make_shared<kymora::DataFile>();
  file->AddChannel(L"Flow");
  file->AddChannel(L"Volume");
  file->AddBlock(0.01, 400);
  std::vector<float> flow(400), volume(400);
  for (std::size_t t = 0; t < flow.size(); ++t) flow[t] = static_cast<float>(std::sin(0.05 * static_cast<double>(t)));
  file->SetSamples(0, 0, L"L/s", 2.0, flow);
  file->SetSamples(0, 1, L"L", 1.0, volume);
  Open(file);
  PutCalculation(2, L"SpTidalVolCalculation", {{L"source", L"1"}});
  PutCalculation(3, L"SpMinVentCalculation", {{L"source", L"1"}});
  // Their units alone would put them in the lists.
  for (auto [channel, units] : {std::pair{2, L"L"}, std::pair{3, L"L/min"}}) {
    ComPtr<IUnits> u;
    std::wstring text;
    ASSERT_EQ(mHost->Data().GetUnits(0x40000000, 0, channel, u.Put()), S_OK);
    u->GetText(&text);
    EXPECT_EQ(text, units);
  }
  EXPECT_EQ(Doc().FlowChannels(), std::vector<std::int32_t>{0});
  EXPECT_EQ(Doc().VolumeChannels(), std::vector<std::int32_t>{1});
}

}  // namespace
}  // namespace Spirometry::testing
