#include "spirometry/reference/interpretation.h"

#include <gtest/gtest.h>

namespace Spirometry {
namespace {

// The rules at their boundaries: below the lower limit is z < -1.645; mild down to -2.5, moderate down to -4.
TEST(Interpretation, FollowsTheRulesAtTheirBoundaries) {
  struct Case {
    std::optional<double> fev1Z, fvcZ, ratioZ;
    char fev1Grade, fvcGrade;
    const char* text;  // empty: not interpreted
  };
  const Case cases[] = {
      {0.0, 0.0, 0.0, 'A', 'A', "within normal limits"},
      {-3.0, -1.645, -1.645, 'A', 'B', "within normal limits"},  // at the limits is not below them
      {-3.0, -1.6451, -1.0, 'A', 'A', "low FVC: possible restriction or non-specific pattern"},
      {-1.0, -1.0, -1.6451, 'A', 'A', "mild obstruction"},  // an FEV1 within normal limits is graded mild
      {-1.65, 0.0, -2.0, 'A', 'A', "mild obstruction"},
      {-2.5, 0.0, -2.0, 'A', 'A', "mild obstruction"},
      {-2.5001, 0.0, -2.0, 'A', 'A', "moderate obstruction"},
      {-4.0, 0.0, -2.0, 'A', 'A', "moderate obstruction"},
      {-4.0001, -3.0, -2.0, 'A', 'A', "severe obstruction"},  // a low ratio wins over a low FVC
      {std::nullopt, 0.0, -2.0, 'A', 'A', "obstruction"},
      {0.0, 0.0, 0.0, 'C', 'C', "within normal limits"},
      {0.0, 0.0, 0.0, 'D', 'A', "within normal limits; interpret with caution"},
      {-3.0, 0.0, -2.0, 'A', 'E', "moderate obstruction; interpret with caution"},
      {0.0, -2.0, 0.0, 'U', 'U', "low FVC: possible restriction or non-specific pattern; interpret with caution"},
      {0.0, 0.0, 0.0, 'F', 'F', "within normal limits; interpret with caution"},
      {0.0, 0.0, std::nullopt, 'A', 'A', ""},
      {0.0, std::nullopt, 0.0, 'A', 'A', ""},
  };
  for (const auto& c : cases) {
    const auto reading = Interpret({c.fev1Z, c.fvcZ, c.ratioZ, c.fev1Grade, c.fvcGrade});
    if (*c.text == '\0') {
      EXPECT_FALSE(reading);
      EXPECT_EQ(reading.reason.rfind("Not interpreted: ", 0), 0u) << reading.reason;
    } else {
      ASSERT_TRUE(reading) << c.text;
      EXPECT_EQ(reading.value->Text(), c.text);
    }
  }
}

}  // namespace
}  // namespace Spirometry
