#include "host/ui/message_box.h"

#include <gtest/gtest.h>

using namespace kymora::ui;

// The style word: buttons in bits 0-3 (0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore, 3 Yes/No/Cancel, 4 Yes/No,
// 5 Retry/Cancel), icon in bits 4-7 (1 stop, 2 question, 3 exclamation, 4 information), default button
// index in bits 8-11. Answers: OK 1, Cancel 2, Abort 3, Retry 4, Ignore 5, Yes 6, No 7.
TEST(LayoutOfStyle, ButtonsDefaultsEscapeAndIcons) {
  struct Case {
    std::uint32_t style;
    std::vector<int> answers;
    int def, escape;
    MessageIcon icon;
  };
  const Case cases[] = {
      {0x00, {1}, 1, 1, MessageIcon::kNone},        {0x01, {1, 2}, 1, 2, MessageIcon::kNone},
      {0x12, {3, 4, 5}, 3, 3, MessageIcon::kError}, {0x23, {6, 7, 2}, 6, 2, MessageIcon::kQuestion},
      {0x34, {6, 7}, 6, 7, MessageIcon::kWarning},  {0x45, {4, 2}, 4, 2, MessageIcon::kInformation},
      {0x104, {6, 7}, 7, 7, MessageIcon::kNone},     // second button default
      {0x203, {6, 7, 2}, 2, 2, MessageIcon::kNone},  // third button default
      {0x300, {1}, 1, 1, MessageIcon::kNone},        // a default beyond the buttons is the first
      {0x0F, {1}, 1, 1, MessageIcon::kNone},         // unknown button sets show OK
  };
  for (const auto& c : cases) {
    auto l = LayoutOfStyle(c.style);
    EXPECT_EQ(l.answers, c.answers) << std::hex << c.style;
    EXPECT_EQ(l.defaultAnswer, c.def) << std::hex << c.style;
    EXPECT_EQ(l.escapeAnswer, c.escape) << std::hex << c.style;
    EXPECT_EQ(l.icon, c.icon) << std::hex << c.style;
  }
}
