// The document's automatic detection level and its measures of the forced expirations, over a flow-head
// recording computed into flow and volume by the extension's calculations.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "spirometry/document/document_test_host.h"

namespace Spirometry {
namespace {

using std::numbers::pi;

class SpiroDocumentStandard : public testing::DocumentTestBase {
 protected:
  void SetUp() override {
    DocumentTestBase::SetUp();
    mRecording = testing::MakeBreathingRecording(3, 3, 2);
    OpenFlowHeadRecording(mRecording);
  }
  ComPtr<ISpiroResults2> Results() { return DocInterface().As<ISpiroResults2>(); }

  testing::BreathingRecording mRecording;
};

// Each forced expiration of the recording is a half sine of flow: 3 L out over 1.5 s, peak pi L/s at 0.75 s,
// so expired(t) = 1.5 (1 - cos(pi t / 1.5)) and the tangent at the peak meets zero at 0.75 - 1.5 / pi.
TEST_F(SpiroDocumentStandard, ForcedExpirationsMatchTheirClosedForm) {
  auto expired = [](double t) { return 1.5 * (1.0 - std::cos(pi * std::min(t, 1.5) / 1.5)); };
  const double t0 = 0.75 - 1.5 / pi;
  std::vector<SpiroManoeuvreRecord> manoeuvres;
  SpiroForcedTestRecord test{};
  ASSERT_EQ(Results()->GetForcedManoeuvres(&manoeuvres, &test), S_OK);
  ASSERT_EQ(manoeuvres.size(), 3u);
  for (std::size_t i = 0; i < manoeuvres.size(); ++i) {
    const SpiroManoeuvreRecord& m = manoeuvres[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(m.BreathIndex, 3 + 3 * static_cast<int>(i));
    ASSERT_EQ(m.Measured, kTrue16);
    // The curve read from the volume channel: its start, its rise and its end.
    EXPECT_NEAR(m.TimeZero, t0, 0.003);
    EXPECT_NEAR(m.Bev, expired(t0), 0.005);
    EXPECT_NEAR(m.Fev1, expired(t0 + 1.0), 0.01);
    EXPECT_NEAR(m.Fvc, 3.0, 0.01);
    EXPECT_NEAR(m.Fet, 1.5 - t0, 0.003);
    EXPECT_NEAR(m.Fivc, 2.0 / pi, 0.01);  // the tidal inspiration that follows
    // A half sine starts slowly: 0.24 L before time zero is more than 0.150 L, so nothing counts.
    EXPECT_EQ(m.BevWithinLimit, kFalse16);
    EXPECT_EQ(m.Plateau, kFalse16);
    EXPECT_EQ(m.Fev1Usable, kFalse16);
  }
  EXPECT_EQ(test.Manoeuvres, 3);
  EXPECT_EQ(test.Fev1Grade, 'F');
  EXPECT_EQ(test.FvcGrade, 'F');
}

TEST_F(SpiroDocumentStandard, AutomaticLevelIsASettingThatTheAnalysisUses) {
  ASSERT_EQ(Results()->SetAutomaticDetectionLevel(kTrue16), S_OK);
  EXPECT_TRUE(Doc().CurrentSettings().AutoDetectionLevel);
  EXPECT_TRUE(Doc().SettingsObject().IsAttached());
  std::wstring message;
  ASSERT_TRUE(Doc().EnsureAnalysis(&message));
  EXPECT_EQ(Doc().Analysis().Count(), mRecording.breaths);
  SpiroDetectionRecord d{};
  ASSERT_EQ(Results()->GetDetection(&d), S_OK);
  EXPECT_EQ(d.Automatic, kTrue16);
  // A clean signal: 5 % of the tidal breaths' peak of 0.5 L/s.
  EXPECT_NEAR(d.BreathPeak, 0.5, 0.005);
  EXPECT_NEAR(d.Height, 0.025, 0.0005);
  // The flow channel's full range is 32000 raw units of 0.1 V / 32000 each, times the head's 40.1 L/s per V.
  EXPECT_NEAR(d.Level, d.Height / (0.1 * 40.1) * 100.0, 1e-9);
  // The flow read in mL/s is still judged in L/s.
  SpConfig millilitres = Doc().CurrentSettings();
  millilitres.FlowUnitsPrefix = 7;
  SendSettings(millilitres);
  ASSERT_TRUE(Doc().EnsureAnalysis(&message));
  ASSERT_EQ(Results()->GetDetection(&d), S_OK);
  EXPECT_NEAR(d.Height, 0.025, 0.0005);

  ASSERT_EQ(Results()->SetAutomaticDetectionLevel(kFalse16), S_OK);
  ASSERT_TRUE(Doc().EnsureAnalysis(&message));
  ASSERT_EQ(Results()->GetDetection(&d), S_OK);
  EXPECT_EQ(d.Automatic, kFalse16);
  EXPECT_NEAR(d.Height, 0.01 * 0.1 * 40.1, 1e-9);  // 1 % of the full range
}

// A script turns the automatic level on and off by naming it; a message that does not name it (the one
// above in millilitres) leaves it as it is.
TEST_F(SpiroDocumentStandard, ScriptMessageSetsTheAutomaticLevelWhenItNamesIt) {
  const SpConfig s = Doc().CurrentSettings();
  for (const double on : {1.0, 0.0}) {
    const std::vector<MessageValue> values = {{L"ForcedExpThres", s.ForcedExpThres},
                                              {L"DetectionLevel", s.DetectionLevel},
                                              {L"FlowChannel", static_cast<double>(s.FlowChannel)},
                                              {L"VolumeChannel", static_cast<double>(s.VolumeChannel)},
                                              {L"AutoDetectionLevel", on}};
    ASSERT_TRUE(mHost->Frame().SendScriptMessage(L"SpirometrySettings", values));
    std::wstring message;
    ASSERT_TRUE(Doc().EnsureAnalysis(&message));
    SpiroDetectionRecord d{};
    ASSERT_EQ(Results()->GetDetection(&d), S_OK);
    EXPECT_EQ(d.Automatic != kFalse16, on != 0.0);
  }
}

}  // namespace
}  // namespace Spirometry
