// The byte layout of the breath records and its description through IEventLayout.
#include <gtest/gtest.h>

#include <bit>

#include "spirometry/events/event_test_support.h"
#include "spirometry/events/sp_breath_event_enumerator.h"
#include "spirometry/events/sp_flow_enumerator.h"
#include "spirometry/events/sp_vol_enumerator.h"

namespace Spirometry::testing {
namespace {

template <class T>
T At(const std::vector<std::byte>& bytes, std::size_t offset) {
  T v;
  std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

template <class E>
std::vector<std::byte> BytesOf(const E& e) {
  std::vector<std::byte> bytes(sizeof e);
  std::memcpy(bytes.data(), &e, sizeof e);
  return bytes;
}

SpFlowEvent SampleFlowEvent() {
  SpFlowEvent e;
  std::memset(&e, 0, sizeof e);
  e.mPosition = {0x01020304, 0.25f};
  e.mValue = 1.5;
  e.mMaxFlow = 2.5f;
  e.mMinFlow = -3.5f;
  e.mSingleExpiration = 1;
  e.mStartTick = 11;
  e.mEndTick = 22;
  e.mMaxFlowTick = 33;
  e.mMinFlowTick = 44;
  e.mExpStartTick = 55;
  return e;
}

TEST(EventRecords, FlowEventBytes) {
  const auto bytes = BytesOf(SampleFlowEvent());
  ASSERT_EQ(bytes.size(), 48u);
  // Little-endian whole tick first.
  EXPECT_EQ(bytes[0], std::byte{0x04});
  EXPECT_EQ(bytes[3], std::byte{0x01});
  EXPECT_EQ(At<float>(bytes, 4), 0.25f);
  EXPECT_EQ(At<double>(bytes, 8), 1.5);
  EXPECT_EQ(At<float>(bytes, 16), 2.5f);
  EXPECT_EQ(At<float>(bytes, 20), -3.5f);
  EXPECT_EQ(bytes[24], std::byte{1});
  EXPECT_EQ(bytes[25], std::byte{0});
  EXPECT_EQ(bytes[27], std::byte{0});
  EXPECT_EQ(At<std::int32_t>(bytes, 28), 11);
  EXPECT_EQ(At<std::int32_t>(bytes, 32), 22);
  EXPECT_EQ(At<std::int32_t>(bytes, 36), 33);
  EXPECT_EQ(At<std::int32_t>(bytes, 40), 44);
  EXPECT_EQ(At<std::int32_t>(bytes, 44), 55);
}

TEST(EventRecords, BreathEventBytes) {
  SpBreathEvent e;
  std::memset(&e, 0, sizeof e);
  e.mPosition = {77, 0.0f};
  e.mValue = -0.75;
  e.mFlowEvent = SampleFlowEvent();
  e.mMaxVolTick = 66;
  e.mMaxVol = 4.25f;
  e.mMinVolTick = 88;
  e.mMinVol = 0.125f;
  const auto bytes = BytesOf(e);
  ASSERT_EQ(bytes.size(), 80u);
  EXPECT_EQ(At<std::int32_t>(bytes, 0), 77);
  EXPECT_EQ(At<double>(bytes, 8), -0.75);
  EXPECT_EQ(At<std::int32_t>(bytes, 16), 0x01020304);
  EXPECT_EQ(At<float>(bytes, 32), 2.5f);
  EXPECT_EQ(bytes[40], std::byte{1});
  EXPECT_EQ(At<std::int32_t>(bytes, 44), 11);
  EXPECT_EQ(At<std::int32_t>(bytes, 60), 55);
  EXPECT_EQ(At<std::int32_t>(bytes, 64), 66);
  EXPECT_EQ(At<float>(bytes, 68), 4.25f);
  EXPECT_EQ(At<std::int32_t>(bytes, 72), 88);
  EXPECT_EQ(At<float>(bytes, 76), 0.125f);
}

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
