#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "apps/kymora/spirometry_standard.h"

using namespace kymora::cli;

TEST(StandardTable, AMeasureThatCouldNotBeTakenIsADash) {
  Spirometry::SpiroManoeuvreRecord m{};
  m.Measured = kTrue16;
  m.TimeZero = 1.25;
  m.Bev = 0.05;
  m.Fev1 = 2.5;
  m.Fev6 = std::nan("");  // the expiration ended before 6 s
  m.Fvc = 3.0;
  m.Fef2575 = std::numeric_limits<double>::infinity();
  m.Fet = 4.0;
  StandardResults r;
  r.manoeuvres.push_back(m);
  std::istringstream lines(StandardTableText(r, 1000.0, "m"));
  std::string line;
  while (std::getline(lines, line) && line.rfind("1 ", 0) != 0) {
  }
  std::istringstream cells(line);
  std::vector<std::string> row;
  for (std::string cell; cells >> cell && row.size() < 8;) row.push_back(cell);
  EXPECT_EQ(row, (std::vector<std::string>{"1", "1.250", "50", "2500", "-", "3000", "-", "4.00"})) << line;
}
