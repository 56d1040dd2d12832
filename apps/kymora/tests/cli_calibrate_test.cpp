// The flow head calibration from the command line: the syringe stroke of the sample recording gives back
// the head scale the recording was made with, and --apply puts it on the flow calculation and saves.
#include <gtest/gtest.h>

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
