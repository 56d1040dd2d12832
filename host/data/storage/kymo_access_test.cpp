// How a .kymo file behaves among other programs and users: two writers, readers without write access, and
// temporary files that killed saves left behind.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <iostream>

#include "host/data/storage/kymo_storage.h"
#include "host/data/storage/kymo_test_files.h"

using namespace kymora;
using namespace kymora::storage;
using namespace kymora::storage::testing;

namespace {

DataFile Recording(std::int64_t samples) {
  DataFile f;
  f.AddChannel(L"Flow");
  f.AddBlock(0.001, samples);
  Samples s(static_cast<std::size_t>(samples));
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<float>(i % 1000) * 0.001f;
  f.SetSamples(0, 0, L"V", 1.0, std::move(s));
  return f;
}

SaveOptions Expecting(ChangeStamp stamp) {
  SaveOptions options;
  options.expectedStamp = stamp;
  return options;
}

bool HasChannel(const DataFile& f, const std::wstring& title) {
  for (const auto& c : f.channels)
    if (c.title == title) return true;
  return false;
}

// Runs `work` in a child process (which may change its user or its mounts first) and returns what it
// returned: "" for success, "skip: ..." when the child cannot set itself up here.
std::string InChild(const std::function<std::string()>& work) {
  int pipe[2];
  if (::pipe(pipe) != 0) return "pipe failed";
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe[0]);
    std::string result = work();
    if (!result.empty() && ::write(pipe[1], result.data(), result.size()) < 0) ::_exit(2);
    ::_exit(0);
  }
  ::close(pipe[1]);
  std::string result;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) result.append(buffer, static_cast<std::size_t>(n));
  ::close(pipe[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the child died: " + result;
  return result;
}

// As an ordinary user: root passes every permission check, so it reads as "nobody".
std::string BecomeOrdinaryUser() {
  if (::geteuid() != 0) return "";
  if (::setgid(65534) != 0 || ::setuid(65534) != 0) return "skip: cannot become another user";
  return "";
}

// The folder as a read-only mount, in a mount namespace of the child's own.
std::string MountReadOnly(const std::string& folder) {
  if (::unshare(CLONE_NEWNS) != 0) return "skip: no mount namespace here";
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
      ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
    return "skip: cannot mount here";
  return "";
}

}  // namespace

TEST(KymoAccess, ASaveRefusesToOverwriteWhatAnotherProgramSavedSinceItsLoad) {
  TempFolder folder;
  auto path = folder.File("rec.kymo");
  ASSERT_TRUE(SaveKymo(path, Recording(1000)).HasValue());
  ChangeStamp first = 0, second = 0;
  auto one = LoadKymo(path, &first), two = LoadKymo(path, &second);
  ASSERT_TRUE(one && two);
  ASSERT_EQ(first, second);

  one->AddChannel(L"added by one");
  SaveStats stats;
  ASSERT_TRUE(SaveKymo(path, *one, Expecting(first), &stats).HasValue());
  two->documentStreams["settings"] = {2};
  auto refused = SaveKymo(path, *two, Expecting(second), nullptr);
  ASSERT_FALSE(refused.HasValue());
  EXPECT_NE(refused.ErrorMessage().find(kChangedByAnotherProgram), std::string::npos) << refused.ErrorMessage();
  EXPECT_TRUE(HasChannel(*LoadKymo(path), L"added by one"));

  // The first writer goes on from the stamp its own save left; a "save as" over the file replaces it.
  one->documentStreams["settings"] = {1};
  EXPECT_TRUE(SaveKymo(path, *one, Expecting(stats.stamp), nullptr).HasValue());
  EXPECT_TRUE(SaveKymo(path, *two, SaveOptions{}, nullptr).HasValue());
  EXPECT_FALSE(HasChannel(*LoadKymo(path), L"added by one"));

  // A file written before stamps existed has stamp 0, and its first writer may save.
  RunSql(path, "DROP TABLE save_stamp");
  ChangeStamp old = -1;
  ASSERT_TRUE(LoadKymo(path, &old).HasValue());
  EXPECT_EQ(old, 0);
  EXPECT_TRUE(SaveKymo(path, *one, Expecting(old), nullptr).HasValue());
  EXPECT_FALSE(SaveKymo(path, *two, Expecting(old), nullptr).HasValue());
}

