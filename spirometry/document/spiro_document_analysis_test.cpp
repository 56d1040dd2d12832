// The document's analysis over real signals: a flow-head voltage computed into flow and volume by the
// extension's calculations, breaths found by its detectors through the host's expression engine.
#include <gtest/gtest.h>

#include <cmath>

#include "host/calc/ichannel_calc.h"
#include "host/com/text.h"
#include "host/data/iunits.h"
#include "spirometry/calc/calibrate_base.h"
#include "spirometry/calc/sp_flow_settings.h"
#include "spirometry/calc/sp_vol_settings.h"
#include "spirometry/document/document_test_host.h"
#include "spirometry/document/spiro_parameters.h"
#include "spirometry/resources/string_table.h"

namespace Spirometry {
namespace {

constexpr std::int32_t kRaw = 0, kFlow = 1, kVolume = 2;

class SpiroAnalysisTest : public testing::DocumentTestBase {
 protected:
  void SetUp() override {
    DocumentTestBase::SetUp();
    mRecording = testing::MakeBreathingRecording(3, 3, 2);
    OpenFlowHeadRecording(mRecording);  // raw voltage kRaw, SpFlow on kFlow, SpVol on kVolume
  }

  // The settings that analyse the recording's calculated flow and volume.
  static SpConfig RecordingSettings() {
    SpConfig s;
    s.FlowChannel = kFlow;
    s.VolumeChannel = kVolume;
    return s;
  }

  std::wstring UnitsOf(std::int32_t channel) {
    ComPtr<IUnits> units;
    std::wstring text;
    if (Succeeded(mHost->Data().GetUnits(0x40001000, 0, channel, units.Put())) && units) units->GetText(&text);
    return text;
  }
  template <class T>
  ComPtr<T> SettingsOf(std::int32_t channel) {
    ComPtr<IChannelCalc> calc;
    ComPtr<IPersistObject> settings;
    mHost->Data().GetChannelCalc(channel, calc.Put());
    if (calc) calc->GetSettings(settings.Put());
    return ComPtr<T>(dynamic_cast<T*>(settings.Get()));
  }

  // The breaths found, their forced flags and the FEV1 of each forced one against the recording.
  void ExpectTheRecordingsBreaths(SpiroDocument& doc) {
    std::wstring message;
    ASSERT_TRUE(doc.EnsureAnalysis(&message)) << ToUtf8(message);
    ASSERT_EQ(doc.Analysis().Count(), mRecording.breaths);
    std::vector<std::int32_t> forced;
    for (std::int32_t i = 0; i < doc.Analysis().Count(); ++i)
      if (doc.Analysis().At(i).IsForced) forced.push_back(i);
    EXPECT_EQ(forced, (std::vector<std::int32_t>{3, 6, 9}));
    for (std::size_t f = 0; f < forced.size(); ++f) {
      SpiroBreathParameters p{};
      ASSERT_EQ(doc.GetBreathParameters(forced[f], &p), S_OK);
      ASSERT_EQ(p.Fev1Available, kTrue16);
      const double oneSample = 3.2 * testing::BreathingRecording::kSecsPerTick;  // the largest flow's step
      EXPECT_NEAR(p.Fev1, mRecording.ExpiredWithinOneSecond(mRecording.forcedMaxVolumeTicks[f]), oneSample);
      EXPECT_NEAR(p.VolumeVtOrFvc, 3.0, 0.01);
      EXPECT_NEAR(p.Pef, 3.14159, 0.01);
      EXPECT_NEAR(p.Ti, 2.0, 0.01);
      EXPECT_NEAR(p.Fev1OverFvc, p.Fev1 / p.VolumeVtOrFvc * 100.0, 1e-9);
    }
    SpiroSummary summary{};
    ASSERT_EQ(doc.GetSummary(&summary), S_OK);
    EXPECT_EQ(summary.NonForcedCount, mRecording.breaths - 3);
    EXPECT_EQ(summary.ForcedCount, 3);
    EXPECT_NEAR(summary.AverageTidalVolume, 2.0 / 3.14159265, 0.01);  // half a sine of 0.5 L/s over 2 s
    EXPECT_NEAR(summary.BreathingFrequency, 0.25, 0.01);
    EXPECT_NEAR(summary.MinuteVentilation, summary.AverageTidalVolume * summary.BreathingFrequency, 1e-9);
  }

