// The command line reads from a .kymo file only the samples a command uses: a damaged channel that the
// analysis does not read changes nothing, and one it reads (or a copy, which reads them all) fails by name.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "apps/kymora/tests/cli_runner.h"

using namespace kymora::clitest;

namespace {

// A flow-head voltage (40.1 L/s per V) at 1 kHz: tidal breaths around a forced expiration, in two
// channels that hold the same samples.
std::string TwoChannelCsv() {
  using std::numbers::pi;
  std::vector<double> flow(500, 0.0);
  auto tidal = [&](int cycles) {
    for (int i = 0; i < cycles * 4000; ++i) flow.push_back(0.5 * std::sin(2.0 * pi * i / 4000.0));
  };
  tidal(3);
  for (int i = 0; i < 2000; ++i) flow.push_back(0.75 * pi * std::sin(pi * i / 2000.0));
  for (int i = 0; i < 1500; ++i) flow.push_back(-pi * std::sin(pi * i / 1500.0));
  tidal(2);
  std::string text = "Time (s),Raw flow (V),Copy (V)\n";
  char line[96];
  for (std::size_t i = 0; i < flow.size(); ++i) {
    std::snprintf(line, sizeof line, "%.3f,%.9g,%.9g\n", i * 0.001, flow[i] / 40.1, flow[i] / 40.1);
    text += line;
  }
  return text;
}

}  // namespace

TEST(CliDeferred, ReadsOnlyWhatTheCommandUses) {
  TempDir dir;
  dir.Write("rec.csv", TwoChannelCsv());
  const auto kymo = dir.File("rec.kymo");
  ASSERT_EQ(RunKymora({"import", dir.File("rec.csv"), kymo}).exitCode, 0);
  auto analyse = [&](const std::string& file, const char* channel, bool save = false) {
    std::vector<std::string> args = {"spirometry", file, "--raw-channel", channel, "--preset", "3", "--json"};
    if (save) args.push_back("--save");
    return RunKymora(args);
  };
  // The recording in memory (imported) and read from the .kymo file as the analysis needs it.
  auto imported = analyse(dir.File("rec.csv"), "1");
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  ASSERT_NE(imported.out.find("\"valid\": true"), std::string::npos) << imported.out;
  EXPECT_EQ(analyse(kymo, "1").out, imported.out);

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(kymo.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE sample_chunks SET samples = zeroblob(length(samples)) WHERE channel = 1", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const std::string damaged =
      kymo + " is damaged: block 1, channel 2, chunk 1: the samples do not match their checksum.";

  auto first = analyse(kymo, "1");
  EXPECT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(first.out, imported.out);
  auto second = analyse(kymo, "2");
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_EQ(second.out, "");
  EXPECT_NE(second.err.find("kymora: " + damaged + "\n"), std::string::npos) << second.err;
  // Saved back, the damaged channel that was not read stays as it was; saved as another file, it is read
  // and the save refused.
  auto saved = analyse(kymo, "1", true);
  EXPECT_EQ(saved.exitCode, 0) << saved.err;
  EXPECT_NE(analyse(kymo, "2").err.find("kymora: " + damaged + "\n"), std::string::npos);
  const auto copy = dir.File("copy.kymo");
  auto copied = RunKymora({"import", kymo, copy});
  EXPECT_EQ(copied.exitCode, 1);
  EXPECT_NE(copied.err.find("kymora: Cannot save " + copy + ": " + damaged + "\n"), std::string::npos) << copied.err;
  EXPECT_FALSE(std::filesystem::exists(copy));
}
