// The command line's host commands end to end: import, info, eval.
#include <gtest/gtest.h>

#include <sstream>

#include "apps/kymora/tests/cli_runner.h"

using namespace kymora::clitest;

namespace {
const char* kTwoBlockCsv =
    "# two blocks, two channels, semicolons\n"
    "Time (s);Raw flow (V);Pressure (cmH2O)\n"
    "0.000;0.5;3.1\n"
    "0.001;1.0;3.0\n"
    "0.002;-0.25;2.5\n"
    "# block\n"
    "0.000;2;1\n"
    "0.010;3;NaN\n"
    "0.020;-4.5;0\n";
}  // namespace

TEST(CliHost, ImportInfoAndEvalOfATwoBlockCsv) {
  TempDir dir;
  dir.Write("rec.csv", kTwoBlockCsv);
  auto kymo = dir.File("rec.kymo");
  auto imported = RunKymora({"import", dir.File("rec.csv"), kymo});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;

  auto info = RunKymora({"info", kymo, "--json"});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  for (const char* expected :
       {"\"title\": \"Raw flow\"", "\"units\": \"V\"", "\"title\": \"Pressure\"", "\"units\": \"cmH2O\"",
        "\"secondsPerSample\": 0.01", "\"length\": 3", "\"fullScale\": 5", "\"selection\": null"}) {
    EXPECT_NE(info.out.find(expected), std::string::npos) << expected << "\n" << info.out;
  }

  // Every sample of block 2: Ch1*2+1.
  auto eval = RunKymora({"eval", kymo, "Ch1*2+1", "--block", "2"});
  ASSERT_EQ(eval.exitCode, 0) << eval.err;
  EXPECT_EQ(eval.out, "0\t5\n1\t7\n2\t-8\n");
  // An expression may start with a minus, before or after the options.
  for (auto args : {std::vector<std::string>{"eval", kymo, "-Ch1*2+1", "--block", "2"},
                    std::vector<std::string>{"eval", "--block", "2", kymo, "-Ch1*2+1"}}) {
    auto negated = RunKymora(args);
    EXPECT_EQ(negated.out, "0\t-3\n1\t-5\n2\t10\n") << negated.err;
  }
  // A NaN sample stays not-a-number; a recording can be evaluated without importing it first.
  auto nan = RunKymora({"eval", dir.File("rec.csv"), "Ch2+Ch1", "--block", "2", "--from", "1", "--to", "2"});
  ASSERT_EQ(nan.exitCode, 0) << nan.err;
  EXPECT_EQ(nan.out, "1\tnan\n");
}

TEST(CliHost, BadRecordingFailsWithItsWholeMessageAndWritesNothing) {
  using namespace std::string_literals;
  const std::pair<std::string, const char*> cases[] = {
      {"Time,A,B\n0,1,2\n0.1,3\n", "line 3"},
      {"Time,A\n0,1\n0.1,2\0\n"s, "line 3: a NUL byte"},
      // Control characters brought into a message are shown, not sent to the terminal.
      {"Time,A\n0,1\n0.1,2\x1b[2J\n", "'2\\x1B[2J' is not a number"},
  };
  for (const auto& [text, message] : cases) {
    TempDir dir;
    dir.Write("bad.csv", text);
    auto r = RunKymora({"import", dir.File("bad.csv"), dir.File("bad.kymo")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("bad.kymo")));
  }
}

TEST(CliHost, UsageErrorsAreClearAndNonZero) {
  TempDir dir;
  dir.Write("rec.csv", kTwoBlockCsv);
  const std::string longText = "Ch1" + std::string(12000, ' ') + "+(";
  std::string flatSum = "1";
  for (int i = 0; i < 300; ++i) flatSum += "+1";
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"eval", dir.File("rec.csv"), "Ch1*(2"}, "position 7"},
      {{"eval", dir.File("rec.csv"), "Ch9"}, "Ch9"},
      {{"eval", dir.File("rec.csv"), "Ch1", "--block", "3"}, "no block 3"},
      {{"eval", dir.File("rec.csv"), "Ch1", "--block", "0"}, "from 1 to"},
      {{"eval", dir.File("rec.csv"), "Ch1", "--from", "4294967296"}, "beyond the end of block 1, which has 3 samples"},
      {{"eval", dir.File("rec.csv"), "Ch1", "--from", "4"}, "beyond the end"},
      {{"eval", dir.File("rec.csv"), "Ch1", "--to", "4"}, "beyond the end"},
      {{"eval", dir.File("rec.csv"), "Ch1", "--from", "2", "--to", "1"}, "--from 2 lies after --to 1"},
      {{"eval", dir.File("rec.csv"), "SPEEFlow(Ch1, 0.5)", "--from", "2", "--to", "1"}, "lies after"},
      {{"eval", dir.File("rec.csv"), "Ch1", "--from", "99999999999999999999"}, "whole number from 0"},
      {{"eval", dir.File("rec.csv"), "Ch1", "--frm", "1"}, "--frm"},
      {{"eval", dir.File("rec.csv"), longText}, "position 12006"},
      {{"eval", dir.File("rec.csv"), flatSum}, "more than 256 operators in a row"},
      {{"info", dir.File("missing.kymo")}, "missing.kymo"},
      {{"import", dir.File("rec.csv"), dir.File("out.txt")}, ".kymo"},
      {{"calc", dir.File("rec.csv"), "2", "SpFlow"}, "import the recording first"},
  };
  for (const auto& c : cases) {
    auto r = RunKymora(c.args);
    EXPECT_EQ(r.exitCode, c.args[0] == "info" ? 1 : 2) << c.message << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << c.message;
    EXPECT_LT(r.err.size(), 400u) << "the message repeats what was typed at length";
  }
}

TEST(CliHost, ImportReplacesAnExistingFileOnlyWhenForced) {
  TempDir dir;
  dir.Write("rec.csv", kTwoBlockCsv);
  const auto kymo = dir.File("rec.kymo");
  ASSERT_EQ(RunKymora({"import", dir.File("rec.csv"), kymo}).exitCode, 0);
  ASSERT_EQ(RunKymora({"calc", kymo, "3", "SpFlow", "source=1"}).exitCode, 0);
  auto refused = RunKymora({"import", dir.File("rec.csv"), kymo});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
  EXPECT_NE(RunKymora({"info", kymo}).out.find("SpFlow"), std::string::npos) << "the calculation was kept";
  ASSERT_EQ(RunKymora({"import", dir.File("rec.csv"), kymo, "--force"}).exitCode, 0);
  EXPECT_EQ(RunKymora({"info", kymo}).out.find("SpFlow"), std::string::npos) << "the file was replaced";
}
