#pragma once
// Help pages from the help folder that ships with the program ("help/<help file>/<topic>.html" and an
// "index.html" per help file), shown in one help window.
#include <QPointer>
#include <filesystem>
#include <optional>
#include <string>

class QTextBrowser;
class QWidget;

namespace kymora::ui {

struct HelpPage {
  std::filesystem::path file;
  bool exact = false;  // the topic's own page; false when the index stands in for a missing topic
};

// The page of a topic: its own page, else the help file's index; nothing when the help file has no index
// or a name is not a plain file name (letters, digits, '_', '-', '.', not starting with '.').
std::optional<HelpPage> FindHelpPage(const std::filesystem::path& root, const std::wstring& helpFile,
                                     const std::wstring& topic);

class HelpService {
 public:
  explicit HelpService(std::filesystem::path root) : mRoot(std::move(root)) {}
  ~HelpService();
  // S_OK the topic's page, S_FALSE the index in its place, E_INVALIDARG no such help file.
  std::int32_t Show(const std::wstring& helpFile, const std::wstring& topic);
  const std::filesystem::path& Root() const { return mRoot; }
  // The help window, once a page has been shown.
  QWidget* Window() const;

 private:
  std::filesystem::path mRoot;
  QPointer<QTextBrowser> mBrowser;
};

}  // namespace kymora::ui
