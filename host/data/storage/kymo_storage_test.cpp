#include "host/data/storage/kymo_storage.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

#include "host/data/storage/kymo_test_files.h"

using namespace kymora;
using namespace kymora::storage;
using namespace kymora::storage::testing;

namespace {

SaveOptions Chunked(std::int32_t samples) {
  SaveOptions options;
  options.chunkSamples = samples;
  return options;
}

float Bits(std::uint32_t bits) { return std::bit_cast<float>(bits); }

constexpr std::uint32_t kNaNWithPayload = 0x7FC00001u;
constexpr std::uint32_t kNegativeSignallingNaN = 0xFF800001u;
constexpr Guid kVolumeClass = Guid::Parse("{3F2A9C10-5B7E-4D21-8C33-0A1B2C3D4E5F}");
constexpr Guid kFlowClass = Guid::Parse("{0D9E8F7A-6B5C-4D3E-2F1A-0B9C8D7E6F5A}");

// Two blocks and an empty third, channels with and without data, odd floats, calculations (one with an
// empty settings stream), document streams (one empty) and a selection ending at the end of a block.
DataFile Rich() {
  DataFile f;
  f.AddChannel(L"Raw flow");
  f.AddChannel(L"Pressure \u00b5 \u2082");
  f.AddChannel(L"Volume");
  f.channels[1].calculation = StoredCalculation{kFlowClass, {}};
  f.channels[2].calculation = StoredCalculation{kVolumeClass, {1, 2, 3, 0, 255}};
  f.AddBlock(0.001, 100003);  // crosses the default chunk size, with a ragged last chunk
  f.AddBlock(1.0 / 3.0, 17);
  f.AddBlock(0.01, 0);
  Samples s(100003);
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<float>(i) * 0.25f - 7.0f;
  s[0] = 1.5f;
  s[1] = Bits(kNaNWithPayload);
  s[2] = Bits(kNegativeSignallingNaN);
  s[3] = -0.0f;
  s[4] = std::numeric_limits<float>::infinity();
  s[5] = Bits(1);  // smallest denormal
  s[65536] = std::numeric_limits<float>::quiet_NaN();
  f.SetSamples(0, 0, L"V", 2.0, s);
  f.blocks[0].channels[0].userConversion = UserConversion{0.1 + 0.2, -0.125, L"L/s"};
  f.blocks[0].channels[1].units = L"cmH\u2082O";  // units and range are kept without data too
  f.blocks[0].channels[1].range = 5.0;
  f.SetSamples(1, 1, L"\u00b5V", 0.1 + 0.2, Samples(17, -1.25f));
  f.SetSamples(2, 0, L"V", 2.0, {});  // data present, zero samples long
  f.documentStreams["Spirometry settings"] = {9, 8, 7, 0, 6};
  f.documentStreams["Empty"] = {};
  f.selection = {true, {10, 0}, {DataPosition::kNotSet, 1}};
  return f;
}

DataFile Other() {
  DataFile f;
  f.AddChannel(L"Something else");
  f.AddBlock(0.5, 300);
  f.SetSamples(0, 0, L"mV", 1.0, Samples(300, 4.0f));
  f.documentStreams["Old"] = {1};
  return f;
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) out += {digits[b >> 4], digits[b & 15], ' '};
  return out;
}

}  // namespace

TEST(KymoStorage, RoundTripKeepsEveryFieldBitForBit) {
  DataFile empty;
  empty.selection = {false, {5, 7}, {DataPosition::kNotSet, DataPosition::kNotSet}};
  DataFile channelsOnly;
  channelsOnly.AddChannel(L"A");
  channelsOnly.channels[0].calculation = StoredCalculation{kVolumeClass, {42}};
  DataFile blocksOnly;
  blocksOnly.AddBlock(0.25, 12);
  struct Case {
    const char* name;
    DataFile file;
    std::int32_t chunkSamples;
  };
  const Case cases[] = {
      {"empty", empty, kDefaultChunkSamples},
      {"rich", Rich(), kDefaultChunkSamples},
      {"rich in small chunks", Rich(), 4096},
      {"rich in chunks longer than any block", Rich(), 1 << 17},
      {"channels without blocks", channelsOnly, kDefaultChunkSamples},
      {"blocks without channels", blocksOnly, kDefaultChunkSamples},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    // A new file, and the same content saved over a file that held something else.
    auto fresh = folder.File("fresh.kymo");
    auto over = folder.File("over.kymo");
    ASSERT_TRUE(SaveKymo(over, Other()).HasValue());
    for (const auto& path : {fresh, over}) {
      auto saved = SaveKymo(path, c.file, Chunked(c.chunkSamples), nullptr);
      ASSERT_TRUE(saved.HasValue()) << saved.ErrorMessage();
      for (auto mode : {LoadMode::kAllSamples, LoadMode::kDeferSamples}) {
        auto loaded = LoadKymo(path, nullptr, mode);
        ASSERT_TRUE(loaded.HasValue()) << loaded.ErrorMessage();
        EXPECT_EQ(FirstDifference(*loaded, c.file), "") << path;
      }
    }
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"fresh.kymo", "over.kymo"}));
  }
}

