// Calculated channels from the command line: a flow calculation on a voltage channel and a volume
// calculation on the flow, stored in the file and read back by later runs.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <fstream>
#include <iterator>
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
  EXPECT_NE(RunKymora({"info", kymo, "--json"}).out.find("\"units\": \"mL\""), std::string::npos)
      << "the volume of a flow in mL/s is in mL";
  ASSERT_EQ(RunKymora({"calc", kymo, "3", "none"}).exitCode, 0);
  auto removed = RunKymora({"eval", kymo, "Ch3"});
  EXPECT_NE(removed.exitCode, 0);
}

TEST(CliCalc, RefusedSettingsLeaveTheFileAsItWas) {
  TempDir dir;
  dir.Write("v.csv", "Time (s),Raw flow (V)\n0,1\n0.01,-1\n");
  auto kymo = dir.File("v.kymo");
  ASSERT_EQ(RunKymora({"import", dir.File("v.csv"), kymo}).exitCode, 0);
  ASSERT_EQ(RunKymora({"calc", kymo, "2", "SpFlow", "source=1", "preset=3"}).exitCode, 0);
  ASSERT_EQ(RunKymora({"calc", kymo, "3", "SpVol", "source=2"}).exitCode, 0);
  auto Bytes = [&] {
    std::ifstream in(kymo, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const auto before = Bytes();
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case bad[] = {
      {{"calc", kymo, "2", "SpFlow", "preset=9"}, "preset"},
      {{"calc", kymo, "2", "SpFlow", "colour=red"}, "colour"},
      {{"calc", kymo, "2", "SpFlow", "source"}, "KEY=VALUE"},
      {{"calc", kymo, "2", "Nonsense"}, "Nonsense"},
      {{"calc", kymo, "5", "SpFlow"}, "does not exist"},
      {{"calc", kymo, "4", "SpFlow", "source=4"}, "its own channel, which has none"},
      {{"calc", kymo, "2", "SpFlow", "source=3"}, "its own output through channel 3"},
      {{"calc", kymo, "4", "SpVol"}, "no source channel"},
      {{"calc", kymo, "4", "SpVol", "source=7"}, "channel 7, which does not exist"},
      {{"calc", kymo, "4", "SpVol", "source=-2"}, "from 1 to 256"},
      {{"calc", kymo, "2", "SpFlow", "scale=3", "preset=2"}, "scale=3 and preset=2 contradict"},
      {{"calc", kymo, "2", "SpFlow", "source=1", "source=3"}, "contradict"},
      {{"calc", kymo, "2", "SpFlow", "top=-20", "bottom=20"}, "top (-20) must lie above its bottom (20)"},
      {{"calc", kymo, "3", "SpVol", "top=-2"}, "must lie above"},
      {{"calc", kymo, "4", "SpFlow", "source=1", "preset=custom"}, "preset=custom needs its head scale"},
  };
  for (const auto& c : bad) {
    auto r = RunKymora(c.args);
    EXPECT_NE(r.exitCode, 0) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_TRUE(Bytes() == before) << "a refused command changed the file";
  // Keys that do not depend on their order go together; a preset's scale is the one shown.
  auto custom = RunKymora({"calc", kymo, "2", "SpFlow", "preset=custom", "scale=3", "top=5", "bottom=-5"});
  EXPECT_EQ(custom.exitCode, 0) << custom.err;
  EXPECT_NE(RunKymora({"calc", kymo, "2", "SpFlow", "preset=3"}).out.find("scale=40.1"), std::string::npos);

  // Stored settings that the extension refuses are not taken for a missing extension.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(kymo.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "UPDATE channels SET calculation_settings = x'00' WHERE channel = 2", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  auto info = RunKymora({"info", kymo});
  EXPECT_NE(info.out.find("calculation SpVol (its stored settings were refused"), std::string::npos) << info.out;
}

// The expression functions: a fraction where a whole number belongs is refused by name (it would shift the
// settings after it), and a missing flow sample adds nothing to the volume.
TEST(CliCalc, ExpressionFunctionsTakeWholeNumbersWholeAndBridgeMissingFlow) {
  TempDir dir;
  dir.Write("r.csv", "Time (s),Raw (V)\n0,1\n0.01,-1\n");
  const std::pair<const char*, const char*> refused[] = {
      {"SpFlow(Ch1, 1, 0.5, 40.1, 1)", "'Raw flow channel index' of SpFlow must be a whole number (it is 0.5)"},
      {"SpFlow(Ch1, 0.5, 0, 40.1, 1)", "'Apply drift correction' of SpFlow must be 0 or 1 (it is 0.5)"},
      {"SpVol(Ch1, 0.5, 400, 1)", "'Volume correction' of SpVol must be 0 or 1 (it is 0.5)"},
  };
  for (auto [expression, message] : refused) {
    auto r = RunKymora({"eval", dir.File("r.csv"), expression});
    EXPECT_EQ(r.exitCode, 2) << expression;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  }
  EXPECT_NEAR(Values(RunKymora({"eval", dir.File("r.csv"), "SpFlow(Ch1, 1, 0, 40.1, 1)"}).out).at(0), 40.1, 1e-5);

  dir.Write("n.csv", "Time (s),Flow (L/s)\n0,1\n0.01,1\n0.02,\n0.03,inf\n0.04,1\n");
  const auto volume = Values(RunKymora({"eval", dir.File("n.csv"), "SpVol(Ch1,0,0,1)"}).out);
  const std::vector<double> expected = {0.01, 0.02, 0.02, 0.02, 0.03};
  ASSERT_EQ(volume.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(volume[i], expected[i], 1e-7) << i;
}

// Breath events of an expression, one JSON object per event with every field of the record by name.
TEST(CliCalc, EventExpressionsPrintEveryFieldByName) {
  TempDir dir;
  // A sine flow of amplitude 1 L/s at 1000 samples per second, three cycles.
  std::ostringstream csv;
  csv << "Time (s),Flow (L/s)\n";
  for (int i = 0; i < 3000; ++i) csv << i / 1000.0 << "," << std::sin(2 * M_PI * i / 1000.0) << "\n";
  dir.Write("sine.csv", csv.str());
  auto r = RunKymora({"eval", dir.File("sine.csv"), "SPEEFlow(Ch1, 0.5)", "--block", "1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::istringstream lines(r.out);
  std::vector<std::string> events;
  for (std::string line; std::getline(lines, line);) events.push_back(line);
  // The third breath ends with the record while the flow is back within the height: it is reported, ending
  // at the tick after the last sample.
  ASSERT_EQ(events.size(), 3u) << r.out;
  EXPECT_EQ(events[0].rfind("{\"tick\": 1, \"fraction\": 0, \"value\": ", 0), 0u) << events[0];
  for (const char* field :
       {"\"mStartTick\": 1,", "\"mEndTick\": 1001,", "\"mExpStartTick\": 500}", "\"mSingleExpiration\": 0,",
        "\"mMaxFlow\": ", "\"mMinFlow\": ", "\"mMaxFlowTick\": ", "\"mMinFlowTick\": "})
    EXPECT_NE(events[0].find(field), std::string::npos) << field << "\n" << events[0];
  EXPECT_NE(events[1].find("\"mStartTick\": 1001,"), std::string::npos) << events[1];
  EXPECT_NE(events[2].find("\"mEndTick\": 3000,"), std::string::npos) << events[2];

  auto breaths = RunKymora({"eval", dir.File("sine.csv"), "SpBreathEvent(Ch1, Ch1, 0.5)"});
  ASSERT_EQ(breaths.exitCode, 0) << breaths.err;
  EXPECT_NE(breaths.out.find("\"mMaxVolTick\": "), std::string::npos) << breaths.out;
}
