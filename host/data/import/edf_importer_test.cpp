#include <edflib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "host/data/import/recording_importer.h"

using namespace kymora;
using namespace kymora::import;

namespace {

struct SignalSpec {
  std::string label, units;
  double physMin, physMax;
  int digMin, digMax;
  int perRecord;
  double Resolution() const { return (physMax - physMin) / (digMax - digMin); }
  double Physical(int digital) const { return physMin + (digital - digMin) * Resolution(); }
};

class EdfImport : public testing::Test {
 protected:
  void SetUp() override {
    mDir = std::filesystem::path(testing::TempDir()) /
           ("kymora_edf_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(mDir);
  }
  void TearDown() override { std::filesystem::remove_all(mDir); }
  std::string PathOf(const std::string& name) const { return (mDir / name).string(); }

  // A file written by EDFlib; value(signal, sample index in the file) gives the physical values.
  std::string WriteWithEdfLib(const std::string& name, int filetype, const std::vector<SignalSpec>& signals,
                              int records, int recordTenMicroseconds, std::function<double(int, int)> value) {
    auto path = PathOf(name);
    const int h = edfopen_file_writeonly(path.c_str(), filetype, static_cast<int>(signals.size()));
    int failures = h < 0 ? 1 : 0;
    failures += edf_set_datarecord_duration(h, recordTenMicroseconds) != 0;
    for (int s = 0; s < static_cast<int>(signals.size()); ++s) {
      const auto& sig = signals[static_cast<std::size_t>(s)];
      failures += edf_set_samplefrequency(h, s, sig.perRecord) + edf_set_physical_minimum(h, s, sig.physMin) +
                      edf_set_physical_maximum(h, s, sig.physMax) + edf_set_digital_minimum(h, s, sig.digMin) +
                      edf_set_digital_maximum(h, s, sig.digMax) + edf_set_label(h, s, sig.label.c_str()) +
                      edf_set_physical_dimension(h, s, sig.units.c_str()) !=
                  0;
    }
    for (int r = 0; r < records; ++r)
      for (int s = 0; s < static_cast<int>(signals.size()); ++s) {
        std::vector<double> buf;
        for (int k = 0, n = signals[static_cast<std::size_t>(s)].perRecord; k < n; ++k)
          buf.push_back(value(s, r * n + k));
        failures += edfwrite_physical_samples(h, buf.data()) != 0;
      }
    failures += edfclose_file(h) != 0;
    EXPECT_EQ(failures, 0) << "writing " << name;
    return path;
  }

  // EDFlib writes only continuous files, so discontinuous ones are put together here byte by byte.
  struct HandFile {
    bool bdf = false;
    bool discontinuous = true;
    std::vector<SignalSpec> signals;  // the annotation signal is added after them
    std::string recordSeconds = "1";
    std::vector<std::string> onsets;  // one per data record, as written ("+5.5")
    std::string firstRecordNote;      // an annotation besides the time-keeping one, in record 1
    std::string recordCount;          // as written; empty: the number of onsets
  };
  std::string WriteByHand(const std::string& name, const HandFile& f, std::function<int(int, int, int)> digital) {
    auto pad = [](std::string text, std::size_t width) {
      text.resize(width, ' ');
      return text;
    };
    const int annotationSamples = 40;
    const std::size_t ns = f.signals.size() + 1;
    std::string h = f.bdf ? std::string("\xFF") + "BIOSEMI" : pad("0", 8);
    h += pad("X X X X", 80) + pad("Startdate 01-JAN-1985 X X X", 80) + "01.01.8500.00.00";
    h += pad(std::to_string(256 * (ns + 1)), 8);
    h += pad(std::string(f.bdf ? "BDF+" : "EDF+") + (f.discontinuous ? "D" : "C"), 44);
    h += pad(f.recordCount.empty() ? std::to_string(f.onsets.size()) : f.recordCount, 8) + pad(f.recordSeconds, 8) +
         pad(std::to_string(ns), 4);
    auto each = [&](std::size_t width, std::function<std::string(const SignalSpec&)> of, std::string annotation) {
      for (const auto& s : f.signals) h += pad(of(s), width);
      h += pad(annotation, width);
    };
    auto number = [](double v) {
      char text[32];
      std::snprintf(text, sizeof text, "%g", v);
      return std::string(text);
    };
    each(
        16, [](auto& s) { return s.label; }, f.bdf ? "BDF Annotations" : "EDF Annotations");
    each(
        80, [](auto&) { return ""; }, "");
    each(
        8, [](auto& s) { return s.units; }, "");
    each(
        8, [&](auto& s) { return number(s.physMin); }, "-1");
    each(
        8, [&](auto& s) { return number(s.physMax); }, "1");
    each(
        8, [](auto& s) { return std::to_string(s.digMin); }, f.bdf ? "-8388608" : "-32768");
    each(
        8, [](auto& s) { return std::to_string(s.digMax); }, f.bdf ? "8388607" : "32767");
    each(
        80, [](auto&) { return ""; }, "");
    each(
        8, [](auto& s) { return std::to_string(s.perRecord); }, std::to_string(annotationSamples));
    each(
        32, [](auto&) { return ""; }, "");
    for (std::size_t r = 0; r < f.onsets.size(); ++r) {
      for (std::size_t s = 0; s < f.signals.size(); ++s)
        for (int k = 0; k < f.signals[s].perRecord; ++k)
          for (int b = 0, value = digital(static_cast<int>(s), static_cast<int>(r), k); b < (f.bdf ? 3 : 2); ++b)
            h += static_cast<char>((value >> (8 * b)) & 0xFF);
      std::string notes = f.onsets[r] + "\x14\x14" + '\0';
      if (r == 0 && !f.firstRecordNote.empty()) notes += "+0.5\x14" + f.firstRecordNote + "\x14" + '\0';
      notes.resize(static_cast<std::size_t>(annotationSamples * (f.bdf ? 3 : 2)), '\0');
      h += notes;
    }
    auto path = PathOf(name);
    std::ofstream(path, std::ios::binary) << h;
    return path;
  }

  std::filesystem::path mDir;
};

int DigitalPattern(int s, int r, int k) { return (s + 1) * 1000 + r * 100 + k * 7 - 300; }

}  // namespace

TEST_F(EdfImport, ReadsEdfAndBdfWrittenByEdfLib) {
  const struct {
    const char* name;
    int filetype;
    int digitalLimit;
    ImportOptions options;
    double secondRange;
  } cases[] = {
      {"rec.edf", EDFLIB_FILETYPE_EDFPLUS, 32768, {}, 50},
      {"rec.bdf", EDFLIB_FILETYPE_BDFPLUS, 8388608, {{}, {{2, 100.0}}, {}}, 100},
  };
  auto value = [](int s, int i) { return s == 0 ? 8 * std::sin(i * 0.1) : 20 + 10 * std::cos(i * 0.05); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<SignalSpec> signals = {
        {"Flow", "L/s", -10, 10, -c.digitalLimit, c.digitalLimit - 1, 50},
        {"Pressure", "cmH2O", -5, 50, -c.digitalLimit, c.digitalLimit - 1, 50},
    };
    auto path = WriteWithEdfLib(c.name, c.filetype, signals, 4, 50000, value);  // records of 0.5 s
    auto result = ImportRecording(path, c.options);
    ASSERT_TRUE(result) << result.ErrorMessage();
    const DataFile& f = result->file;
    ASSERT_EQ(f.ChannelCount(), 2);
    ASSERT_EQ(f.BlockCount(), 1);
    EXPECT_EQ(f.channels[0].title, L"Flow");
    EXPECT_EQ(f.channels[1].title, L"Pressure");
    const auto& block = f.blocks[0];
    EXPECT_DOUBLE_EQ(block.secsPerTick, 0.01);
    EXPECT_EQ(block.length, 200);
    EXPECT_EQ(block.channels[0].units, L"L/s");
    EXPECT_EQ(block.channels[1].units, L"cmH2O");
    EXPECT_DOUBLE_EQ(block.channels[0].range, 10);
    EXPECT_DOUBLE_EQ(block.channels[1].range, c.secondRange);
    for (int s = 0; s < 2; ++s) {
      const auto& samples = **block.channels[static_cast<std::size_t>(s)].ReadSamples();
      const double tolerance = signals[static_cast<std::size_t>(s)].Resolution() + 1e-5;
      for (int i = 0; i < 200; ++i)
        ASSERT_NEAR(samples[static_cast<std::size_t>(i)], value(s, i), tolerance) << s << "/" << i;
    }
  }
}

TEST_F(EdfImport, SkipsSignalsOfLowerRatesWithAWarning) {
  const std::vector<SignalSpec> signals = {
      {"Temp", "degC", 0, 50, -32768, 32767, 5},
      {"Flow", "L/s", -10, 10, -32768, 32767, 50},
      {"SpO2", "%", 0, 100, -32768, 32767, 10},
  };
  auto path = WriteWithEdfLib("mixed.edf", EDFLIB_FILETYPE_EDFPLUS, signals, 2, 100000,
                              [](int s, int i) { return s == 1 ? i * 0.01 : 25.0; });
  auto result = ImportEdf(path, {});
  ASSERT_TRUE(result) << result.ErrorMessage();
  ASSERT_EQ(result->file.ChannelCount(), 1);
  EXPECT_EQ(result->file.channels[0].title, L"Flow");
  EXPECT_EQ(result->file.blocks[0].length, 100);
  EXPECT_DOUBLE_EQ(result->file.blocks[0].secsPerTick, 0.02);
  ASSERT_EQ(result->warnings.size(), 1u);
  const auto& w = result->warnings[0];
  EXPECT_NE(w.find("'Temp' (5 Hz)"), std::string::npos) << w;
  EXPECT_NE(w.find("'SpO2' (10 Hz)"), std::string::npos) << w;
}

// The same bytes marked continuous go through EDFlib and marked discontinuous through our own reader:
// both must decode the samples alike, and a gap between records must split the blocks.
TEST_F(EdfImport, DiscontinuousFilesGiveOneBlockPerRunOfAdjacentRecords) {
  for (bool bdf : {false, true}) {
    SCOPED_TRACE(bdf ? "BDF" : "EDF");
    const int limit = bdf ? 8388608 : 32768;
    HandFile f;
    f.bdf = bdf;
    f.signals = {{"Flow", "L/s", -10, 10, -limit, limit - 1, 4}, {"Slow", "V", -1, 1, -limit, limit - 1, 2}};
    f.onsets = {"+0", "+1", "+2"};
    f.discontinuous = false;
    auto continuous = ImportEdf(WriteByHand("c.edf", f, DigitalPattern), {});
    f.discontinuous = true;
    auto adjacent = ImportEdf(WriteByHand("a.edf", f, DigitalPattern), {});
    ASSERT_TRUE(continuous) << continuous.ErrorMessage();
    ASSERT_TRUE(adjacent) << adjacent.ErrorMessage();
    ASSERT_EQ(adjacent->file.BlockCount(), 1);
    ASSERT_EQ(adjacent->file.ChannelCount(), 1);
    const auto& x = **continuous->file.blocks[0].channels[0].ReadSamples();
    const auto& y = **adjacent->file.blocks[0].channels[0].ReadSamples();
    ASSERT_EQ(x.size(), 12u);
    ASSERT_EQ(y.size(), 12u);
    for (std::size_t i = 0; i < x.size(); ++i) EXPECT_FLOAT_EQ(x[i], y[i]) << i;
    EXPECT_EQ(adjacent->file.blocks[0].channels[0].units, L"L/s");
    EXPECT_DOUBLE_EQ(adjacent->file.blocks[0].channels[0].range, 10);

    f.onsets = {"+0", "+1", "+5.5", "+6.5", "+10"};
    f.firstRecordNote = "cough";
    auto gaps = ImportEdf(WriteByHand("gaps.edf", f, DigitalPattern), {});
    ASSERT_TRUE(gaps) << gaps.ErrorMessage();
    const DataFile& g = gaps->file;
    ASSERT_EQ(g.BlockCount(), 3);
    const std::int64_t lengths[] = {8, 8, 4};
    const int firstRecords[] = {0, 2, 4};
    for (int b = 0; b < 3; ++b) {
      EXPECT_EQ(g.blocks[b].length, lengths[b]);
      EXPECT_DOUBLE_EQ(g.blocks[b].secsPerTick, 0.25);
      EXPECT_NEAR((**g.blocks[b].channels[0].ReadSamples())[1],
                  f.signals[0].Physical(DigitalPattern(0, firstRecords[b], 1)), 1e-5);
    }
    ASSERT_EQ(gaps->warnings.size(), 2u);
    EXPECT_NE(gaps->warnings[0].find("'Slow'"), std::string::npos) << gaps->warnings[0];
    EXPECT_NE(gaps->warnings[1].find("1 annotation was not imported"), std::string::npos) << gaps->warnings[1];

    // A file still being recorded says -1 for its record count: the records present are read.
    f.recordCount = "-1";
    auto recording = ImportEdf(WriteByHand("recording.edf", f, DigitalPattern), {});
    ASSERT_TRUE(recording) << recording.ErrorMessage();
    ASSERT_EQ(recording->file.BlockCount(), 3);
    EXPECT_EQ(recording->file.blocks[2].length, 4);
    f.recordCount.clear();
  }
}

TEST_F(EdfImport, RefusesDamagedFilesNamingThem) {
  const std::vector<SignalSpec> signals = {{"Flow", "L/s", -10, 10, -32768, 32767, 100}};
  auto good =
      WriteWithEdfLib("good.edf", EDFLIB_FILETYPE_EDFPLUS, signals, 10, 100000, [](int, int i) { return i * 0.001; });
  std::vector<std::string> damaged;

  auto truncated = PathOf("truncated.edf");
  std::filesystem::copy_file(good, truncated);
  std::filesystem::resize_file(truncated, std::filesystem::file_size(good) - 150);
  damaged.push_back(truncated);

  auto noise = PathOf("noise.edf");
  std::mt19937 random(7);
  std::string bytes(3000, '\0');
  for (auto& b : bytes) b = static_cast<char>(random());
  std::ofstream(noise, std::ios::binary) << bytes;
  damaged.push_back(noise);

  auto headerOnly = PathOf("header_only.bdf");
  std::ofstream(headerOnly, std::ios::binary) << std::string("0       ") + std::string(248, ' ');
  damaged.push_back(headerOnly);
  damaged.push_back(PathOf("missing.edf"));

  HandFile f;
  f.signals = signals;
  f.onsets = {"+0", "+1", "+3"};
  auto shortD = WriteByHand("short_d.edf", f, DigitalPattern);
  std::filesystem::resize_file(shortD, std::filesystem::file_size(shortD) - 10);
  damaged.push_back(shortD);
  f.onsets[1] = "x1";  // a record without its start time
  damaged.push_back(WriteByHand("no_onset_d.edf", f, DigitalPattern));
  f.onsets[1] = "+1";
  f.signals[0].digMax = f.signals[0].digMin;
  damaged.push_back(WriteByHand("flat_d.edf", f, DigitalPattern));

  for (const auto& path : damaged) {
    auto result = ImportRecording(path, {});
    ASSERT_FALSE(result) << path;
    EXPECT_EQ(result.ErrorMessage().rfind(path + ": ", 0), 0u) << result.ErrorMessage();
  }
  auto noOnset = ImportEdf(PathOf("no_onset_d.edf"), {});
  EXPECT_NE(noOnset.ErrorMessage().find("data record 2 has no start time"), std::string::npos)
      << noOnset.ErrorMessage();
}