TEST(KymoStorage, FileHoldsFormatWalAndLittleEndianSamples) {
  TempFolder folder;
  auto path = folder.File("rich.kymo");
  for (bool overExisting : {false, true}) {
    SCOPED_TRACE(overExisting ? "saved over an existing file" : "saved as a new file");
    if (overExisting) {
      ASSERT_TRUE(SaveKymo(path, Other()).HasValue());
    }
    ASSERT_TRUE(SaveKymo(path, Rich()).HasValue());
    // Nothing beside the file: the write-ahead log was folded in and no temporary file is left.
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"rich.kymo"});
    auto header = ReadBytes(path);
    ASSERT_GE(header.size(), 100u);
    EXPECT_EQ(header[18], 2) << "write version: WAL";
    EXPECT_EQ(header[19], 2) << "read version: WAL";

    EXPECT_EQ(QuerySql(path, "PRAGMA user_version"), std::vector<std::string>{"1"});
    EXPECT_EQ(QuerySql(path, "PRAGMA application_id"), std::vector<std::string>{std::to_string(kApplicationId)});
    EXPECT_EQ(QuerySql(path, "PRAGMA journal_mode"), std::vector<std::string>{"wal"});
    EXPECT_EQ(
        QuerySql(path, "SELECT length(samples) FROM sample_chunks WHERE block = 0 AND channel = 0 ORDER BY chunk"),
        (std::vector<std::string>{std::to_string(65536 * 4), std::to_string((100003 - 65536) * 4)}));
    auto chunk = QuerySql(path, "SELECT samples FROM sample_chunks WHERE block = 0 AND channel = 0 AND chunk = 0");
    ASSERT_EQ(chunk.size(), 1u);
    EXPECT_EQ(Hex(chunk[0].substr(0, 24)), "00 00 C0 3F 01 00 C0 7F 01 00 80 FF 00 00 00 80 00 00 80 7F 01 00 00 00 ");
    EXPECT_EQ(QuerySql(path, "SELECT ifnull(calculation_class, 'none') FROM channels ORDER BY channel"),
              (std::vector<std::string>{"none", kFlowClass.ToString(), kVolumeClass.ToString()}));
    // An empty settings stream stays an empty blob, distinct from "no calculation".
    EXPECT_EQ(QuerySql(path,
                       "SELECT iif(calculation_settings IS NULL, 'none', hex(calculation_settings)) FROM channels "
                       "ORDER BY channel"),
              (std::vector<std::string>{"none", "", "01020300FF"}));
    EXPECT_EQ(QuerySql(path, "SELECT count(*) FROM sample_chunks WHERE channel = 1"), std::vector<std::string>{"1"});
    EXPECT_EQ(QuerySql(path,
                       "SELECT printf('%d %d %!.17g %!.17g ', block, channel, conversion_scale, conversion_offset) || "
                       "shown_units FROM user_conversions"),
              std::vector<std::string>{"0 0 0.30000000000000004 -0.125 L/s"});
  }
}

