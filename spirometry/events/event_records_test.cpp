// The byte layout of the breath records as the enumerators describe it through IEventLayout (the structs
// themselves are held to it by their static assertions).
#include <gtest/gtest.h>

#include "spirometry/events/event_test_support.h"
#include "spirometry/events/sp_breath_event_enumerator.h"
#include "spirometry/events/sp_flow_enumerator.h"
#include "spirometry/events/sp_vol_enumerator.h"

namespace Spirometry::testing {
namespace {

struct LayoutCase {
  DetectorKind kind;
  std::int32_t elementSize;
  std::vector<std::pair<std::wstring, std::int32_t>> fields;  // name, offset
};

TEST(EventRecords, EnumeratorsDescribeEveryFieldOfTheirRecords) {
  const std::vector<std::pair<std::wstring, std::int32_t>> flowFields = {
      {L"mMaxFlow", 16}, {L"mMinFlow", 20},     {L"mSingleExpiration", 24}, {L"mStartTick", 28},
      {L"mEndTick", 32}, {L"mMaxFlowTick", 36}, {L"mMinFlowTick", 40},      {L"mExpStartTick", 44}};
  auto breathFields = flowFields;
  for (auto& [name, offset] : breathFields) offset += 16;
  breathFields.insert(breathFields.end(),
                      {{L"mMaxVolTick", 64}, {L"mMaxVol", 68}, {L"mMinVolTick", 72}, {L"mMinVol", 76}});
  const LayoutCase cases[] = {
      {DetectorKind::kFlow, 48, flowFields},
      {DetectorKind::kVol, 80, breathFields},
      {DetectorKind::kBreath, 80, breathFields},
  };
  const auto flow = SineFlow(5000, 1000, 1.0);
  for (const auto& c : cases) {
    SCOPED_TRACE(NameOf(c.kind));
    auto d = MakeDetector(c.kind, Share(flow), Share(VolumeOf(flow)), 0.5);
    EXPECT_EQ(d.elementSize, c.elementSize);
    auto layout = d.events.As<IEventLayout>();
    ASSERT_TRUE(layout);
    std::int32_t count = 0;
    ASSERT_EQ(layout->GetFieldCount(&count), S_OK);
    ASSERT_EQ(count, static_cast<std::int32_t>(c.fields.size()));
    const auto records = ReadToEnd(d.events.Get(), d.elementSize);
    ASSERT_FALSE(records.empty());
    for (std::int32_t i = 0; i < count; ++i) {
      std::wstring name;
      std::int32_t offset = -1, type = 0;
      ASSERT_EQ(layout->GetField(i, &name, &offset, &type), S_OK);
      EXPECT_EQ(name, c.fields[static_cast<std::size_t>(i)].first);
      EXPECT_EQ(offset, c.fields[static_cast<std::size_t>(i)].second);
      const bool isTick = name.ends_with(L"Tick");
      const std::int32_t expectedType = name == L"mSingleExpiration" ? EventFieldType::kUInt8
                                        : isTick                     ? EventFieldType::kInt32
                                                                     : EventFieldType::kFloat32;
      EXPECT_EQ(type, expectedType);
    }
    EXPECT_EQ(layout->GetField(count, nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(layout->GetField(-1, nullptr, nullptr, nullptr), E_INVALIDARG);
    // A real record read through the described offsets: the start tick field matches the position.
    const std::int32_t startOffset = c.kind == DetectorKind::kFlow ? 28 : 44;
    EXPECT_EQ(FieldAt<std::int32_t>(records[1], static_cast<std::size_t>(startOffset)), records[1].tick);
  }
}

}  // namespace
}  // namespace Spirometry::testing