  testing::BreathingRecording mRecording;
};

TEST_F(SpiroAnalysisTest, FindsTidalAndForcedBreathsWithTheirFev1) {
  SpConfig s = RecordingSettings();
  SendSettings(s);
  SpiroDocument& doc = Doc();
  EXPECT_EQ(doc.FlowChannels(), std::vector<std::int32_t>{kFlow});
  EXPECT_EQ(doc.VolumeChannels(), std::vector<std::int32_t>{kVolume});
  ExpectTheRecordingsBreaths(doc);
  const DetectionSource source = doc.CurrentDetectionSource();
  EXPECT_EQ(source.channel, kRaw);
  EXPECT_DOUBLE_EQ(source.headScale, 40.1);
  // 1 % of the head's full range: 0.1 V full scale × 40.1 L/s per V.
  EXPECT_NEAR(DetectionHeight(doc.Data(), 0, source, 1.0), 0.0401, 1e-12);
}

TEST_F(SpiroAnalysisTest, SettingsChangedWhileNoViewIsOpenAreAnalysedAfresh) {
  SpConfig s = RecordingSettings();
  SendSettings(s);
  ASSERT_TRUE(Doc().EnsureAnalysis(nullptr));
  // Same selection and levels, but a noise floor above every flow of the recording: no breath is left.
  s.NoiseFloor = 5.0;
  s.ApplyNoiseFloor = true;
  SendSettings(s);
  std::wstring message;
  EXPECT_FALSE(Doc().EnsureAnalysis(&message));
  EXPECT_EQ(Doc().Analysis().Count(), 0);
  EXPECT_EQ(message, LoadString(50));
  // "No breaths" was the noise floor's doing: settings that find breaths again are analysed again.
  s.NoiseFloor = 0.0;
  s.ApplyNoiseFloor = false;
  SendSettings(s);
  EXPECT_TRUE(Doc().EnsureAnalysis(&message)) << ToUtf8(message);
  EXPECT_EQ(Doc().Analysis().Count(), mRecording.breaths);
  EXPECT_TRUE(Doc().DataViewValid());
}

TEST_F(SpiroAnalysisTest, MillilitreOutputGivesTheSameBreathsInLitres) {
  SpConfig s = RecordingSettings();
  s.FlowUnitsPrefix = 7;
  SendSettings(s);
  // The prefix reached both calculations and their channels.
  EXPECT_EQ(SettingsOf<SpFlowSettings>(kFlow)->mOutputUnitsPrefix, 7);
  EXPECT_EQ(SettingsOf<SpVolSettings>(kVolume)->mOutputUnitsPrefix, 7);
  EXPECT_EQ(UnitsOf(kFlow), L"mL/s");
  EXPECT_EQ(UnitsOf(kVolume), L"mL");
  ExpectTheRecordingsBreaths(Doc());
}

TEST_F(SpiroAnalysisTest, MirrorsFollowTheCalculationsAndPushIntoThem) {
  SpConfig s = RecordingSettings();
  SendSettings(s);
  SpiroDocument& doc = Doc();
  EXPECT_EQ(doc.FlowMirror().presetIndex, 3);
  EXPECT_DOUBLE_EQ(doc.FlowMirror().customHeadScale, 40.1);
  EXPECT_EQ(doc.FlowMirror().rawFlowChannel, kRaw);
  EXPECT_EQ(doc.VolumeMirror().flowChannel, kFlow);
  // Worked out when asked for, over the selection and with the settings the refresh saw.
  CalibrateBase ratio(doc.Data(), doc.Data());
  EXPECT_EQ(doc.CalculatedVolumeRatio(),
            ratio.VolumeRatio(doc.Data(), doc.SelectionStart(), doc.SelectionEnd(), kFlow,
                              doc.VolumeMirror().correctionType, doc.VolumeMirror().deadSpace));
  EXPECT_NE(doc.CalculatedVolumeRatio(), 1.0);

  doc.SetDeadSpace(20000.0);
  double deadSpace = 0;
  doc.GetDeadSpace(&deadSpace);
  EXPECT_EQ(deadSpace, 10000.0);
  EXPECT_EQ(SettingsOf<SpVolSettings>(kVolume)->mDeadSpace, 10000.0);
  doc.SetVolumeRatio(0.001);
  EXPECT_EQ(SettingsOf<SpVolSettings>(kVolume)->mVolumeRatio, 0.01);
  doc.SetVolumeCorrection(kTrue16);
  EXPECT_TRUE(SettingsOf<SpVolSettings>(kVolume)->mVolumeCorrection);

  doc.SetFlowHeadPreset(2);
  doc.SetDriftCorrection(kTrue16);
  auto flow = SettingsOf<SpFlowSettings>(kFlow);
  EXPECT_EQ(flow->mPresetIndex, 2);
  EXPECT_TRUE(flow->mDriftCorrection);
  EXPECT_EQ(flow->mRawFlowChannel, kRaw);
  // The detection height follows the head that is now in use.
  EXPECT_DOUBLE_EQ(doc.CurrentDetectionSource().headScale, 11.79);
}

TEST_F(SpiroAnalysisTest, VolumeAfterReadsLitresAndStopsAtTheBlockEnd) {
  SpConfig s = RecordingSettings();
  SendSettings(s);
  SpiroDocument& doc = Doc();
  const auto length = static_cast<std::int32_t>(mRecording.flow.size());
  double litres = 0.0, millilitres = 0.0;
  ASSERT_TRUE(doc.VolumeAfter({1000, 0}, 1.0, &litres));
  s.FlowUnitsPrefix = 7;
  SendSettings(s);
  ASSERT_TRUE(doc.VolumeAfter({1000, 0}, 1.0, &millilitres));
  EXPECT_NEAR(millilitres, litres, 1e-6);
  EXPECT_TRUE(doc.VolumeAfter({length - 1001, 0}, 1.0, &litres));
  EXPECT_FALSE(doc.VolumeAfter({length - 1000, 0}, 1.0, &litres));
  for (double seconds : {std::nan(""), HUGE_VAL, 1e300, -1e300})
    EXPECT_FALSE(doc.VolumeAfter({1000, 0}, seconds, &litres)) << seconds;
  // Nor beyond the end of the analysed selection.
  Select({0, 0}, {5000, 0});
  doc.EnsureAnalysis(nullptr);
  EXPECT_TRUE(doc.VolumeAfter({3999, 0}, 1.0, &litres));
  EXPECT_FALSE(doc.VolumeAfter({4000, 0}, 1.0, &litres));
  Select({0, 0}, {length, 0});
  doc.EnsureAnalysis(nullptr);

  // A breath whose expiration starts less than a second before the block's end has no FEV1.
  Breath late;
  late.MaxVolume = 1.0;
  late.MinVolume = 0.5;
  late.Start = {length - 3000, 0};
  late.MaxVolumePosition = {length - 999, 0};
  late.End = {length - 1, 0};
  const auto p = DeriveBreathParameters(
      late, [&](DataPosition a, DataPosition b) { return doc.TimeBetween(a, b); },
      [&](DataPosition pos, double sec, double* v) { return doc.VolumeAfter(pos, sec, v); });
  EXPECT_EQ(p.Fev1Available, kFalse16);
  EXPECT_EQ(p.Fev1, 0.0);
  EXPECT_EQ(p.Fev1OverFvc, 0.0);
  EXPECT_NEAR(p.Ti, 2.001, 1e-9);
  EXPECT_NEAR(p.Te, 0.998, 1e-9);
}

// The volume one second after each breath's largest volume is read as the breath is found: the same number
// as a read afterwards, and none where a read afterwards finds none (beyond the selection's end).
TEST_F(SpiroAnalysisTest, VolumesForFev1ReadWithTheBreathsAreThoseReadAfterwards) {
  SendSettings(RecordingSettings());
  SpiroDocument& doc = Doc();
  ASSERT_TRUE(doc.EnsureAnalysis(nullptr));
  // The selection ends half a second into the expiration of the fourth breath.
  const std::int32_t end = doc.Analysis().At(3).MaxVolumePosition.offset + 500;
  for (const std::int32_t to : {static_cast<std::int32_t>(mRecording.flow.size()), end}) {
    Select({0, 0}, {to, 0});
    ASSERT_TRUE(doc.EnsureAnalysis(nullptr));
    std::int32_t readEarly = 0;
    for (const auto& b : doc.Analysis().Breaths()) {
      double later = 0.0;
      const bool available = doc.VolumeAfter(b->MaxVolumePosition, kFev1Seconds, &later);
      ASSERT_EQ(b->VolumeOneSecondLater.has_value(), available) << b->Start.offset << " to " << to;
      if (available) {
        EXPECT_EQ(*b->VolumeOneSecondLater, later) << b->Start.offset;
      }
      readEarly += available ? 1 : 0;
    }
    EXPECT_GT(readEarly, 2);
  }
}

}  // namespace
}  // namespace Spirometry