// Files saved before units conversions existed have no conversion table; they load without conversions, and
// the next save adds the table.
TEST(KymoStorage, FileWithoutConversionTableLoadsWithoutConversions) {
  TempFolder folder;
  auto path = folder.File("old.kymo");
  ASSERT_TRUE(SaveKymo(path, Rich()).HasValue());
  RunSql(path, "DROP TABLE user_conversions");
  auto loaded = LoadKymo(path);
  ASSERT_TRUE(loaded.HasValue()) << loaded.ErrorMessage();
  DataFile expected = Rich();
  expected.blocks[0].channels[0].userConversion.reset();
  EXPECT_EQ(FirstDifference(*loaded, expected), "");
  loaded->blocks[1].channels[1].userConversion = UserConversion{-2.0, 1.0, L""};
  ASSERT_TRUE(SaveKymo(path, *loaded).HasValue());
  EXPECT_EQ(QuerySql(path, "SELECT block || ',' || channel FROM user_conversions"), std::vector<std::string>{"1,1"});
  EXPECT_EQ(QuerySql(path, "PRAGMA user_version"), std::vector<std::string>{"1"});
}

TEST(KymoStorage, LoadRefusesFilesItCannotTrustAndLeavesThemAlone) {
  std::mt19937 random(7);
  auto noise = [&](std::size_t n) {
    std::vector<char> bytes(n);
    for (auto& b : bytes) b = static_cast<char>(random());
    return bytes;
  };
  auto replace = [](std::vector<char> bytes) { return [bytes](const std::string& p) { WriteBytes(p, bytes); }; };
  struct Case {
    const char* name;
    std::string sql;  // run on the saved file, or
    std::function<void(const std::string&)> damage;
    const char* says;
  };
  const Case cases[] = {
      {"newer format",
       "PRAGMA user_version = 2",
       {},
       " was written by a newer version of Kymora (file format 2; this version reads up to 1)."},
      {"a CSV file", "", replace({'T', 'i', 'm', 'e', ',', 'x', '\n', '0', ',', '1', '\n'}),
       " is not a Kymora data file."},
      {"empty file", "", replace({}), " is empty"},
      {"random bytes", "", replace(noise(5000)), " is not a Kymora data file."},
      {"truncated", "",
       [](auto& p) {
         auto b = ReadBytes(p);
         b.resize(b.size() / 3);
         WriteBytes(p, b);
       },
       " is damaged"},
      {"pages overwritten", "",
       [&](auto& p) {
         auto b = ReadBytes(p), n = noise(8192);
         std::copy(n.begin(), n.end(), b.begin() + 4096);
         WriteBytes(p, b);
       },
       " is damaged"},
      {"another SQLite database", "",
       [](auto& p) {
         std::remove(p.c_str());
         RunSql(p, "CREATE TABLE t(x); INSERT INTO t VALUES (1)");
       },
       " is not a Kymora data file (it is another kind of SQLite database)."},
      {"a table missing", "DROP TABLE document_streams", {}, "lacks part of the Kymora tables"},
      {"chunk of the wrong size",
       "UPDATE sample_chunks SET samples = zeroblob(100) WHERE block = 0 AND chunk = 3",
       {},
       "block 1, channel 1: the stored chunks hold"},
      {"chunk bytes changed behind the hash",
       "UPDATE sample_chunks SET samples = zeroblob(length(samples)) WHERE block = 0 AND chunk = 3",
       {},
       "block 1, channel 1, chunk 4: the samples do not match their checksum"},
      {"chunks renumbered",
       "UPDATE sample_chunks SET chunk = 99 WHERE block = 0 AND chunk = 2",
       {},
       "block 1, channel 1, chunk 3 is missing"},
      {"negative length", "UPDATE blocks SET length = -5 WHERE block = 1", {}, "block 2 has a negative length (-5)"},
      {"length longer than the chunks",
       "UPDATE blocks SET length = length + 1 WHERE block = 1",
       {},
       "block 2, channel 2: the stored chunks hold 68 bytes in 1 chunks, but the block is 18 samples long"},
      {"chunks where there is no data",
       "UPDATE channel_blocks SET has_data = 0 WHERE block = 1",
       {},
       "block 2, channel 2: sample chunks stored where there is no data"},
      {"data flag without chunks",
       "UPDATE channel_blocks SET has_data = 1 WHERE block = 1",
       {},
       "block 2, channel 1: the sample chunks are missing"},
      {"selection outside the blocks",
       "UPDATE file_info SET selection_valid = 1, selection_end_block = 7",
       {},
       "the selection lies outside the blocks"},
      {"a channel-in-block row missing",
       "DELETE FROM channel_blocks WHERE block = 2 AND channel = 2",
       {},
       "8 channel-in-block rows where 9 are expected"},
      {"chunk size zero", "UPDATE file_info SET chunk_samples = 0", {}, "the chunk size is out of range (0)"},
      {"conversion scale zero",
       "UPDATE user_conversions SET conversion_scale = 0",
       {},
       "block 1, channel 1: the units conversion's scale must be a finite number other than 0"},
      {"conversion scale infinite",
       "UPDATE user_conversions SET conversion_scale = -1e999",
       {},
       "block 1, channel 1: the units conversion's scale must be a finite number other than 0"},
      {"conversion offset infinite",
       "UPDATE user_conversions SET conversion_offset = 1e999",
       {},
       "block 1, channel 1: the units conversion's offset must be a finite number"},
      {"conversion for a channel that does not exist",
       "UPDATE user_conversions SET channel = 3",
       {},
       "the channel of a units conversion is out of range (3)"},
      {"conversion where there is no data",
       "UPDATE user_conversions SET channel = 2",
       {},
       "block 1, channel 3: a units conversion without recorded data"},
      {"conversion table of another shape",
       "DROP TABLE user_conversions; CREATE TABLE user_conversions(x)",
       {},
       "lacks part of the Kymora tables"},
      {"a malformed class id",
       "UPDATE channels SET calculation_class = 'x' WHERE channel = 2",
       {},
       "channel 3 has a malformed calculation class id"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    auto path = folder.File("rec.kymo");
    ASSERT_TRUE(SaveKymo(path, Rich(), Chunked(4096), nullptr).HasValue());
    if (c.damage)
      c.damage(path);
    else
      RunSql(path, c.sql);
    auto before = ReadBytes(path);
    auto namesBefore = folder.Names();
    auto loaded = LoadKymo(path);
    ASSERT_FALSE(loaded.HasValue());
    EXPECT_NE(loaded.ErrorMessage().find(path), std::string::npos) << loaded.ErrorMessage();
    EXPECT_NE(loaded.ErrorMessage().find(c.says), std::string::npos) << loaded.ErrorMessage();
    EXPECT_TRUE(ReadBytes(path) == before);
    EXPECT_EQ(folder.Names(), namesBefore);
  }
  TempFolder folder;
  auto missing = LoadKymo(folder.File("none.kymo"));
  ASSERT_FALSE(missing.HasValue());
  EXPECT_EQ(missing.ErrorMessage(), "Cannot open " + folder.File("none.kymo") + ": No such file or directory.");
}

TEST(KymoStorage, SaveRefusesToReplaceWhatIsNotAKymoFile) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* says;
  };
  const Case cases[] = {
      {"a CSV file",
       [](auto& p) {
         WriteBytes(p, {'a', ',', 'b', '\n'});
       },
       " is not a Kymora data file."},
      {"an empty file", [](auto& p) { WriteBytes(p, {}); }, " is empty"},
      {"another SQLite database", [](auto& p) { RunSql(p, "CREATE TABLE t(x)"); }, "another kind of SQLite database"},
      {"a newer .kymo file",
       [](auto& p) {
         ASSERT_TRUE(SaveKymo(p, Other()).HasValue());
         RunSql(p, "PRAGMA user_version = 3");
       },
       "file format 3; this version reads up to 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    auto path = folder.File("target.kymo");
    c.make(path);
    auto before = ReadBytes(path);
    auto saved = SaveKymo(path, Rich());
    ASSERT_FALSE(saved.HasValue());
    EXPECT_NE(saved.ErrorMessage().find("Cannot save to " + path + ": "), std::string::npos) << saved.ErrorMessage();
    EXPECT_NE(saved.ErrorMessage().find(c.says), std::string::npos) << saved.ErrorMessage();
    EXPECT_TRUE(ReadBytes(path) == before);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"target.kymo"});
  }

  TempFolder folder;
  DataFile broken = Rich();
  broken.blocks[1].length = 18;  // the samples say 17
  auto refused = SaveKymo(folder.File("new.kymo"), broken);
  ASSERT_FALSE(refused.HasValue());
  EXPECT_EQ(refused.ErrorMessage(), "Cannot save " + folder.File("new.kymo") +
                                        ": block 2, channel 2: sample count differs from the block length.");
  EXPECT_TRUE(folder.Names().empty());
  auto noFolder = SaveKymo(folder.File("no/such/folder.kymo"), Rich());
  ASSERT_FALSE(noFolder.HasValue());
  EXPECT_NE(noFolder.ErrorMessage().find(folder.File("no/such/folder.kymo")), std::string::npos);
}

