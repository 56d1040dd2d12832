// Calculated channels from the command line: a flow calculation on a voltage channel and a volume
// calculation on the flow, stored in the file and read back by later runs.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "apps/kymora/tests/cli_runner.h"

using namespace kymora::clitest;

namespace {
std::vector<double> Values(const std::string& evalOutput) {
  std::vector<double> v;
  std::istringstream in(evalOutput);
  long long tick;
  std::string value;
  while (in >> tick >> value) v.push_back(std::stod(value));
  return v;
}
}  // namespace

TEST(CliCalc, FlowAndVolumeChannelsAreStoredAndReadLikeRecordedOnes) {
  TempDir dir;
  // 100 Hz voltage: 1 V, -1 V, 0.5 V, 0 V.
  dir.Write("v.csv", "Time (s),Raw flow (V)\n0,1\n0.01,-1\n0.02,0.5\n0.03,0\n");
  auto kymo = dir.File("v.kymo");
  ASSERT_EQ(RunKymora({"import", dir.File("v.csv"), kymo}).exitCode, 0);
  auto flow = RunKymora({"calc", kymo, "2", "SpFlow", "source=1", "preset=2", "nonlinear=on"});
  ASSERT_EQ(flow.exitCode, 0) << flow.err;
  auto vol = RunKymora({"calc", kymo, "3", "SpVol", "source=2"});
  ASSERT_EQ(vol.exitCode, 0) << vol.err;

  // Head scale 11.79 L/s per V with coefficient 0.37: y = S x (1 - k |x|).
  auto f = Values(RunKymora({"eval", kymo, "Ch2"}).out);
  ASSERT_EQ(f.size(), 4u);
  const double s = 11.79, k = 0.37;
  const double volts[] = {1, -1, 0.5, 0};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(f[i], s * volts[i] * (1 - k * std::abs(volts[i])), 1e-5) << i;
  EXPECT_NEAR(f[0], 7.4277, 1e-5);

  // The volume is the running sum of flow × 0.01 s.
  auto v = Values(RunKymora({"eval", kymo, "Ch3"}).out);
  ASSERT_EQ(v.size(), 4u);
  double sum = 0;
  for (int i = 0; i < 4; ++i) {
    sum += f[i] * 0.01;
    EXPECT_NEAR(v[i], sum, 1e-6) << i;
  }

  auto info = RunKymora({"info", kymo, "--json"});
  EXPECT_NE(info.out.find("\"class\": \"SpFlow\""), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("preset=2"), std::string::npos);
  EXPECT_NE(info.out.find("\"class\": \"SpVol\""), std::string::npos);
  EXPECT_NE(info.out.find("\"units\": \"L/s\""), std::string::npos);
  EXPECT_NE(info.out.find("\"version\": \"2.5.3\""), std::string::npos) << "the extension is listed";

  // Editing keeps the other settings; removing takes the calculation away.
  ASSERT_EQ(RunKymora({"calc", kymo, "2", "SpFlow", "prefix=7"}).exitCode, 0);
  auto ml = Values(RunKymora({"eval", kymo, "Ch2", "--to", "1"}).out);
  ASSERT_EQ(ml.size(), 1u);
  EXPECT_NEAR(ml[0], 7427.7, 0.01);
  ASSERT_EQ(RunKymora({"calc", kymo, "3", "none"}).exitCode, 0);
  auto removed = RunKymora({"eval", kymo, "Ch3"});
  EXPECT_NE(removed.exitCode, 0);
}

TEST(CliCalc, RefusedSettingsLeaveTheFileAsItWas) {
  TempDir dir;
  dir.Write("v.csv", "Time (s),Raw flow (V)\n0,1\n0.01,-1\n");
  auto kymo = dir.File("v.kymo");
  ASSERT_EQ(RunKymora({"import", dir.File("v.csv"), kymo}).exitCode, 0);
  const std::vector<std::string> bad[] = {
      {"calc", kymo, "2", "SpFlow", "preset=9"},
      {"calc", kymo, "2", "SpFlow", "colour=red"},
      {"calc", kymo, "2", "SpFlow", "source"},
      {"calc", kymo, "2", "Nonsense"},
      {"calc", kymo, "4", "SpFlow"},
  };
  for (const auto& args : bad) {
    auto r = RunKymora(args);
    EXPECT_NE(r.exitCode, 0) << args.back();
    EXPECT_FALSE(r.err.empty());
  }
  auto info = RunKymora({"info", kymo, "--json"});
  EXPECT_EQ(info.out.find("\"number\": 2"), std::string::npos) << "no channel was added";
}