// Two processes load one file at the same moment, each makes its own change and saves. A writer told that
// its save went through must find its change in the file afterwards. The file is about
// KYMORA_TWO_WRITERS_MB megabytes (default 8; the figure worth quoting is 200, run by hand).
TEST(KymoAccess, TwoWritersNeverLoseAChange) {
  const char* size = std::getenv("KYMORA_TWO_WRITERS_MB");
  const std::int64_t megabytes = size ? std::max(1, std::atoi(size)) : 8;
  TempFolder folder;
  auto path = folder.File("big.kymo");
  ASSERT_TRUE(SaveKymo(path, Recording(megabytes * 262144)).HasValue());

  int refusals = 0, bothSaved = 0;
  for (int run = 0; run < 50; ++run) {
    int barrier[2];
    ASSERT_EQ(::pipe(barrier), 0);
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
      writers[w] = ::fork();
      if (writers[w] != 0) continue;
      char go;
      ::close(barrier[1]);
      if (::read(barrier[0], &go, 1) != 0) ::_exit(4);  // both start when the parent closes the pipe
      ChangeStamp stamp = 0;
      auto file = LoadKymo(path, &stamp);
      if (!file) ::_exit(5);
      if (w == 0)
        file->AddChannel(L"run " + std::to_wstring(run));
      else
        file->documentStreams["run"] = {static_cast<std::uint8_t>(run)};
      auto saved = SaveKymo(path, *file, Expecting(stamp), nullptr);
      if (saved) ::_exit(0);
      ::_exit(saved.ErrorMessage().find(kChangedByAnotherProgram) != std::string::npos ? 3 : 6);
    }
    ::close(barrier[0]);
    ::close(barrier[1]);
    bool saved[2];
    for (int w = 0; w < 2; ++w) {
      int status = 0;
      ::waitpid(writers[w], &status, 0);
      ASSERT_TRUE(WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3))
          << "run " << run << ", writer " << w << ": status " << status;
      saved[w] = WEXITSTATUS(status) == 0;
    }
    auto after = LoadKymo(path);
    ASSERT_TRUE(after.HasValue()) << after.ErrorMessage();
    if (saved[0]) {
      EXPECT_TRUE(HasChannel(*after, L"run " + std::to_wstring(run))) << "run " << run;
    }
    if (saved[1]) {
      EXPECT_EQ(after->documentStreams["run"], std::vector<std::uint8_t>{static_cast<std::uint8_t>(run)})
          << "run " << run;
    }
    EXPECT_TRUE(saved[0] || saved[1]) << "run " << run;
    refusals += !saved[0] + !saved[1];
    bothSaved += saved[0] && saved[1];
  }
  std::cout << megabytes << " MB: " << refusals << " saves refused, " << bothSaved << " runs where both saved\n";
}

TEST(KymoAccess, ReadingNeedsNoWriteAccessAndLeavesNothingBehind) {
  struct Case {
    const char* name;
    std::function<std::string(const std::string& folder)> setUp;  // in the child
    mode_t folderMode;
  };
  const Case cases[] = {
      {"read-only mount", MountReadOnly, 0755},
      {"folder without write access", [](const std::string&) { return BecomeOrdinaryUser(); }, 0555},
      {"another user's file in an open folder",
       [](const std::string&) { return ::geteuid() == 0 ? BecomeOrdinaryUser() : "skip: needs root"; }, 0777},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    auto path = folder.File("rec.kymo");
    const auto content = Recording(70000);
    ASSERT_TRUE(SaveKymo(path, content).HasValue());
    ASSERT_EQ(::chmod(folder.File("").c_str(), c.folderMode), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    auto result = InChild([&]() -> std::string {
      if (auto setUp = c.setUp(folder.File("")); !setUp.empty()) return setUp;
      for (auto mode : {LoadMode::kAllSamples, LoadMode::kDeferSamples}) {
        auto loaded = LoadKymo(path, nullptr, mode);
        if (!loaded) return "load: " + loaded.ErrorMessage();
        if (auto difference = FirstDifference(*loaded, content); !difference.empty()) return "differs in " + difference;
      }
      auto saved = SaveKymo(path, content);
      if (saved) return "a save went through";
      if (saved.ErrorMessage().find("cannot be written") == std::string::npos) return "save: " + saved.ErrorMessage();
      return "";
    });
    ::chmod(folder.File("").c_str(), 0755);
    if (result.rfind("skip:", 0) == 0) {
      std::cout << c.name << ": " << result << "\n";
      continue;
    }
    EXPECT_EQ(result, "");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"rec.kymo"});
  }
}

TEST(KymoAccess, LoadAndSaveRemoveOnlyTemporariesNoLiveSaveHolds) {
  for (bool save : {false, true}) {
    SCOPED_TRACE(save ? "save" : "load");
    TempFolder folder;
    auto path = folder.File("rec.kymo");
    ASSERT_TRUE(SaveKymo(path, Recording(100)).HasValue());
    for (const char* name : {"rec.kymo.saving-0badf00d", "rec.kymo.saving-0badf00d-wal", "rec.kymo.saving-1234abcd-shm",
                             "rec.kymo.saving-11ae0001", "rec.kymo.saving-notours", "rec.kymo.saving-0badf00d.txt",
                             "other.kymo.saving-0badf00d"})
      WriteBytes(folder.File(name), {'x'});
    // A save in progress holds its temporary file locked.
    int live = ::open(folder.File("rec.kymo.saving-11ae0001").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    if (save)
      ASSERT_TRUE(SaveKymo(path, Recording(200)).HasValue());
    else
      ASSERT_TRUE(LoadKymo(path).HasValue());
    ::close(live);
    EXPECT_EQ(folder.Names(),
              (std::vector<std::string>{"other.kymo.saving-0badf00d", "rec.kymo", "rec.kymo.saving-0badf00d.txt",
                                        "rec.kymo.saving-11ae0001", "rec.kymo.saving-notours"}));
  }
}
