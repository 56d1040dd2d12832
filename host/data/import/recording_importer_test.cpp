#include "host/data/import/recording_importer.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace kymora;
using namespace kymora::import;

namespace {

class RecordingImport : public testing::Test {
 protected:
  void SetUp() override {
    mDir = std::filesystem::path(testing::TempDir()) /
           ("kymora_rec_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(mDir);
  }
  void TearDown() override { std::filesystem::remove_all(mDir); }
  std::string PathOf(const std::string& name) const { return (mDir / name).string(); }

  std::filesystem::path mDir;
};

float WavValue(int channel, int frame) { return channel == 0 ? 0.9f * std::sin(frame * 0.01f) : -0.25f; }

}  // namespace

TEST_F(RecordingImport, ReadsWavWrittenByLibsndfile) {
  auto path = PathOf("rec.WAV");  // the extension decides regardless of case
  SF_INFO info{};
  info.samplerate = 8000;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
  std::vector<float> frames;
  for (int i = 0; i < 1000; ++i)
    for (int c = 0; c < 2; ++c) frames.push_back(WavValue(c, i));
  ASSERT_EQ(sf_writef_float(out, frames.data(), 1000), 1000);
  sf_close(out);

  ImportOptions options;
  options.ranges[2] = 0.5;
  auto result = ImportRecording(path, options);
  ASSERT_TRUE(result) << result.ErrorMessage();
  const DataFile& f = result->file;
  ASSERT_EQ(f.ChannelCount(), 2);
  ASSERT_EQ(f.BlockCount(), 1);
  EXPECT_EQ(f.channels[0].title, L"Channel 1");
  EXPECT_EQ(f.channels[1].title, L"Channel 2");
  EXPECT_DOUBLE_EQ(f.blocks[0].secsPerTick, 1.0 / 8000);
  EXPECT_EQ(f.blocks[0].length, 1000);
  EXPECT_EQ(f.blocks[0].channels[0].units, L"V");
  EXPECT_DOUBLE_EQ(f.blocks[0].channels[0].range, 1.0);
  EXPECT_DOUBLE_EQ(f.blocks[0].channels[1].range, 0.5);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 1000; ++i)
      ASSERT_NEAR((**f.blocks[0].channels[static_cast<std::size_t>(c)].ReadSamples())[static_cast<std::size_t>(i)],
                  WavValue(c, i), 2.0 / 32768)  // writing scales by 32767, reading by 32768
          << c << "/" << i;
}

// Float samples come back exactly, however many reads the frames take, and a file cut short of what its
// header says gives the frames it holds.
TEST_F(RecordingImport, WavFramesOfEveryLengthComeBackExactly) {
  struct Case {
    int channels, frames, keepFrames;  // keepFrames < frames: the file is cut after that many
  };
  for (const Case& c : {Case{1, 1, 1}, Case{1, 65536, 65536}, Case{1, 200001, 200001}, Case{1, 70000, 66000},
                        Case{3, 65537, 65537}, Case{2, 5000, 3000}}) {
    const std::string name = std::to_string(c.channels) + "x" + std::to_string(c.frames);
    auto path = PathOf(name + ".wav");
    SF_INFO info{};
    info.samplerate = 1000;
    info.channels = c.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
    std::vector<float> frames;
    for (int i = 0; i < c.frames; ++i)
      for (int k = 0; k < c.channels; ++k) frames.push_back(static_cast<float>(i) + 0.25f * static_cast<float>(k));
    ASSERT_EQ(sf_writef_float(out, frames.data(), c.frames), c.frames);
    sf_close(out);
    const auto header = std::filesystem::file_size(path) - frames.size() * sizeof(float);
    std::filesystem::resize_file(path, header + static_cast<std::uintmax_t>(c.keepFrames * c.channels) * sizeof(float));

    auto result = ImportRecording(path, {});
    ASSERT_TRUE(result) << name << ": " << result.ErrorMessage();
    ASSERT_EQ(result->file.blocks[0].length, c.keepFrames) << name;
    for (int k = 0; k < c.channels; ++k) {
      const Samples& got = **result->file.blocks[0].channels[static_cast<std::size_t>(k)].ReadSamples();
      for (int i = 0; i < c.keepFrames; ++i)
        ASSERT_EQ(got[static_cast<std::size_t>(i)], frames[static_cast<std::size_t>(i * c.channels + k)])
            << name << ", channel " << k << ", frame " << i;
    }
  }
}

