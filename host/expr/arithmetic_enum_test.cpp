#include "host/expr/arithmetic_enum.h"

#include <gtest/gtest.h>

#include <cmath>

#include "host/com/text.h"
#include "host/data/read_flags.h"
#include "host/expr/engine.h"
#include "host/expr/expr_test_fakes.h"

using namespace kymora;
using namespace kymora::expr;
using namespace kymora::expr::testing;

namespace {
constexpr std::int32_t kBlock = 1;  // 2500 samples: more than two chunks of the engine
constexpr std::int64_t kLength = 2500;

std::vector<float> ReadInSteps(IEnumFloatEx* e, const std::vector<std::int32_t>& steps, HRESULT* last = nullptr) {
  std::vector<float> all;
  std::vector<float> buf(4096);
  HRESULT hr = S_OK;
  for (std::size_t i = 0; hr == S_OK; ++i) {
    std::int32_t got = -1;
    const std::int32_t want = steps[i % steps.size()];
    hr = e->Read(want, buf.data(), &got);
    EXPECT_TRUE(got >= 0 && got <= want);
    EXPECT_TRUE(hr != S_OK || got == want) << "S_OK must deliver all that was asked";
    all.insert(all.end(), buf.begin(), buf.begin() + got);
  }
  if (last) *last = hr;
  return all;
}

void ExpectSameSamples(const std::vector<float>& a, const std::vector<float>& b, const std::string& what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (std::size_t i = 0; i < a.size(); ++i)
    ASSERT_TRUE(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i]))) << what << " at " << i;
}

class ArithmeticEnumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterFakeFunctions(mRegistry);
    mEngine = MakeCom<Engine>(mData.Get(), &mRegistry);
  }

  ComPtr<IEnumFloatEx> Open(const wchar_t* text, std::int64_t start = 0) {
    auto e = mEngine->CompileText(text);
    EXPECT_TRUE(e) << e.ErrorMessage();
    if (!e) return nullptr;
    auto samples = (*e)->OpenSamples(kBlock, start);
    EXPECT_TRUE(samples) << samples.ErrorMessage();
    return samples ? *samples : nullptr;
  }

  ComPtr<IEnumFloatEx> Reader(std::int32_t channel) {
    ComPtr<IEnumFloatEx> r;
    mData->OpenReader(ReadFlags::kCalculated | ReadFlags::kInUnits, channel, {0, kBlock},
                      {DataPosition::kNotSet, kBlock}, r.Put());
    return r;
  }

  ComPtr<FakeChannelData> mData = MakeStandardData();
  CalcEnumRegistry mRegistry;
  ComPtr<Engine> mEngine;
};

const wchar_t* const kExpressions[] = {L"Ch1*2+1",         L"Ch2/Ch1",      L"-Ch1", L"3", L"Scale(Ch1, 2) - Ch2 * Ch1",
                                       L"(Ch1 - Ch1) / 0", L"1 - Ch2 - Ch4"};
}  // namespace

TEST_F(ArithmeticEnumTest, ReadsInAnyStepsGiveTheSameSamplesAsOneRead) {
  const std::vector<std::vector<std::int32_t>> stepPlans = {{1}, {7}, {333, 1, 1024}, {1025}, {2047, 3}};
  for (const wchar_t* text : kExpressions) {
    auto whole = ReadInSteps(Open(text).Get(), {4096});
    ASSERT_EQ(static_cast<std::int64_t>(whole.size()), kLength) << ToUtf8(text);
    for (const auto& steps : stepPlans)
      ExpectSameSamples(ReadInSteps(Open(text).Get(), steps), whole,
                        ToUtf8(text) + " in steps of " + std::to_string(steps[0]));
  }
}

TEST_F(ArithmeticEnumTest, SeekBackAndCloneRepeatTheSamples) {
  for (const wchar_t* text : kExpressions) {
    const std::string what = ToUtf8(text);
    auto whole = ReadInSteps(Open(text).Get(), {4096});
    auto e = Open(text);
    std::vector<float> buf(1500);
    std::int32_t got = 0;
    ASSERT_EQ(e->Read(1500, buf.data(), &got), S_OK) << what;

    ASSERT_EQ(e->Seek(700), S_OK) << what;
    std::int64_t position = 0;
    e->GetPosition(&position);
    EXPECT_EQ(position, 700) << what;
    ComPtr<IEnumFloatEx> clone;
    ASSERT_EQ(e->Clone(clone.Put()), S_OK) << what;
    // The two go their own ways: the original skips ahead, the clone reads on from 700.
    ASSERT_EQ(e->Seek(2000), S_OK);
    ExpectSameSamples(ReadInSteps(clone.Get(), {100}), std::vector<float>(whole.begin() + 700, whole.end()),
                      what + " clone from 700");
    ExpectSameSamples(ReadInSteps(e.Get(), {100}), std::vector<float>(whole.begin() + 2000, whole.end()),
                      what + " after seeking to 2000");

    std::int64_t length = 0;
    EXPECT_EQ(e->GetLength(&length), S_OK);
    EXPECT_EQ(length, kLength) << what;
    double secs = 0;
    EXPECT_EQ(e->GetSecsPerTick(&secs), S_OK);
    EXPECT_EQ(secs, 0.01) << what;
  }
}

