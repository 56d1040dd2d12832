#include "host/calc/channel_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "host/calc/calc_test_fakes.h"
#include "host/calc/ienum_float_ex.h"
#include "host/calc/ienum_float_span.h"
#include "host/data/iunits.h"
#include "host/data/iunits_conversion.h"
#include "host/data/read_flags.h"

using namespace kymora;
using namespace kymora::fakes;

namespace {
std::shared_ptr<DataFile> TwoBlockFile() {
  auto f = std::make_shared<DataFile>();
  f->AddChannel(L"Raw flow");
  f->AddChannel(L"Flow");
  f->AddBlock(0.001, 10);
  f->AddBlock(0.01, 4);
  Samples a(10), b(4);
  for (int i = 0; i < 10; ++i) a[i] = static_cast<float>(i);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<float>(-i);
  f->SetSamples(0, 0, L"V", 2.0, a);
  f->SetSamples(1, 0, L"V", 5.0, b);
  f->selection = {true, {2, 0}, {8, 0}};
  return f;
}

std::wstring UnitsOf(IChannelData* d, std::uint32_t flags, std::int32_t block, std::int32_t channel) {
  ComPtr<IUnits> u;
  std::wstring text = L"?";
  if (Succeeded(d->GetUnits(flags, block, channel, u.Put()))) u->GetText(&text);
  return text;
}

ComPtr<IChannelCalc> PutScale(ChannelData* data, std::int32_t channel, const ScaleSettingsData& s) {
  ComPtr<IChannelCalc> calc;
  EXPECT_EQ(data->PutCalculation(channel, MakeScaleCalcClass().Get(), &calc), S_OK);
  EXPECT_EQ(calc->ApplySettings(MakeScaleSettings(s).Get(), kTrue16), S_OK);
  return calc;
}

struct Fixture : ::testing::Test {
  FakeHost host;
  std::shared_ptr<DataFile> file = TwoBlockFile();
  ComPtr<ChannelData> data = MakeCom<ChannelData>(file, host.Services());
  void TearDown() override { data->Shutdown(); }
};
using ChannelDataTest = Fixture;
}  // namespace

TEST_F(ChannelDataTest, ServesRecordedSamplesUnitsAndConversions) {
  EXPECT_EQ(ReadAll(data.Get(), 0, 1), (std::vector<float>{0, -1, -2, -3}));
  EXPECT_EQ(UnitsOf(data.Get(), 0x40000000, 0, 0), L"V");
  ComPtr<IUnitsConversion> conv;
  ASSERT_EQ(data->GetUnitsConversion(0x1001, 1, 0, conv.Put()), S_OK);
  double full = 0, scale = 0, offset = 1;
  conv->ValueOfRaw(32000.0, 0x1001, &full);
  conv->GetScaleOffset(&scale, &offset);
  EXPECT_DOUBLE_EQ(full, 5.0);
  EXPECT_DOUBLE_EQ(scale, 5.0 / 32000);
  EXPECT_EQ(offset, 0.0);
  EXPECT_EQ(data->HasData(0x40000000, 0, 1), S_FALSE) << "channel 2 has no data yet";
  float v = 0;
  EXPECT_EQ(data->GetSample(0x40001000, 0, 0, 9, &v), S_OK);
  EXPECT_EQ(v, 9.0f);
  EXPECT_EQ(data->GetSample(0x40001000, 0, 0, 10, &v), S_FALSE);
  std::int64_t index = 0;
  data->GetAbsoluteSampleIndex(0, {DataPosition::kNotSet, 0}, &index);
  EXPECT_EQ(index, 10);
  double t = 0;
  data->GetTimeOfPosition(0x80000002, {2, 1}, &t);
  EXPECT_DOUBLE_EQ(t, 0.02);
  data->GetTimeOfPosition(0, {2, 1}, &t);
  EXPECT_DOUBLE_EQ(t, 0.03);
}

