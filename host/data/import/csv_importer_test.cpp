#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "host/data/import/recording_importer.h"

using namespace kymora;
using namespace kymora::import;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct ExpectedBlock {
  double interval;
  std::vector<std::vector<float>> columns;  // per channel
};

struct GoodCase {
  const char* name;
  std::string text;
  ImportOptions options;
  std::vector<std::wstring> titles, units;
  std::vector<double> ranges;
  std::vector<ExpectedBlock> blocks;
};

ImportOptions Rate(double hz) {
  ImportOptions o;
  o.rateHz = hz;
  return o;
}

ImportOptions Range(std::int32_t channel, double value) {
  ImportOptions o;
  o.ranges[channel] = value;
  return o;
}

void ExpectSamples(const Samples& actual, const std::vector<float>& expected, const std::string& where) {
  ASSERT_EQ(actual.size(), expected.size()) << where;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (std::isnan(expected[i]))
      EXPECT_TRUE(std::isnan(actual[i])) << where << " sample " << i;
    else
      EXPECT_EQ(actual[i], expected[i]) << where << " sample " << i;
  }
}

}  // namespace

TEST(CsvImport, ReadsChannelsBlocksIntervalsAndRanges) {
  const std::vector<GoodCase> cases = {
      {"two blocks, semicolons, Time column",
       "# recorded by a script\nTime (s);Raw flow (V);Pressure (cmH2O)\n0.000;0.0012;3.1\n0.001;0.0013;3.0\n"
       "0.002;0.0011;2.9\n# block\n10.5;-0.0002;3.2\n10.502;0.0001;3.3\n",
       {},
       {L"Raw flow", L"Pressure"},
       {L"V", L"cmH2O"},
       {0.002, 5},
       {{0.001, {{0.0012f, 0.0013f, 0.0011f}, {3.1f, 3.0f, 2.9f}}}, {0.002, {{-0.0002f, 0.0001f}, {3.2f, 3.3f}}}}},
      {"tabs and bracketed units",
       "Time [s]\tFlow [L/s]\tNote\n0\t1.5\t7\n0.01\t-2.5\t8\n",
       {},
       {L"Flow", L"Note"},
       {L"L/s", L""},
       {5, 10},
       {{0.01, {{1.5f, -2.5f}, {7, 8}}}}},
      {"no Time column, --rate",
       "Flow,Volume\n1,2\n-3,4\n",
       Rate(100),
       {L"Flow", L"Volume"},
       {L"", L""},
       {5, 5},
       {{0.01, {{1, -3}, {2, 4}}}}},
      {"single column without separator",
       "Flow (L/s)\n0.25\n0.5\n",
       Rate(4),
       {L"Flow"},
       {L"L/s"},
       {0.5},
       {{0.25, {{0.25f, 0.5f}}}}},
      {"empty and NaN cells",
       "Time,A,B\n0,,NaN\n1,nan,2\n2, NAN ,\n",
       {},
       {L"A", L"B"},
       {L"", L""},
       {1, 2},
       {{1, {{kNaN, kNaN, kNaN}, {kNaN, 2, kNaN}}}}},
      {"infinite cells are kept, and count for no range",
       "Time,A\n0,inf\n1,-Infinity\n2,3\n",
       {},
       {L"A"},
       {L""},
       {5},
       {{1, {{INFINITY, -INFINITY, 3}}}}},
      {"BOM, CRLF and blank lines",
       "\xEF\xBB\xBFTime (s),A\r\n0,1\r\n\r\n   \r\n0.5,2\r\n",
       {},
       {L"A"},
       {L""},
       {2},
       {{0.5, {{1, 2}}}}},
      {"comments, block markers in any case, one-row block",
       "# a\nTime,A\n  #  BLOCK  \n0,1\n# another\n0.1,2\n#Block\n5,3\n",
       {},
       {L"A"},
       {L""},
       {5},
       {{0.1, {{1, 2}}}, {0.1, {{3}}}}},
      {"time in milliseconds, trailing separators",
       "Time (ms),A,\n0,1,\n2,2\n",
       {},
       {L"A"},
       {L""},
       {2},
       {{0.002, {{1, 2}}}}},
      {"--range overrides the full scale of one channel",
       "Time,A,B\n0,1,30\n1,2,-40\n",
       Range(2, 7.5),
       {L"A", L"B"},
       {L"", L""},
       {2, 7.5},
       {{1, {{1, 2}, {30, -40}}}}},
      {"full scale is the next 1, 2 or 5 step of the largest magnitude",
       "Time,A,B,C\n0,0.3,-120,0\n1,0.01,99,0\n",
       {},
       {L"A", L"B", L"C"},
       {L"", L"", L""},
       {0.5, 200, 1},
       {{1, {{0.3f, 0.01f}, {-120, 99}, {0, 0}}}}},
      {"quoted cells, plus signs, empty title",
       "\"Time (s)\",\"(V)\"\n\"0\",\"+1.5\"\n0.5,-1e-400\n",
       {},
       {L"Channel 1"},
       {L"V"},
       {2},
       {{0.5, {{1.5f, 0}}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = ImportCsvText(c.text, "rec.csv", c.options);
    ASSERT_TRUE(result) << result.ErrorMessage();
    const DataFile& f = result->file;
    ASSERT_EQ(f.ChannelCount(), static_cast<std::int32_t>(c.titles.size()));
    for (std::size_t ch = 0; ch < c.titles.size(); ++ch) EXPECT_EQ(f.channels[ch].title, c.titles[ch]);
    ASSERT_EQ(f.BlockCount(), static_cast<std::int32_t>(c.blocks.size()));
    for (std::size_t b = 0; b < c.blocks.size(); ++b) {
      const auto& block = f.blocks[b];
      EXPECT_DOUBLE_EQ(block.secsPerTick, c.blocks[b].interval) << "block " << b;
      for (std::size_t ch = 0; ch < c.titles.size(); ++ch) {
        EXPECT_EQ(block.channels[ch].units, c.units[ch]);
        EXPECT_DOUBLE_EQ(block.channels[ch].range, c.ranges[ch]) << "channel " << ch;
        ExpectSamples(**block.channels[ch].ReadSamples(), c.blocks[b].columns[ch],
                      "block " + std::to_string(b) + " channel " + std::to_string(ch));
      }
    }
  }
}

// ",C1,C2,...": n more column titles.
std::string Columns(int n) {
  std::string text;
  for (int i = 1; i <= n; ++i) text += ",C" + std::to_string(i);
  return text;
}

TEST(CsvImport, TakesUpTo10000Channels) {
  for (bool time : {true, false}) {
    std::string row(time ? 10000 : 9999, ',');
    auto result = ImportCsvText(
        (time ? "Time" : "C0") + Columns(time ? 10000 : 9999) + "\n0" + row + (time ? "\n1" + row + "\n" : "\n"),
        "rec.csv", time ? ImportOptions{} : Rate(1));
    ASSERT_TRUE(result) << result.ErrorMessage();
    EXPECT_EQ(result->file.ChannelCount(), 10000);
  }
}

TEST(CsvImport, RefusesMalformedTextWithOneMessage) {
  using namespace std::string_literals;
  struct BadCase {
    std::string text;
    ImportOptions options;
    std::string message;
  };
  const std::vector<BadCase> cases = {
      {"Time,A,B\n0,1,2\n\n0.1,1\n", {}, "rec.csv, line 4: 2 fields where the header has 3"},
      {"Time,A\n0,1\n0.1,abc\n", {}, "rec.csv, line 3, field 2: 'abc' is not a number"},
      {"Time;A\n0;1,5\n", {}, "rec.csv, line 2, field 2: '1,5' is not a number"},
      {"Time,A\n0,1e39\n", {}, "rec.csv, line 2, field 2: '1e39' is too large"},
      {"Time,A\n,1\n", {}, "rec.csv, line 2, field 1: the Time column needs a number"},
      {"", {}, "rec.csv: no header line"},
      {"# only a comment\n\n", {}, "rec.csv: no header line"},
      {"Time,A\n# block\n", {}, "rec.csv: no data rows"},
      {"Time,A\n0,1\n0.1,2\n# block\n# block\n0,1\n", {}, "rec.csv, line 4: the block started here has no data rows"},
      {"Time,A\n0,1\n0.1,2\n# block\n", {}, "rec.csv, line 4: the block started here has no data rows"},
      {"Time,A\n0,1\n0.1,1\n0.2,1\n0.15,1\n", {}, "rec.csv, line 5: the Time column must increase"},
      {"Time,A\n0,1\n0,1\n", {}, "rec.csv, line 3: the Time column must increase"},
      {"Time,A\n0,1\n", {}, "rec.csv: no block has two data rows, so the Time column cannot give the sample interval"},
      {"A,B\n1,2\n", {}, "rec.csv: --rate is needed because the first column is not Time"},
      {"A,B\n1,2\n", Rate(-5), "rec.csv: --rate must be a positive number of samples per second"},
      {"Time,A,B\n0,1,2\n1,1,2\n", Range(3, 1), "rec.csv: --range names channel 3, but the file has 2 channels"},
      {"Time,A\n0,1\n1,1\n", Range(1, 0), "rec.csv: --range for channel 1 must be a positive number"},
      {"Time (min),A\n0,1\n", {}, "rec.csv, line 1: the Time column's units 'min' are not seconds"},
      {"Time\n0\n1\n", {}, "rec.csv, line 1: the header names no channel besides Time"},
      {"\xFF\xFET\0i\0m\0e\0,\0A\0\n\0"s,
       {},
       "rec.csv: the file is UTF-16 text; save it as UTF-8 (or plain ASCII) and import it again"},
      {"Time,A\r0,1\r0.1,2\r",
       {},
       "rec.csv: its lines end in CR alone (an old Mac text file); convert the line ends to LF or CR LF and import it "
       "again"},
      {"Time,A\n0,1\n0.1,2\0\n"s, {}, "rec.csv, line 3: a NUL byte: the file is damaged or not text"},
      {"Time" + Columns(10001) + "\n0" + std::string(10001, ',') + "\n",
       {},
       "rec.csv, line 1: more than 10000 channels"},
      {"A" + Columns(10000) + "\n", Rate(1), "rec.csv, line 1: more than 10000 channels"},
  };
  for (const auto& c : cases) {
    auto result = ImportCsvText(c.text, "rec.csv", c.options);
    ASSERT_FALSE(result) << c.text;
    EXPECT_EQ(result.ErrorMessage(), c.message) << c.text;
  }
}

TEST(CsvImport, IrregularTimeStepsKeepTheFirstStepAndWarn) {
  auto result = ImportCsvText("Time,A\n0,1\n0.01,1\n0.02,1\n0.035,1\n0.045,1\n0.05495,1\n0.0652,1\n", "rec.csv", {});
  ASSERT_TRUE(result) << result.ErrorMessage();
  EXPECT_DOUBLE_EQ(result->file.blocks[0].secsPerTick, 0.01);
  ASSERT_EQ(result->warnings.size(), 1u);
  // Steps of 0.015 and 0.01025 are off by more than 1%; 0.00995 is not.
  EXPECT_NE(result->warnings[0].find("rec.csv, line 5:"), std::string::npos) << result->warnings[0];
  EXPECT_NE(result->warnings[0].find("2 of 6"), std::string::npos) << result->warnings[0];

  auto regular = ImportCsvText("Time,A\n0,1\n0.01,1\n0.02,1\n", "rec.csv", Rate(50));
  ASSERT_TRUE(regular);
  ASSERT_EQ(regular->warnings.size(), 1u);  // the ignored --rate, nothing about timing
  EXPECT_NE(regular->warnings[0].find("--rate is ignored"), std::string::npos);

  auto untitled = ImportCsvText("0,1\n1,2\n", "rec.csv", Rate(1));
  ASSERT_TRUE(untitled);
  ASSERT_EQ(untitled->warnings.size(), 1u);
  EXPECT_EQ(untitled->warnings[0].rfind("rec.csv, line 1: the header holds only numbers", 0), 0u);
}

// The file reader hands the parser lines that straddle its read buffer; it must give what the text gives.
TEST(CsvImport, FileReadInPiecesMatchesTextInMemory) {
  // Long enough (about 1.6 MB) for the file to be read in more than one piece.
  constexpr int kRows = 80000;
  std::string text = "Time (s),Flow (L/s),Note\r\n";
  for (int i = 0; i < kRows; ++i) {
    text += std::to_string(i) + "e-3," + std::to_string((i * 37) % 1001 - 500) + ".25," + (i % 7 ? "1" : "") + "\r\n";
    if (i == 20000) text += "# block\r\n";
  }
  text.pop_back();  // no line end after the last row
  text.pop_back();
  auto dir = std::filesystem::path(testing::TempDir()) / "kymora_csv_pieces";
  std::filesystem::create_directories(dir);
  auto path = (dir / "long.CSV").string();
  std::ofstream(path, std::ios::binary) << text;

  auto fromText = ImportCsvText(text, path, {});
  auto fromFile = ImportRecording(path, {});
  ASSERT_TRUE(fromText) << fromText.ErrorMessage();
  ASSERT_TRUE(fromFile) << fromFile.ErrorMessage();
  const auto& a = fromText->file;
  const auto& b = fromFile->file;
  ASSERT_EQ(b.BlockCount(), 2);
  EXPECT_EQ(b.blocks[0].length, 20001);
  EXPECT_EQ(b.blocks[1].length, kRows - 20001);
  for (int blk = 0; blk < 2; ++blk) {
    EXPECT_EQ(a.blocks[blk].secsPerTick, b.blocks[blk].secsPerTick);
    for (int ch = 0; ch < 2; ++ch) {
      const auto& x = **a.blocks[blk].channels[ch].ReadSamples();
      const auto& y = **b.blocks[blk].channels[ch].ReadSamples();
      ASSERT_EQ(x.size(), y.size());
      for (std::size_t i = 0; i < x.size(); ++i)
        ASSERT_TRUE(x[i] == y[i] || (std::isnan(x[i]) && std::isnan(y[i]))) << blk << "/" << ch << "/" << i;
    }
  }
  const std::string last = std::to_string(((kRows - 1) * 37) % 1001 - 500) + ".25";  // as the row writes it
  EXPECT_EQ((**b.blocks[1].channels[0].ReadSamples())[kRows - 20002], static_cast<float>(std::stod(last)));
  EXPECT_TRUE(std::isnan((**b.blocks[0].channels[1].ReadSamples())[7]));

  // A pipe is read the same way, with the same result and the same error text.
  for (const std::string& piped : {text, text + "\n0.x,1,2"}) {
    const auto fifo = (dir / "pipe.csv").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << piped; });
    auto fromPipe = ImportRecording(fifo, {});
    writer.join();
    std::filesystem::remove(fifo);
    auto expected = ImportCsvText(piped, fifo, {});
    ASSERT_EQ(static_cast<bool>(fromPipe), static_cast<bool>(expected));
    if (!expected) {
      EXPECT_EQ(fromPipe.ErrorMessage(), expected.ErrorMessage());
      continue;
    }
    ASSERT_EQ(fromPipe->file.BlockCount(), 2);
    EXPECT_TRUE(**fromPipe->file.blocks[1].channels[0].ReadSamples() == **b.blocks[1].channels[0].ReadSamples());
  }
  std::filesystem::remove_all(dir);
}

// Another program shortens the file while it is imported: the import fails and says why, where a mapped
// file would have ended the process.
TEST(CsvImport, AFileShortenedDuringTheImportIsRefused) {
  std::string text = "Time (s),Flow (L/s)\n";
  for (int i = 0; text.size() < (std::size_t{6} << 20); ++i) text += std::to_string(i) + "e-3,0.5\n";
  auto dir = std::filesystem::path(testing::TempDir()) / "kymora_csv_shortened";
  std::filesystem::create_directories(dir);
  const auto path = (dir / "shortened.csv").string();
  std::ofstream(path, std::ios::binary) << text;
  ImportOptions options;
  options.progress = [&](std::uint64_t, std::uint64_t) { std::filesystem::resize_file(path, 1 << 20); };
  auto imported = ImportRecording(path, options);
  ASSERT_FALSE(imported);
  EXPECT_EQ(imported.ErrorMessage(),
            path + ": the file became shorter while it was read (another program changed it); nothing was imported");
  std::filesystem::remove_all(dir);
}

TEST(RangeOption, ParsesChannelAndPositiveValue) {
  auto good = ParseRangeOption(" 3 = 0.5 ");
  ASSERT_TRUE(good) << good.ErrorMessage();
  EXPECT_EQ(good->first, 3);
  EXPECT_EQ(good->second, 0.5);
  for (const char* bad :
       {"", "2", "abc", "0=1", "-1=1", "x=1", "2=", "=3", "2=-1", "2=0", "2=1,5", "2=inf", "2=1e999"}) {
    auto r = ParseRangeOption(bad);
    ASSERT_FALSE(r) << bad;
    EXPECT_EQ(r.ErrorMessage().rfind("--range", 0), 0u) << r.ErrorMessage();
  }
}