// What a short read says: the end of the record (S_FALSE), a record still growing (KYM_S_PENDING), or a
// failure with the samples read up to it. The enumerator always ends where its output ends.
TEST_F(ArithmeticEnumTest, ShortReadsPassTheOperandsCodesOn) {
  struct Case {
    const char* what;
    std::int64_t available;
    std::int64_t failAt;
    HRESULT code;
    std::int64_t delivered;
  };
  const Case cases[] = {
      {"whole record", INT64_MAX, INT64_MAX, S_FALSE, kLength},
      {"record growing", 1500, INT64_MAX, KYM_S_PENDING, 1500},
      {"reader failing", INT64_MAX, 1100, E_FAIL, 1100},
  };
  for (const auto& c : cases) {
    for (const wchar_t* text : {L"Ch1 + Ch2", L"-Ch1", L"Ch1 * 3", L"2 - Scale(Ch1, 2)"}) {
      const std::string what = std::string(c.what) + ", " + ToUtf8(text);
      mData->SetAvailable(kBlock, c.available);
      mData->SetFailAt(kBlock, c.failAt);
      auto e = Open(text);
      std::vector<float> buf(3000);
      std::int32_t got = -1;
      EXPECT_EQ(e->Read(3000, buf.data(), &got), c.code) << what;
      EXPECT_EQ(got, c.delivered) << what;
      std::int64_t position = -1;
      e->GetPosition(&position);
      EXPECT_EQ(position, c.delivered) << what;
    }
  }
  // The record grows: reading on delivers the rest, then the end.
  mData->SetFailAt(kBlock, INT64_MAX);
  mData->SetAvailable(kBlock, 1000);
  auto e = Open(L"Ch1 + Ch2");
  std::vector<float> buf(3000);
  std::int32_t got = 0;
  EXPECT_EQ(e->Read(3000, buf.data(), &got), KYM_S_PENDING);
  EXPECT_EQ(got, 1000);
  mData->SetAvailable(kBlock, INT64_MAX);
  EXPECT_EQ(e->Read(3000, buf.data(), &got), S_FALSE);
  EXPECT_EQ(got, kLength - 1000);
  EXPECT_EQ(buf[0], StandardSample(kBlock, 0, 1000) + StandardSample(kBlock, 1, 1000));
  EXPECT_EQ(e->Read(0, buf.data(), &got), S_OK);
  EXPECT_EQ(got, 0);
}

// When one side ends and the other is only waiting for data, the combination has ended; the side that read
// further is put back where the output stopped.
TEST_F(ArithmeticEnumTest, EndOfOneOperandEndsTheCombination) {
  mData->SetAvailable(kBlock, 1500);
  auto growing = Reader(0);
  auto shortConstant = MakeCom<ConstantEnum>(2.0, 1200, 0.01);
  auto sum = MakeCom<ArithmeticEnum>(ArithmeticEnum::Op::kMultiply, Operand{growing}, Operand{shortConstant}, 0);
  std::vector<float> buf(2000);
  std::int32_t got = 0;
  EXPECT_EQ(sum->Read(2000, buf.data(), &got), S_FALSE);
  EXPECT_EQ(got, 1200);
  std::int64_t position = 0;
  growing->GetPosition(&position);
  EXPECT_EQ(position, 1200);
  std::int64_t length = 0;
  sum->GetLength(&length);
  EXPECT_EQ(length, 1200);
  EXPECT_EQ(buf[1199], 2 * StandardSample(kBlock, 0, 1199));

  auto longConstant = MakeCom<ConstantEnum>(2.0, kLength, 0.01);
  auto pending = MakeCom<ArithmeticEnum>(ArithmeticEnum::Op::kAdd, Operand{longConstant}, Operand{Reader(0)}, 0);
  EXPECT_EQ(pending->Read(2000, buf.data(), &got), KYM_S_PENDING);
  EXPECT_EQ(got, 1500);
  longConstant->GetPosition(&position);
  EXPECT_EQ(position, 1500);
}

TEST_F(ArithmeticEnumTest, DivisionByZeroGivesIeeeResults) {
  auto e = Open(L"Ch1 / 0");
  std::vector<float> buf(7);
  std::int32_t got = 0;
  ASSERT_EQ(e->Read(7, buf.data(), &got), S_OK);
  // Ch1 in block 2 runs -3, -2, -1, 0, 1, 2, 3.
  EXPECT_EQ(buf[0], -INFINITY);
  EXPECT_TRUE(std::isnan(buf[3]));
  EXPECT_EQ(buf[6], INFINITY);
}
