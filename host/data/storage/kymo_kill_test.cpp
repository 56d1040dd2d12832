// Saves killed with SIGKILL at random moments: the file must afterwards hold exactly the old or exactly the
// new content, and a killed first save must leave either nothing or a complete file at the path.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <random>
#include <thread>

#include "host/data/storage/kymo_storage.h"
#include "host/data/storage/kymo_test_files.h"

using namespace kymora;
using namespace kymora::storage;
using namespace kymora::storage::testing;
using Clock = std::chrono::steady_clock;

namespace {

// About 32 MB of samples, so that a save takes long enough to be hit in its middle.
constexpr int kChannels = 4;
constexpr std::int64_t kBlockLengths[] = {1'200'000, 800'000};

DataFile Big(char which) {
  DataFile f;
  for (int c = 0; c < kChannels; ++c) f.AddChannel(std::wstring(1, which) + L" channel " + std::to_wstring(c + 1));
  float sign = which == 'A' ? 1.0f : -1.0f;
  for (auto length : kBlockLengths) {
    auto b = f.AddBlock(0.001, length);
    for (int c = 0; c < kChannels; ++c) {
      Samples s(static_cast<std::size_t>(length));
      for (std::int64_t i = 0; i < length; ++i) s[i] = sign * static_cast<float>(i % 9973) * 0.5f + c;
      f.SetSamples(b, c, L"V", 5000.0, std::move(s));
    }
  }
  f.documentStreams["which"] = {static_cast<std::uint8_t>(which)};
  f.selection = {true, {0, 0}, {DataPosition::kNotSet, 1}};
  return f;
}

const DataFile& Content(char which) {
  static const DataFile a = Big('A'), b = Big('B');
  return which == 'A' ? a : b;
}

// 'A', 'B', or '?' with the difference reported as a test failure.
char Identify(const std::string& path) {
  auto loaded = LoadKymo(path);
  if (!loaded) {
    ADD_FAILURE() << loaded.ErrorMessage();
    return '?';
  }
  for (char which : {'A', 'B'})
    if (FirstDifference(*loaded, Content(which)).empty()) return which;
  ADD_FAILURE() << "neither the old nor the new content; differs from A in " << FirstDifference(*loaded, Content('A'))
                << ", from B in " << FirstDifference(*loaded, Content('B'));
  return '?';
}

// A save running in a child process. The child reports through a pipe the moment it starts saving, so
// that kill moments are measured from there and not from the fork.
struct RunningSave {
  pid_t pid = -1;
  Clock::time_point started;
};

RunningSave StartSave(const std::string& path, char which) {
  const DataFile& file = Content(which);  // built before the fork, so the child only saves
  int ready[2];
  if (::pipe(ready) != 0) return {};
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    char go = 1;
    if (::write(ready[1], &go, 1) != 1) ::_exit(4);
    auto saved = SaveKymo(path, file);
    ::_exit(saved ? 0 : 3);
  }
  ::close(ready[1]);
  char go = 0;
  if (pid > 0 && ::read(ready[0], &go, 1) != 1) ADD_FAILURE() << "the saving process did not start";
  ::close(ready[0]);
  return {pid, Clock::now()};
}

struct Ending {
  bool killed = false;
  bool savedOk = false;
};

// Kills the save `delay` after it started (if it is still running) and reaps it.
Ending KillAt(const RunningSave& save, std::chrono::microseconds delay) {
  std::this_thread::sleep_until(save.started + delay);
  ::kill(save.pid, SIGKILL);
  int status = 0;
  ::waitpid(save.pid, &status, 0);
  return {WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

std::chrono::microseconds TimeOfUnhinderedSave(const std::string& path, char which) {
  auto save = StartSave(path, which);
  int status = 0;
  ::waitpid(save.pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - save.started);
}

std::mt19937 Seeded() {
  auto seed = std::random_device{}();
  std::cout << "kill moments from seed " << seed << "\n";
  ::testing::Test::RecordProperty("seed", std::to_string(seed));
  return std::mt19937(seed);
}

}  // namespace

TEST(KymoKill, KilledSaveOverAFileLeavesTheOldOrTheNewContent) {
  TempFolder folder;
  auto path = folder.File("rec.kymo");
  ASSERT_TRUE(SaveKymo(path, Content('A')).HasValue());
  // Aim at the shorter of two unhindered saves, so that most kills land inside a save.
  auto saveTime = TimeOfUnhinderedSave(path, 'B');
  ASSERT_EQ(Identify(path), 'B');
  saveTime = std::min(saveTime, TimeOfUnhinderedSave(path, 'A'));
  ASSERT_EQ(Identify(path), 'A');
  std::cout << "one save of " << kChannels << " channels over the file takes " << saveTime.count() / 1000 << " ms\n";

  auto random = Seeded();
  char current = 'A';
  int killedOld = 0, killedNew = 0, finished = 0;
  // Eight kills inside a save; a save that outran its kill moment also counts as checked, and tightens the aim.
  for (int round = 0; round < 16 && killedOld + killedNew < 8; ++round) {
    char target = current == 'A' ? 'B' : 'A';
    std::chrono::microseconds delay(std::uniform_int_distribution<std::int64_t>(0, saveTime.count())(random));
    auto ending = KillAt(StartSave(path, target), delay);
    char now = Identify(path);
    ASSERT_NE(now, '?') << "round " << round << ", killed " << delay.count() << " us into the save";
    if (ending.killed) {
      (now == target ? killedNew : killedOld) += 1;
    } else {
      EXPECT_TRUE(ending.savedOk);
      EXPECT_EQ(now, target) << "a save that finished must have left its content";
      ++finished;
      saveTime = saveTime * 3 / 4;
    }
    current = now;
  }
  std::cout << "killed while saving: " << killedOld << " left the old content, " << killedNew << " the new; "
            << finished << " finished before the kill\n";
  EXPECT_GE(killedOld + killedNew, 6) << "too few kills landed inside a save to show anything";

  // The file stays an ordinary, writable .kymo file after all that.
  char target = current == 'A' ? 'B' : 'A';
  ASSERT_TRUE(SaveKymo(path, Content(target)).HasValue());
  EXPECT_EQ(Identify(path), target);
}

TEST(KymoKill, KilledFirstSaveLeavesNoFileOrACompleteOne) {
  TempFolder folder;
  auto saveTime = TimeOfUnhinderedSave(folder.File("measure.kymo"), 'A');
  std::filesystem::remove(folder.File("measure.kymo"));

  auto random = Seeded();
  std::uniform_int_distribution<std::int64_t> moment(0, saveTime.count() * 5 / 4);
  int absent = 0, complete = 0;
  for (int round = 0; round < 5; ++round) {
    auto name = "first" + std::to_string(round) + ".kymo";
    auto path = folder.File(name);
    auto ending = KillAt(StartSave(path, 'A'), std::chrono::microseconds(moment(random)));
    if (std::filesystem::exists(path)) {
      EXPECT_EQ(Identify(path), 'A');
      ++complete;
    } else {
      EXPECT_TRUE(ending.killed) << "a save that finished must have left its file";
      ++absent;
    }
  }
  std::cout << "killed first saves: " << absent << " left no file, " << complete << " a complete one\n";
  // Whatever else is in the folder is the temporary file of a killed save, under a name of its own; the
  // next save of that name removes it.
  for (const auto& name : folder.Names())
    EXPECT_TRUE(name.rfind("first", 0) == 0 &&
                (name.ends_with(".kymo") || name.find(".kymo.saving-") != std::string::npos))
        << name;
  for (int round = 0; round < 5; ++round) {
    auto path = folder.File("first" + std::to_string(round) + ".kymo");
    std::filesystem::remove(path);
    ASSERT_TRUE(SaveKymo(path, Content('B')).HasValue());
  }
  for (const auto& name : folder.Names()) EXPECT_TRUE(name.ends_with(".kymo")) << name;
}
