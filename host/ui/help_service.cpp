#include "host/ui/help_service.h"

#include <QTextBrowser>
#include <QUrl>

#include "host/com/result.h"

namespace kymora::ui {

namespace {
bool PlainName(const std::wstring& name) {
  if (name.empty() || name.front() == L'.') return false;
  for (wchar_t c : name) {
    const bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' ||
                    c == L'-' || c == L'.';
    if (!ok) return false;
  }
  return true;
}
}  // namespace

std::optional<HelpPage> FindHelpPage(const std::filesystem::path& root, const std::wstring& helpFile,
                                     const std::wstring& topic) {
  if (!PlainName(helpFile)) return std::nullopt;
  const auto folder = root / helpFile;
  std::error_code ec;
  if (!topic.empty() && PlainName(topic)) {
    auto page = folder / (topic + L".html");
    if (std::filesystem::is_regular_file(page, ec)) return HelpPage{page, true};
  }
  auto index = folder / "index.html";
  if (std::filesystem::is_regular_file(index, ec)) return HelpPage{index, topic.empty()};
  return std::nullopt;
}

HelpService::~HelpService() { delete mBrowser.data(); }

QWidget* HelpService::Window() const { return mBrowser.data(); }

std::int32_t HelpService::Show(const std::wstring& helpFile, const std::wstring& topic) {
  auto page = FindHelpPage(mRoot, helpFile, topic);
  if (!page) return E_INVALIDARG;
  if (!mBrowser) {
    mBrowser = new QTextBrowser();
    mBrowser->setWindowTitle(QStringLiteral("Kymora Help"));
    mBrowser->setOpenExternalLinks(true);
    mBrowser->resize(640, 720);
  }
  mBrowser->setSource(QUrl::fromLocalFile(QString::fromStdString(page->file.string())));
  mBrowser->show();
  mBrowser->raise();
  mBrowser->activateWindow();
  return page->exact ? S_OK : S_FALSE;
}

}  // namespace kymora::ui
