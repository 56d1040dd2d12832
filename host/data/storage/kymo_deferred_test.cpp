// Samples left in the file by a deferred load: read when first asked for, checked as a load checks them,
// refused once another program has saved the file, and read in full before a save.
#include <gtest/gtest.h>

#include <functional>

#include "host/data/storage/kymo_storage.h"
#include "host/data/storage/kymo_test_files.h"

using namespace kymora;
using namespace kymora::storage;
using namespace kymora::storage::testing;

namespace {

constexpr std::int32_t kChunk = 1000;

// Two channels of 3500 samples: four chunks each, the last one short.
DataFile TwoChannels() {
  DataFile f;
  f.AddChannel(L"Flow");
  f.AddChannel(L"Pressure");
  f.AddBlock(0.001, 3500);
  Samples a(3500), b(3500);
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<float>(i) * 0.5f, b[i] = -static_cast<float>(i);
  f.SetSamples(0, 0, L"V", 1.0, a);
  f.SetSamples(0, 1, L"cmH2O", 10.0, b);
  return f;
}

std::string Saved(const TempFolder& folder, const DataFile& content) {
  auto path = folder.File("rec.kymo");
  SaveOptions options;
  options.chunkSamples = kChunk;
  EXPECT_TRUE(SaveKymo(path, content, options, nullptr).HasValue());
  return path;
}

// Every stored chunk, as SQLite holds it.
std::vector<std::string> Chunks(const std::string& path) {
  return QuerySql(path,
                  "SELECT block || ',' || channel || ',' || chunk || ':' || hex(samples) FROM sample_chunks "
                  "ORDER BY block, channel, chunk");
}

}  // namespace

// What happens to the file between the load and the first read decides what the read gives.
TEST(KymoDeferred, AReadGetsTheLoadedContentOrFailsSayingWhy) {
  struct Case {
    const char* name;
    std::function<void(const std::string& path)> between;
    std::string says;  // the end of the message of channel 2's read; "" when it reads
  };
  const Case cases[] = {
      {"nothing", [](auto&) {}, ""},
      {"a chunk of channel 2 damaged",
       [](auto& p) { RunSql(p, "UPDATE sample_chunks SET samples = zeroblob(4000) WHERE channel = 1 AND chunk = 2"); },
       " is damaged: block 1, channel 2, chunk 3: the samples do not match their checksum."},
      {"a chunk of channel 2 gone",
       [](auto& p) { RunSql(p, "DELETE FROM sample_chunks WHERE channel = 1 AND chunk = 3"); },
       " is damaged: block 1, channel 2: a sample chunk is missing."},
      {"saved by another program",
       [](auto& p) {
         auto other = LoadKymo(p);
         ASSERT_TRUE(other.HasValue());
         other->SetSamples(0, 1, L"cmH2O", 10.0, Samples(3500, 7.0f));
         ASSERT_TRUE(SaveKymo(p, *other).HasValue());
       },
       std::string(": ") + kChangedByAnotherProgram + "."},
      {"deleted", [](auto& p) { std::filesystem::remove(p); }, ": No such file or directory."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const DataFile content = TwoChannels();
    auto path = Saved(folder, content);
    auto loaded = LoadKymo(path, nullptr, LoadMode::kDeferSamples);
    ASSERT_TRUE(loaded.HasValue()) << loaded.ErrorMessage();
    auto first = loaded->blocks[0].channels[0].ReadSamples();  // read before the change: kept
    ASSERT_TRUE(first.HasValue()) << first.ErrorMessage();
    c.between(path);
    const DataFile copy = *loaded;  // copies share what is read
    auto second = copy.blocks[0].channels[1].ReadSamples();
    EXPECT_EQ(**first, **content.blocks[0].channels[0].ReadSamples());
    if (c.says.empty()) {
      ASSERT_TRUE(second.HasValue()) << second.ErrorMessage();
      EXPECT_EQ(**second, **content.blocks[0].channels[1].ReadSamples());
      EXPECT_FALSE(loaded->blocks[0].channels[1].Deferred());
      EXPECT_FALSE(loaded->ReadFailure());
      continue;
    }
    ASSERT_FALSE(second.HasValue());
    const std::string& message = second.ErrorMessage();
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_TRUE(message.ends_with(c.says)) << message;
    EXPECT_EQ(loaded->ReadFailure().value_or(""), message);
    // The save reads every deferred sample first, and writes nothing when one cannot be read.
    auto saved = SaveKymo(folder.File("new.kymo"), *loaded);
    ASSERT_FALSE(saved.HasValue());
    EXPECT_EQ(saved.ErrorMessage(), "Cannot save " + folder.File("new.kymo") + ": " + message);
    EXPECT_FALSE(std::filesystem::exists(folder.File("new.kymo")));
  }
}

// Saved elsewhere, deferred samples arrive bit for bit. Saved back over their own file, unchanged since the
// load, unread samples are neither read nor written: a chunk damaged behind the file's back stays as it is
// (the save did not read it), and the samples read after the save are the file's.
TEST(KymoDeferred, SavingDeferredSamplesKeepsTheirBytes) {
  TempFolder folder;
  auto path = Saved(folder, TwoChannels());
  const auto stored = Chunks(path);
  ASSERT_EQ(stored.size(), 8u);
  ChangeStamp stamp = 0;
  auto loaded = LoadKymo(path, &stamp, LoadMode::kDeferSamples);
  ASSERT_TRUE(loaded.HasValue()) << loaded.ErrorMessage();
  SaveOptions options;
  options.chunkSamples = kChunk;
  ASSERT_TRUE(SaveKymo(folder.File("copy.kymo"), *loaded, options, nullptr).HasValue());
  EXPECT_EQ(Chunks(folder.File("copy.kymo")), stored);

  auto again = LoadKymo(path, &stamp, LoadMode::kDeferSamples);
  ASSERT_TRUE(again.HasValue());
  RunSql(path, "UPDATE sample_chunks SET samples = zeroblob(4000) WHERE channel = 1 AND chunk = 2");
  const auto damaged = Chunks(path);
  options.expectedStamp = stamp;
  SaveStats stats;
  auto saved = SaveKymo(path, *again, options, &stats);
  ASSERT_TRUE(saved.HasValue()) << saved.ErrorMessage();
  EXPECT_EQ(stats.chunksKept, 8);
  EXPECT_EQ(stats.chunksWritten + stats.chunksDeleted, 0);
  EXPECT_EQ(Chunks(path), damaged);
  auto first = again->blocks[0].channels[0].ReadSamples();
  ASSERT_TRUE(first.HasValue()) << first.ErrorMessage();
  EXPECT_EQ(**first, **TwoChannels().blocks[0].channels[0].ReadSamples());
  auto second = again->blocks[0].channels[1].ReadSamples();
  ASSERT_FALSE(second.HasValue());
  EXPECT_NE(second.ErrorMessage().find("block 1, channel 2, chunk 3: the samples do not match"), std::string::npos);

  // Saved in chunks of another size, they are read first.
  const auto copy = folder.File("copy.kymo");
  auto third = LoadKymo(copy, &stamp, LoadMode::kDeferSamples);
  ASSERT_TRUE(third.HasValue());
  options.expectedStamp = stamp;
  options.chunkSamples = 2000;
  ASSERT_TRUE(SaveKymo(copy, *third, options, &stats).HasValue());
  EXPECT_EQ(stats.chunksKept, 0);
  EXPECT_EQ(FirstDifference(*LoadKymo(copy), TwoChannels()), "");
}
