#include "spirometry/document/forced_test_quality.h"

#include <algorithm>
#include <functional>

namespace Spirometry {

namespace {
// Grade limits on the spread of the two largest acceptable values.
constexpr double kGradeCLitres = 0.200, kGradeDLitres = 0.250;
// Volumes compare with a tolerance far below any spirometer's resolution, so that 3.15 - 3.0 is within 0.150.
constexpr double kSlack = 1e-9;

// The two largest of the values; the spread between them, negative with fewer than two.
double SpreadOfTwoLargest(std::vector<double> values) {
  if (values.size() < 2) return -1.0;
  std::partial_sort(values.begin(), values.begin() + 2, values.end(), std::greater<>());
  return values[0] - values[1];
}

double Largest(const std::vector<double>& values) {
  return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}
}  // namespace

char GradeOf(int acceptable, int usable, double spread) {
  if (acceptable == 0) return usable > 0 ? 'U' : 'F';
  if (acceptable == 1) return 'E';
  if (spread <= kRepeatabilityLitres + kSlack) return acceptable >= 3 ? 'A' : 'B';
  if (spread <= kGradeCLitres + kSlack) return 'C';
  if (spread <= kGradeDLitres + kSlack) return 'D';
  return 'E';
}

ForcedTestQuality AssessForcedTest(const std::vector<ForcedExpirationMeasures>& manoeuvres) {
  ForcedTestQuality q;
  std::vector<double> acceptableFev1, acceptableFvc, usableFev1, usableFvc;
  double largestEarlierFvc = -1.0;
  for (const auto& m : manoeuvres) {
    ManoeuvreQuality& mq = q.manoeuvres.emplace_back();
    if (!m.measured) continue;
    // A short blow still ends the expiration when its FVC matches the largest one blown before it.
    const bool matchesEarlier = largestEarlierFvc >= 0.0 && m.fvc >= largestEarlierFvc - kRepeatabilityLitres - kSlack;
    mq.endOfExpiration = m.plateau || m.longExpiration || matchesEarlier;
    const bool start = m.bevWithinLimit && m.firstSecondComplete;
    mq.fev1Usable = start;
    mq.fvcUsable = start;
    mq.fev1Acceptable = start && m.fivcWithinLimit;
    mq.fvcAcceptable = mq.fev1Acceptable && mq.endOfExpiration;
    largestEarlierFvc = std::max(largestEarlierFvc, m.fvc);
    if (mq.fev1Acceptable) acceptableFev1.push_back(m.fev1);
    if (mq.fvcAcceptable) acceptableFvc.push_back(m.fvc);
    if (mq.fev1Usable) usableFev1.push_back(m.fev1);
    if (mq.fvcUsable) usableFvc.push_back(m.fvc);
  }
  q.acceptableFev1 = static_cast<int>(acceptableFev1.size());
  q.acceptableFvc = static_cast<int>(acceptableFvc.size());
  q.usableFev1 = static_cast<int>(usableFev1.size());
  q.usableFvc = static_cast<int>(usableFvc.size());
  q.fev1Spread = SpreadOfTwoLargest(acceptableFev1);
  q.fvcSpread = SpreadOfTwoLargest(acceptableFvc);
  q.repeatable = q.fev1Spread >= 0.0 && q.fvcSpread >= 0.0 && q.fev1Spread <= kRepeatabilityLitres + kSlack &&
                 q.fvcSpread <= kRepeatabilityLitres + kSlack;
  q.fev1Grade = GradeOf(q.acceptableFev1, q.usableFev1, q.fev1Spread);
  q.fvcGrade = GradeOf(q.acceptableFvc, q.usableFvc, q.fvcSpread);
  q.bestFev1 = Largest(acceptableFev1.empty() ? usableFev1 : acceptableFev1);
  q.bestFvc = Largest(acceptableFvc.empty() ? usableFvc : acceptableFvc);
  return q;
}

}  // namespace Spirometry