// Each case edits a saved file and saves it again. The counts come from the saver and, independently, from
// triggers the test puts into the file, which count every row SQLite actually inserts or deletes.
TEST(KymoStorage, SavingOverAFileRewritesOnlyChangedChunks) {
  auto base = [] {
    DataFile f;
    f.AddChannel(L"Flow");
    f.AddChannel(L"Pressure");
    f.AddBlock(0.001, 1000);
    f.AddBlock(0.001, 640);
    Samples a(1000), b(1000), c(640);
    for (int i = 0; i < 1000; ++i) a[i] = std::sin(i * 0.01f), b[i] = static_cast<float>(i);
    for (int i = 0; i < 640; ++i) c[i] = -static_cast<float>(i);
    a[5] = Bits(0x7FC00000u);
    f.SetSamples(0, 0, L"L/s", 10, a);
    f.SetSamples(0, 1, L"cmH2O", 50, b);
    f.SetSamples(1, 0, L"L/s", 10, c);
    return f;
  };
  auto edit = [](DataFile& f, std::int32_t block, std::int32_t channel, auto change) {
    auto samples = **f.blocks[block].channels[channel].ReadSamples();
    change(samples);
    f.blocks[block].length = static_cast<std::int64_t>(samples.size());
    f.blocks[block].channels[channel].SetSamples(std::make_shared<const Samples>(std::move(samples)));
  };
  struct Case {
    const char* name;
    std::function<void(DataFile&)> change;
    std::int64_t written, kept, deleted;
  };
  const Case cases[] = {
      {"nothing changed", [](DataFile&) {}, 0, 27, 0},
      {"one sample", [&](DataFile& f) { edit(f, 0, 0, [](Samples& s) { s[250] += 1; }); }, 1, 26, 0},
      {"only the payload of a NaN", [&](DataFile& f) { edit(f, 0, 0, [](Samples& s) { s[5] = Bits(0x7FC00002u); }); },
       1, 26, 0},
      {"title, units and selection only",
       [](DataFile& f) {
         f.channels[0].title = L"Renamed";
         f.blocks[0].channels[0].units = L"mL/s";
         f.selection = {true, {1, 0}, {2, 1}};
       },
       0, 27, 0},
      {"a block appended", [](DataFile& f) { f.SetSamples(f.AddBlock(0.002, 150), 0, L"L/s", 10, Samples(150, 1.0f)); },
       2, 27, 0},
      {"a channel's data removed", [](DataFile& f) { f.blocks[0].channels[1].SetSamples(nullptr); }, 0, 17, 10},
      {"a block shortened", [&](DataFile& f) { edit(f, 1, 0, [](Samples& s) { s.resize(590); }); }, 1, 25, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    auto path = folder.File("rec.kymo");
    SaveOptions options = Chunked(100);
    ASSERT_TRUE(SaveKymo(path, base(), options, nullptr).HasValue());
    RunSql(path,
           "CREATE TABLE test_counts(inserted INTEGER, deleted INTEGER); INSERT INTO test_counts VALUES (0, 0);"
           "CREATE TRIGGER test_insert AFTER INSERT ON sample_chunks BEGIN "
           "  UPDATE test_counts SET inserted = inserted + 1; END;"
           "CREATE TRIGGER test_delete AFTER DELETE ON sample_chunks BEGIN "
           "  UPDATE test_counts SET deleted = deleted + 1; END;");
    DataFile edited = base();
    c.change(edited);
    SaveStats stats;
    auto saved = SaveKymo(path, edited, options, &stats);
    ASSERT_TRUE(saved.HasValue()) << saved.ErrorMessage();
    EXPECT_EQ(stats.chunksWritten, c.written);
    EXPECT_EQ(stats.chunksKept, c.kept);
    EXPECT_EQ(stats.chunksDeleted, c.deleted);
    EXPECT_EQ(QuerySql(path, "SELECT inserted FROM test_counts"), std::vector<std::string>{std::to_string(c.written)});
    EXPECT_EQ(QuerySql(path, "SELECT deleted FROM test_counts"), std::vector<std::string>{std::to_string(c.deleted)});
    auto loaded = LoadKymo(path);
    ASSERT_TRUE(loaded.HasValue()) << loaded.ErrorMessage();
    EXPECT_EQ(FirstDifference(*loaded, edited), "");
  }
}
