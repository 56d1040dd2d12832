// The flow head calibration from the command line: the syringe stroke of the sample recording gives back
// the head scale the recording was made with, and --apply puts it on the flow calculation and saves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "apps/kymora/tests/cli_runner.h"

using namespace kymora::clitest;

namespace {
constexpr double kRecordedHeadScale = 40.1;  // L/s per V, as samples/make_spirometry_demo.py made it

double HeadScaleIn(const std::string& out) {
  const auto at = out.find("Head scale: ");
  return at == std::string::npos ? NAN : std::stod(out.substr(at + 12));
}
}  // namespace

TEST(CliCalibrate, SyringeStrokeGivesTheRecordingsHeadScale) {
  const std::string sample = KYMORA_SAMPLES_DIR "/spirometry_demo.csv";
  for (std::vector<std::string> range : {std::vector<std::string>{}, {"--from", "0.75", "--to", "2.75"}}) {
    std::vector<std::string> args = {"calibrate", sample, "--channel", "1", "--volume", "3", "--block", "2"};
    args.insert(args.end(), range.begin(), range.end());
    const auto run = RunKymora(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NEAR(HeadScaleIn(run.out) / kRecordedHeadScale, 1.0, 0.01) << run.out;
  }
}

TEST(CliCalibrate, ApplySetsTheCustomHeadScaleAndSaves) {
  TempDir dir;
  // 1 kHz: 1 s of 2 V, so that 3 L over 499 x 0.002 V s (the last sample does not count) gives 3.006.
  std::string csv = "Time (s),Raw flow (V)\n";
  for (int i = 0; i < 1000; ++i) csv += std::to_string(i * 0.001) + ",2\n";
  dir.Write("v.csv", csv);
  const auto kymo = dir.File("v.kymo");
  ASSERT_EQ(RunKymora({"import", dir.File("v.csv"), kymo}).exitCode, 0);
  ASSERT_EQ(RunKymora({"calc", kymo, "2", "SpFlow", "source=1", "preset=3"}).exitCode, 0);

  const auto refused = RunKymora({"calibrate", kymo, "--channel", "1", "--volume", "3", "--apply"});
  EXPECT_EQ(refused.exitCode, 2) << refused.err;  // a recorded channel has no flow calculation to set
  const auto run = RunKymora({"calibrate", kymo, "--channel", "2", "--volume", "3", "--to", "0.5", "--apply"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NEAR(HeadScaleIn(run.out), 3.0 / 0.998, 1e-4) << run.out;
  const auto info = RunKymora({"info", kymo});
  EXPECT_NE(info.out.find("preset=custom scale=3.006"), std::string::npos) << info.out;
}

namespace {
// At 1 kHz: 1.5 s of 2 V (the stroke), 0.25 s of 0.1 mV (the head at rest), 0.25 s of 0 V; beside it a
// pressure in cmH2O. Channel 3 takes SpFlow over channel 1, channel 4 SpVol over channel 3.
std::string StrokeRecording(const TempDir& dir) {
  std::string csv = "Time (s),Raw flow (V),Pressure (cmH2O)\n";
  for (int i = 0; i < 2000; ++i)
    csv += std::to_string(i * 0.001) + (i < 1500 ? ",2" : i < 1750 ? ",0.0001" : ",0") + ",5\n";
  dir.Write("stroke.csv", csv);
  const auto kymo = dir.File("stroke.kymo");
  if (RunKymora({"import", dir.File("stroke.csv"), kymo}).exitCode != 0 ||
      RunKymora({"calc", kymo, "3", "SpFlow", "source=1", "preset=3"}).exitCode != 0 ||
      RunKymora({"calc", kymo, "4", "SpVol", "source=3"}).exitCode != 0)
    return "";
  return kymo;
}
}  // namespace

// Only a syringe volume and a head scale that a calibration can have are taken, and only a voltage is
// integrated; every refusal is one line that says what to give instead. Head scales: 3 L over the first
// 0.5 s is 3 / (499 x 0.002 V s) = 3.006; at rest 3 / (249 x 1e-7 V s) = 120482; 10 mL over the whole
// stroke 0.01 / (1499 x 0.002 V s) = 0.00334.
TEST(CliCalibrate, RefusesWhatNoCalibrationCanBe) {
  TempDir dir;
  const std::string kymo = StrokeRecording(dir);
  ASSERT_FALSE(kymo.empty());
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string says;  // in the one line on standard error, or in the head scale line when it succeeds
  };
  const std::string volumeRange = "from 0.01 to 9.99 L";
  const Case cases[] = {
      {{"--channel", "3", "--volume", "3", "--to", "0.5"}, 0, "Head scale: 3.006"},
      {{"--channel", "1", "--volume", "3", "--to", "0.5"}, 0, "Head scale: 3.006"},
      {{"--channel", "3", "--volume", "0.01", "--to", "0.5"}, 0, "Head scale: 0.01002"},
      {{"--channel", "3", "--volume", "9.99", "--to", "0.5"}, 0, "Head scale: 10.01"},
      {{"--channel", "3", "--volume", "0"}, 2, volumeRange},
      {{"--channel", "3", "--volume", "-1"}, 2, volumeRange},
      {{"--channel", "3", "--volume", "0.005"}, 2, volumeRange},
      {{"--channel", "3", "--volume", "10"}, 2, volumeRange},
      {{"--channel", "3", "--volume", "nan"}, 2, volumeRange},
      {{"--channel", "3", "--volume", "inf"}, 2, volumeRange},
      {{"--channel", "3", "--volume", "1e308"}, 2, volumeRange},
      {{"--channel", "4", "--volume", "3", "--to", "0.5"}, 2, "give --channel 1 or 3"},
      {{"--channel", "2", "--volume", "3", "--to", "0.5"}, 2, "give --channel 1 or 3"},
      {{"--channel", "3", "--volume", "3", "--from", "1.5", "--to", "1.75"},
       1,
       "the head scale comes to 120482 L/s per V, outside 0.01 to 99.9"},
      {{"--channel", "3", "--volume", "0.01", "--to", "1.5"}, 1, "outside 0.01 to 99.9"},
      {{"--channel", "3", "--volume", "3", "--from", "1.76", "--to", "2"}, 1, "select the whole syringe stroke"},
      {{"--channel", "3", "--volume", "3", "--from", "0.2", "--to", "0.201"}, 2, "select the whole stroke"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"calibrate", kymo};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto run = RunKymora(args);
    std::string trace;
    for (const auto& a : c.args) trace += a + " ";
    SCOPED_TRACE(trace);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    if (c.exitCode == 0) {
      EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
      continue;
    }
    EXPECT_EQ(run.out, "");
    // The parser's pointer to --help, under any option it refuses, aside.
    std::string err = run.err;
    const std::string hint = "Run with --help for more information.\n";
    if (err.ends_with(hint)) err.erase(err.size() - hint.size());
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << run.err;
    EXPECT_NE(err.find(c.says), std::string::npos) << run.err;
    EXPECT_LT(err.size(), 200u) << "plain numbers, not hundreds of digits";
  }
}

// A head scale out of range stores nothing; --force takes it.
TEST(CliCalibrate, ForceTakesAnImplausibleHeadScale) {
  TempDir dir;
  const std::string kymo = StrokeRecording(dir);
  ASSERT_FALSE(kymo.empty());
  const std::vector<std::string> atRest = {"calibrate", kymo,  "--channel", "3",    "--volume", "3",
                                           "--from",    "1.5", "--to",      "1.75", "--apply"};
  const auto refused = RunKymora(atRest);
  EXPECT_EQ(refused.exitCode, 1) << refused.err;
  EXPECT_NE(RunKymora({"info", kymo}).out.find("preset=3 scale=40.1"), std::string::npos);

  auto forced = atRest;
  forced.push_back("--force");
  const auto run = RunKymora(forced);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("warning: the head scale lies outside 0.01 to 99.9 L/s per V"), std::string::npos);
  EXPECT_NE(RunKymora({"info", kymo}).out.find("preset=custom scale=120482"), std::string::npos);
}