// A recorded channel's reader lends its samples where they lie: the same samples, positions and results as
// reading them, up to the end of the range.
TEST_F(ChannelDataTest, RecordedReadersLendTheirSamplesAsReadWouldCopyThem) {
  ComPtr<IEnumFloatEx> reader;
  ASSERT_EQ(data->OpenReader(0x40000000, 0, {2, 0}, {7, 0}, reader.Put()), S_OK);
  auto lender = reader.As<IEnumFloatSpan>();
  ASSERT_TRUE(lender);
  struct Step {
    std::int32_t count;
    HRESULT result;
    std::vector<float> samples;
  } steps[] = {{2, S_OK, {2, 3}}, {0, S_OK, {}}, {4, S_FALSE, {4, 5, 6}}, {1, S_FALSE, {}}};
  for (const auto& s : steps) {
    const float* lent = nullptr;
    std::int32_t got = -1;
    EXPECT_EQ(lender->Borrow(s.count, &lent, &got), s.result) << s.count;
    EXPECT_EQ(std::vector<float>(lent, lent + std::max(got, 0)), s.samples) << s.count;
  }
  std::int64_t position = 0;
  reader->GetPosition(&position);
  EXPECT_EQ(position, 7);
  const float* lent = nullptr;
  std::int32_t got = 0;
  EXPECT_EQ(lender->Borrow(-1, &lent, &got), E_INVALIDARG);
  // Read copies what Borrow lends.
  reader->Seek(3);
  float copied[3] = {};
  EXPECT_EQ(reader->Read(3, copied, &got), S_OK);
  EXPECT_EQ(std::vector<float>(copied, copied + 3), (std::vector<float>{3, 4, 5}));
}

// The user's conversion is told apart from the recorded data, which reads as before; a read through a
// calculation never reports it.
TEST_F(ChannelDataTest, UserConversionIsReportedBesideTheRecordedData) {
  file->blocks[1].channels[0].userConversion = UserConversion{2.5, -1.0, L"L/s"};
  PutScale(data.Get(), 0, {0, 3.0f, L"L/s", 8, 1.0, 0x80001001});  // on the converted channel's own data
  ComPtr<IChannelData2> data2;
  ASSERT_EQ(data->QueryInterface(IChannelData2::kIid, reinterpret_cast<void**>(data2.Put())), S_OK);
  struct Case {
    std::uint32_t flags;
    std::int32_t block, channel;
    HRESULT result;
  } cases[] = {{0x80003001, 1, 0, S_OK},
               {0x1, 1, 0, S_OK},
               {0x80003001, 0, 0, S_FALSE},
               {0x40000000, 1, 0, S_FALSE},
               {0x1, 2, 0, E_INVALIDARG}};
  for (const auto& c : cases) {
    ComPtr<IUnitsConversion> conversion;
    ComPtr<IUnits> shown;
    EXPECT_EQ(data2->GetUserConversion(c.flags, c.block, c.channel, conversion.Put(), shown.Put()), c.result);
    EXPECT_EQ(conversion != nullptr, c.result == S_OK);
    if (c.result != S_OK) continue;
    double scale = 0, offset = 0;
    conversion->GetScaleOffset(&scale, &offset);
    std::wstring text;
    shown->GetText(&text);
    EXPECT_EQ(std::tuple(scale, offset, text), std::tuple(2.5, -1.0, std::wstring(L"L/s")));
  }
  EXPECT_EQ(UnitsOf(data.Get(), 0x1, 1, 0), L"V");
  EXPECT_EQ(ReadAll(data.Get(), 0, 1, ReadFlags::kRecorded | ReadFlags::kInUnits), (std::vector<float>{0, -1, -2, -3}));
  EXPECT_EQ(ReadAll(data.Get(), 0, 1), (std::vector<float>{0, -3, -6, -9}));
}

