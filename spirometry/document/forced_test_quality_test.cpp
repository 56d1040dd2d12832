#include "spirometry/document/forced_test_quality.h"

#include <gtest/gtest.h>

#include <string>

namespace Spirometry {
namespace {

TEST(GradeOf, FollowsTheGradingTable) {
  struct Case {
    int acceptable, usable;
    double spread;
    char grade;
  };
  const Case cases[] = {{3, 3, 0.10, 'A'}, {4, 4, 0.15, 'A'}, {2, 2, 0.15, 'B'}, {3, 3, 0.16, 'C'}, {2, 3, 0.20, 'C'},
                        {2, 2, 0.25, 'D'}, {3, 3, 0.26, 'E'}, {1, 3, -1.0, 'E'}, {0, 2, -1.0, 'U'}, {0, 0, -1.0, 'F'}};
  for (const auto& c : cases)
    EXPECT_EQ(GradeOf(c.acceptable, c.usable, c.spread), c.grade) << c.acceptable << " " << c.usable << " " << c.spread;
}

// One manoeuvre as the measures describe it; the flags of a good blow unless a letter says otherwise:
// 'b' back-extrapolated volume too large, 'p' no plateau, 's' stopped within the first second, 'i' larger
// inspiration afterwards, 'n' not measured.
ForcedExpirationMeasures Blow(double fev1, double fvc, const std::string& faults = "") {
  ForcedExpirationMeasures m;
  m.measured = faults.find('n') == std::string::npos;
  m.fev1 = fev1;
  m.fvc = fvc;
  m.bevWithinLimit = faults.find('b') == std::string::npos;
  m.plateau = faults.find('p') == std::string::npos;
  m.firstSecondComplete = faults.find('s') == std::string::npos;
  m.fivcWithinLimit = faults.find('i') == std::string::npos;
  m.fet = 8.0;
  return m;
}

TEST(AssessForcedTest, JudgesEachManoeuvreThenRepeatabilityAndGrades) {
  struct Case {
    const char* name;
    std::vector<ForcedExpirationMeasures> blows;
    std::string fev1Acceptable, fvcAcceptable, usable;  // one letter per blow: y or n
    char fev1Grade, fvcGrade;
    double bestFev1, bestFvc;
  };
  const Case cases[] = {
      {"three good blows",
       {Blow(3.00, 4.00), Blow(3.10, 4.12), Blow(3.05, 4.05)},
       "yyy",
       "yyy",
       "yyy",
       'A',
       'A',
       3.10,
       4.12},
      {"short blows end when their FVC matches an earlier one",
       {Blow(3.0, 4.0, "p"), Blow(3.1, 4.1), Blow(3.0, 3.96, "p"), Blow(2.9, 3.9, "p")},
       "yyyy",
       "nyyn",
       "yyyy",
       'A',
       'B',
       3.1,
       4.1},
      {"faults at the start and afterwards",
       {Blow(3.0, 4.0, "b"), Blow(3.2, 4.3, "i"), Blow(2.5, 3.5, "s")},
       "nnn",
       "nnn",
       "nyn",
       'U',
       'U',
       3.2,
       4.3},
      {"values far apart",
       {Blow(3.0, 4.0), Blow(2.7, 3.7), Blow(1.0, 1.0, "n")},
       "yyn",
       "yyn",
       "yyn",
       'E',
       'E',
       3.0,
       4.0},
      {"nothing usable", {Blow(3.0, 4.0, "bp")}, "n", "n", "n", 'F', 'F', 0.0, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ForcedTestQuality q = AssessForcedTest(c.blows);
    ASSERT_EQ(q.manoeuvres.size(), c.blows.size());
    std::string fev1, fvc, usable;
    for (const auto& m : q.manoeuvres) {
      fev1 += m.fev1Acceptable ? 'y' : 'n';
      fvc += m.fvcAcceptable ? 'y' : 'n';
      usable += m.fev1Usable && m.fvcUsable ? 'y' : 'n';
    }
    EXPECT_EQ(fev1, c.fev1Acceptable);
    EXPECT_EQ(fvc, c.fvcAcceptable);
    EXPECT_EQ(usable, c.usable);
    EXPECT_EQ(q.fev1Grade, c.fev1Grade);
    EXPECT_EQ(q.fvcGrade, c.fvcGrade);
    EXPECT_DOUBLE_EQ(q.bestFev1, c.bestFev1);
    EXPECT_DOUBLE_EQ(q.bestFvc, c.bestFvc);
    EXPECT_EQ(q.repeatable, c.fev1Grade <= 'B' && c.fvcGrade <= 'B');
  }
}

}  // namespace
}  // namespace Spirometry
