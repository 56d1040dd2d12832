// The units conversion of the user from the command line: stored for the blocks asked for, refused whole
// when it cannot be used, shown by info, and never seen by what reads the recorded values.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "apps/kymora/tests/cli_runner.h"

using namespace kymora::clitest;

namespace {
std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The stored rows of the conversion table, one text per row.
std::vector<std::string> StoredConversions(const std::string& path) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  sqlite3_stmt* query = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db,
                         "SELECT printf('%d %d %!.17g %!.17g %s', block, channel, conversion_scale, "
                         "conversion_offset, shown_units) FROM user_conversions ORDER BY block, channel",
                         -1, &query, nullptr) == SQLITE_OK) {
    while (sqlite3_step(query) == SQLITE_ROW)
      rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(query, 0)));
  } else {
    ADD_FAILURE() << sqlite3_errmsg(db);
  }
  sqlite3_finalize(query);
  sqlite3_close(db);
  return rows;
}
}  // namespace

TEST(CliUnits, ConversionIsStoredRefusedWholeAndClearedPerBlock) {
  TempDir dir;
  dir.Write("r.csv", "Time (s),Raw flow (V),Pressure (cmH2O)\n0,0.5,1\n0.01,0.25,\n# block\n0,2,\n0.01,4,\n");
  const auto kymo = dir.File("r.kymo");
  ASSERT_EQ(RunKymora({"import", dir.File("r.csv"), kymo}).exitCode, 0);
  ASSERT_EQ(RunKymora({"calc", kymo, "3", "SpFlow", "source=1"}).exitCode, 0);  // a channel without recorded data

  const auto set = RunKymora({"units", kymo, "1", "--scale", "12.5", "--offset", "-0.5", "--units", "L/s"});
  ASSERT_EQ(set.exitCode, 0) << set.err;
  EXPECT_EQ(set.out,
            "Ch1 block 1: V shown as L/s = value x 12.5 - 0.5\nCh1 block 2: V shown as L/s = value x 12.5 - 0.5\n");
  const std::vector<std::string> both = {"0 0 12.5 -0.5 L/s", "1 0 12.5 -0.5 L/s"};
  EXPECT_EQ(StoredConversions(kymo), both);

  struct Refusal {
    std::vector<std::string> args;
    const char* says;
  } refusals[] = {
      {{"1", "--scale", "0", "--units", "V"}, "scale must be a finite number other than 0"},
      {{"1", "--scale", "nan", "--units", "V"}, "takes a finite number, not 'nan'"},
      {{"1", "--scale", "2", "--offset", "1e999", "--units", "V"}, "takes a finite number, not '1e999'"},
      {{"1", "--scale", "2"}, "--units"},
      {{"1", "--clear", "--scale", "2", "--units", "V"}, "excludes"},
      {{"1", "--block", "3", "--clear"}, "block 3 does not exist"},
      {{"3", "--block", "2", "--scale", "2", "--units", "Pa"}, "channel 3 has no recorded data in block 2"},
      {{"3", "--clear"}, "channel 3 has no recorded data;"},
      {{"4", "--clear"}, "channel 4 does not exist"},
  };
  const auto before = Bytes(kymo);
  for (const auto& r : refusals) {
    std::vector<std::string> args = {"units", kymo};
    args.insert(args.end(), r.args.begin(), r.args.end());
    const auto run = RunKymora(args);
    EXPECT_EQ(run.exitCode, 2) << r.says;
    EXPECT_NE(run.err.find(r.says), std::string::npos) << run.err;
    EXPECT_TRUE(Bytes(kymo) == before) << r.says;
  }

  ASSERT_EQ(RunKymora({"units", kymo, "1", "--block", "2", "--clear"}).exitCode, 0);
  EXPECT_EQ(StoredConversions(kymo), std::vector<std::string>{both[0]});
  const auto info = RunKymora({"info", kymo});
  EXPECT_NE(info.out.find("block 1 shown as L/s = value x 12.5 - 0.5"), std::string::npos) << info.out;
  // What reads the channel gets the recorded volts.
  const auto eval = RunKymora({"eval", kymo, "Ch1", "--to", "1"});
  EXPECT_EQ(eval.out, "0\t0.5\n") << eval.err;
}