namespace Spirometry {
namespace {

// The flow's missing samples in the selection, counted while the detectors read the flow: those before and
// after the selection are not counted, and a new selection is counted afresh.
using SpiroMissingFlowTest = testing::DocumentTestBase;
TEST_F(SpiroMissingFlowTest, CountsTheFlowsMissingSamplesOfTheSelection) {
  const testing::BreathingRecording recording = testing::MakeBreathingRecording(3, 3, 2);
  std::vector<float> flow = recording.flow;
  const auto size = static_cast<std::int32_t>(flow.size());
  for (std::int32_t at : {5, 1000, 1001, 4096, size / 2, size - 3}) flow[at] = NAN;
  flow[2000] = INFINITY;
  OpenFlowAndVolume(flow, testing::IntegratedVolume(recording.flow, 0.001), 0.001, false);
  const auto results = DocInterface().As<ISpiroResults3>();
  ASSERT_TRUE(results);
  for (const auto& [from, to] : {std::pair{0, size}, std::pair{1001, size - 3}, std::pair{6, size / 2 + 1}}) {
    Select({from, 0}, {to, 0});
    std::wstring message;
    Doc().EnsureAnalysis(&message);
    std::int64_t expected = 0;
    for (std::int32_t i = from; i < to; ++i) expected += std::isfinite(flow[i]) ? 0 : 1;
    DataPosition start, end;
    std::int32_t channel = -1;
    std::int64_t count = -1;
    ASSERT_EQ(results->GetMissingFlowSamples(&start, &end, &channel, &count), S_OK) << from;
    EXPECT_EQ(count, expected) << from << ".." << to;
    EXPECT_EQ(channel, 0);
    EXPECT_EQ(start, (DataPosition{from, 0}));
    EXPECT_EQ(end, (DataPosition{to, 0}));
  }
}

}  // namespace
}  // namespace Spirometry
