#include "host/ui/qt_clipboard.h"

#include <gtest/gtest.h>

using namespace kymora::ui;

TEST(HtmlOfClipboardFormat, TakesThePageBetweenItsOffsets) {
  // Header offsets count bytes from the start of the text.
  const QByteArray page = "<html><body>x</body></html>";
  QByteArray header = "Version:0.9\r\nStartHTML:0000000S\r\nEndHTML:0000000E\r\n";
  const auto start = header.size();
  header.replace("0000000S", QByteArray::number(start).rightJustified(8, '0'));
  header.replace("0000000E", QByteArray::number(start + page.size()).rightJustified(8, '0'));
  EXPECT_EQ(HtmlOfClipboardFormat(header + page + "trailing"), page);
  // Offsets beyond the text, reversed, or missing: the whole text goes.
  const QByteArray broken[] = {"StartHTML:00000010\r\nEndHTML:00009999\r\n<p>",
                               "StartHTML:00000030\r\nEndHTML:00000010\r\n", "<p>no header</p>"};
  for (const auto& b : broken) EXPECT_EQ(HtmlOfClipboardFormat(b), b);
}

TEST(MimeTypeOfFormat, KnownNamesAndOthers) {
  EXPECT_EQ(MimeTypeOfFormat("HTML Format"), "text/html");
  EXPECT_EQ(MimeTypeOfFormat("image/svg+xml"), "image/svg+xml");
  EXPECT_EQ(MimeTypeOfFormat("Rich Text Format"), "application/x-kymora;value=\"Rich Text Format\"");
}
