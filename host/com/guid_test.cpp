#include "host/com/guid.h"

#include <gtest/gtest.h>

TEST(Guid, ParsesAndPrintsTheBracedForm) {
  constexpr Guid g = Guid::Parse("{F346E2BC-9D05-4E49-9B14-70B768A43E92}");
  EXPECT_EQ(g.data1, 0xF346E2BCu);
  EXPECT_EQ(g.data2, 0x9D05);
  EXPECT_EQ(g.data3, 0x4E49);
  EXPECT_EQ(g.data4[0], 0x9B);
  EXPECT_EQ(g.data4[7], 0x92);
  EXPECT_EQ(g.ToString(), "{F346E2BC-9D05-4E49-9B14-70B768A43E92}");
  // Lower case and missing braces are accepted; printing is always upper case with braces.
  auto lower = Guid::FromString("7d3b3de4-81b3-11d3-a6e2-005004d0f872");
  ASSERT_TRUE(lower);
  EXPECT_EQ(lower->ToString(), "{7D3B3DE4-81B3-11D3-A6E2-005004D0F872}");
}

TEST(Guid, RefusesMalformedTexts) {
  for (const char* bad : {"", "{}", "{F346E2BC-9D05-4E49-9B14-70B768A43E9}", "{F346E2BC-9D05-4E49-9B14-70B768A43E92",
                          "F346E2BC-9D05-4E49-9B14-70B768A43E92}", "{F346E2BC_9D05-4E49-9B14-70B768A43E92}",
                          "{G346E2BC-9D05-4E49-9B14-70B768A43E92}", "{F346E2BC-9D05-4E49-9B1470B768A43E92-}"}) {
    EXPECT_FALSE(Guid::FromString(bad)) << bad;
  }
}