TEST_F(RecordingImport, RefusesUnknownMissingAndDamagedFilesNamingThem) {
  auto noise = PathOf("noise.wav");
  std::ofstream(noise, std::ios::binary) << "RIFF\x10\0\0\0WAVEfmt garbage that is not a format chunk";
  const std::string cases[] = {noise,
                               PathOf("missing.wav"),
                               PathOf("missing.csv"),
                               PathOf("missing.EDF"),
                               PathOf("rec.xyz"),
                               PathOf("no_extension")};
  for (const auto& path : cases) {
    auto result = ImportRecording(path, {});
    ASSERT_FALSE(result) << path;
    EXPECT_EQ(result.ErrorMessage().rfind(path + ": ", 0), 0u) << result.ErrorMessage();
  }
}

// Recordings from a public airflow study, when they are installed beside the project.
TEST(RecordingImportExtdata, ImportsProcessedAirflowRecording) {
  const char* root = std::getenv("KYMORA_EXTDATA");
  auto dir = std::filesystem::path(root ? root : "") / "airflow-recordings" / "PQ_ProcessedData";
  auto file = dir / "ProcessedCOPD_Subject01_0cmH2O_0mL.csv";
  if (!root || !std::filesystem::exists(file)) GTEST_SKIP() << "no airflow recordings at " << dir;

  auto result = ImportRecording(file.string(), {});
  ASSERT_TRUE(result) << result.ErrorMessage();
  const DataFile& f = result->file;
  const std::wstring titles[] = {L"Pressure", L"Flow", L"V_tidal", L"Inspiratory Indicies", L"Weight"};
  const std::wstring units[] = {L"cmH2O", L"L/s", L"L", L"", L"kg"};
  ASSERT_EQ(f.ChannelCount(), 5);
  ASSERT_EQ(f.BlockCount(), 1);
  for (std::size_t c = 0; c < 5; ++c) {
    EXPECT_EQ(f.channels[c].title, titles[c]);
    EXPECT_EQ(f.blocks[0].channels[c].units, units[c]);
  }
  EXPECT_DOUBLE_EQ(f.blocks[0].secsPerTick, 0.01);
  EXPECT_GT(f.blocks[0].length, 1000);
  EXPECT_TRUE(result->warnings.empty());
}

// The raw exports have irregular timing and trailing padding rows at a negative time: not importable as
// they stand, but the user must be told why.
TEST(RecordingImportExtdata, RawAirflowRecordingsAreRefusedOrWarnedAbout) {
  const char* root = std::getenv("KYMORA_EXTDATA");
  auto dir = std::filesystem::path(root ? root : "") / "airflow-recordings" / "PQ_RawData";
  auto padded = dir / "COPDTrial2023_Subject1_0cmH2O_0mL_raw.csv";
  auto irregular = dir / "COPDTrial2023_Subject1_0cmH2O_0mL.csv";
  if (!root || !std::filesystem::exists(padded) || !std::filesystem::exists(irregular))
    GTEST_SKIP() << "no raw airflow recordings at " << dir;

  auto refused = ImportRecording(padded.string(), {});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.ErrorMessage().rfind(padded.string() + ", line ", 0), 0u) << refused.ErrorMessage();
  EXPECT_NE(refused.ErrorMessage().find("the Time column must increase"), std::string::npos) << refused.ErrorMessage();

  auto warned = ImportRecording(irregular.string(), {});
  if (warned) {
    ASSERT_FALSE(warned->warnings.empty());
    EXPECT_NE(warned->warnings[0].find("irregular time steps"), std::string::npos) << warned->warnings[0];
  } else {
    EXPECT_EQ(warned.ErrorMessage().rfind(irregular.string() + ", line ", 0), 0u) << warned.ErrorMessage();
  }
}