TEST_F(ChannelDataTest, CalculatedChannelReadsLikeARecordedOne) {
  PutScale(data.Get(), 1, {0, 2.0f, L"L/s", 7, 1000.0});
  EXPECT_EQ(data->HasData(0x40000000, 0, 1), S_OK);
  EXPECT_EQ(UnitsOf(data.Get(), 0x40000000, 0, 1), L"mL/s");
  auto samples = ReadAll(data.Get(), 1, 0);
  ASSERT_EQ(samples.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(samples[i], i * 2.0f * 1000.0f);
  // A reader over part of the block starts and stops where asked.
  ComPtr<IEnumFloatEx> r;
  ASSERT_EQ(data->OpenReader(0x40000000, 1, {3, 0}, {5, 0}, r.Put()), S_OK);
  float buf[4];
  std::int32_t got = 0;
  EXPECT_EQ(r->Read(4, buf, &got), S_FALSE);
  ASSERT_EQ(got, 2);
  EXPECT_EQ(buf[0], 6000.0f);
  EXPECT_EQ(buf[1], 8000.0f);
  // A calculation on the calculated channel: channel 3 = 0.5 × channel 2.
  auto c3 = file->AddChannel(L"Half");
  PutScale(data.Get(), c3, {1, 0.5f, L"L/s", 7, 1.0});
  EXPECT_EQ(ReadAll(data.Get(), c3, 1), (std::vector<float>{0, -1000, -2000, -3000}));
}

TEST_F(ChannelDataTest, CalculationOnItsOwnChannelReadsTheRecordedSamplesBeneath) {
  // Flags 1: the source is the channel's own recorded data.
  PutScale(data.Get(), 0, {0, 3.0f, L"L/s", 8, 1.0, 0x80001001});
  EXPECT_EQ(ReadAll(data.Get(), 0, 1), (std::vector<float>{0, -3, -6, -9}));
  EXPECT_EQ(ReadAll(data.Get(), 0, 1, ReadFlags::kRecorded | ReadFlags::kInUnits), (std::vector<float>{0, -1, -2, -3}));
  EXPECT_EQ(UnitsOf(data.Get(), 0x40000000, 0, 0), L"L/s");
  EXPECT_EQ(UnitsOf(data.Get(), 1, 0, 0), L"V");
}

// Channel 1 has recorded samples, channel 2 none; channel 3 carries a calculation reading channel 2.
TEST_F(ChannelDataTest, CalculationThatWouldReadItsOwnOutputOrNothingIsRefused) {
  file->AddChannel(L"Volume");
  PutScale(data.Get(), 2, {1, 1.0f});
  struct Case {
    std::int32_t channel, source;
    std::uint32_t flags;
    const char* refusal;  // nullptr: applied
  };
  const Case cases[] = {
      {0, 0, 0xC0001000, "would read its own output"},
      {1, 2, 0xC0001000, "would read its own output through channel 3"},
      {1, 1, 0x80001001, "its own channel, which has none"},
      {0, -2147483647 - 1, 0xC0001000, "has no source channel"},
      {0, 7, 0xC0001000, "reads channel 8, which does not exist"},
      {0, 0, 0x80001001, nullptr},
      {1, 0, 0xC0001000, nullptr},
  };
  for (const auto& c : cases) {
    ComPtr<IChannelCalc> calc;
    ASSERT_EQ(data->PutCalculation(c.channel, MakeScaleCalcClass().Get(), &calc), S_OK);
    HRESULT hr = calc->ApplySettings(MakeScaleSettings({c.source, 2.0f, L"L/s", 8, 1.0, c.flags}).Get(), kTrue16);
    if (!c.refusal) {
      EXPECT_EQ(hr, S_OK) << data->LastError();
    } else {
      EXPECT_TRUE(Failed(hr)) << c.refusal;
      EXPECT_NE(data->LastError().find(c.refusal), std::string::npos) << data->LastError();
      EXPECT_EQ(data->HasData(0x40000000, 0, c.channel), S_FALSE) << c.refusal;
    }
    data->RemoveCalculation(c.channel);
  }
}

TEST_F(ChannelDataTest, StoredCalculationsComeBackToLifeOrAreKept) {
  PutScale(data.Get(), 1, {0, 4.0f, L"L", 8, 1.0});
  ASSERT_TRUE(data->StoreCalculations());
  ASSERT_TRUE(file->channels[1].calculation);
  auto before = ReadAll(data.Get(), 1, 0);

  auto reopened = MakeCom<ChannelData>(std::make_shared<DataFile>(*file), host.Services());
  std::vector<std::string> warnings;
  reopened->AttachStoredCalculations(&warnings);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(ReadAll(reopened.Get(), 1, 0), before);
  reopened->Shutdown();

  // Without the extension the channel has no data, but its stored bytes stay for the next save.
  HostServices none = host.Services();
  none.calculations = nullptr;
  auto copy = std::make_shared<DataFile>(*file);
  auto orphan = MakeCom<ChannelData>(copy, none);
  orphan->AttachStoredCalculations(&warnings);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("not loaded"), std::string::npos);
  EXPECT_EQ(orphan->HasData(0x40000000, 0, 1), S_FALSE);
  ASSERT_TRUE(orphan->StoreCalculations());
  EXPECT_EQ(copy->channels[1].calculation, file->channels[1].calculation);
  orphan->Shutdown();
}

TEST_F(ChannelDataTest, RefusesBadAddresses) {
  ComPtr<IEnumFloatEx> r;
  struct Case {
    std::int32_t channel;
    DataPosition start, end;
  };
  const Case cases[] = {
      {5, {0, 0}, {1, 0}},                      // no such channel
      {0, {0, 0}, {1, 1}},                      // across blocks
      {0, {0, 3}, {1, 3}},                      // no such block
      {0, {5, 0}, {4, 0}},                      // end before start
      {0, {0, 0}, {11, 0}},                     // beyond the block
      {1, {0, 0}, {DataPosition::kNotSet, 0}},  // channel without data
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(Failed(data->OpenReader(0x40000000, c.channel, c.start, c.end, r.Put()))) << c.channel;
    EXPECT_EQ(r.Get(), nullptr);
  }
}
