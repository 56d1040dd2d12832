#include "apps/kymora/spirometry_outputs.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <vector>

#include "host/com/text.h"
#include "host/frame/document_events.h"
#include "host/frame/ifile_save_as_class.h"
#include "spirometry/document/ispiro_document.h"

#ifdef KYMORA_PICTURES
#include <QGuiApplication>
#include <filesystem>
#include <memory>

#include "host/ui/picture_clipboard.h"
#endif

namespace kymora::cli {

namespace {
bool LooksLikePage(const std::string& text) { return text.rfind("<!DOCTYPE", 0) == 0 || text.rfind("<html", 0) == 0; }
}  // namespace

Status WriteThroughPartialFile(const std::string& path, const std::string& bytes) {
  const std::string partial = path + ".part";
  int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return Error{std::strerror(errno)};
  int error = 0;
  for (std::size_t done = 0; done < bytes.size() && !error;) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      error = n < 0 ? errno : EIO;
    else
      done += static_cast<std::size_t>(n);
  }
  if (!error && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (!error && std::rename(partial.c_str(), path.c_str()) != 0) error = errno;
  if (!error) return Ok();
  ::unlink(partial.c_str());
  return Error{std::strerror(error)};
}

Status WriteReportHtml(HostDocument& host, ICustomDocument* document, const std::string& path) {
  auto view = host.Frame().OpenViewOf(Spirometry::kReportViewClassId, document);
  if (!view) return Error{view.ErrorMessage()};
  HRESULT hr = (*view)->ExecuteCommand(HostCommands::kCopy);
  host.Frame().CloseView(view->Get());
  if (hr != S_OK) return Error{"the report could not be copied"};
  auto bytes = host.Clipboard().Data(kClipboardUnicodeText);
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  while (!units.empty() && units.back() == u'\0') units.pop_back();
  std::string text = ToUtf8(FromUtf16(units));
  if (!LooksLikePage(text)) return Error{text.empty() ? "the report is empty" : text};
  return WriteThroughPartialFile(path, text);
}

#ifdef KYMORA_PICTURES
namespace {
// Drawing text needs a GUI application; the command line has no screen and wants none.
std::unique_ptr<QGuiApplication> MakePictureApplication() {
  static int argc = 1;
  static char name[] = "kymora";
  static char* argv[] = {name, nullptr};
  if (QGuiApplication::instance()) return nullptr;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  return std::make_unique<QGuiApplication>(argc, argv);
}
}  // namespace
#endif

std::shared_ptr<void> KeepPictureApplication() {
#ifdef KYMORA_PICTURES
  return std::shared_ptr<QGuiApplication>(MakePictureApplication());
#else
  return nullptr;
#endif
}

Expected<std::vector<std::string>> WriteViewPictures(HostDocument& host, ICustomDocument* document,
                                                     const std::string& folder) {
#ifdef KYMORA_PICTURES
  const auto app = MakePictureApplication();
  auto pictures = MakeCom<ui::PictureClipboard>(ComPtr<MemoryClipboard>(&host.Clipboard()));
  host.UseClipboard(pictures);
  std::vector<std::string> written;
  std::string failure;
  for (const auto& [viewClass, base] : {std::pair{Spirometry::kDataViewClassId, "data-window"},
                                        std::pair{Spirometry::kFlowVolumeViewClassId, "flow-volume"}}) {
    auto view = host.Frame().OpenViewOf(viewClass, document);
    if (!view) {
      failure = view.ErrorMessage();
      break;
    }
    const HRESULT hr = (*view)->ExecuteCommand(HostCommands::kCopy);
    host.Frame().CloseView(view->Get());
    if (hr != S_OK) {
      failure = std::string("the picture of the ") + base + " view could not be drawn";
      break;
    }
    for (const auto& [format, extension] :
         {std::pair{ui::kSvgFormatName, ".svg"}, std::pair{ui::kPngFormatName, ".png"}}) {
      const auto bytes = host.Clipboard().Data(format);
      const std::string path = (std::filesystem::path(folder) / (std::string(base) + extension)).string();
      auto done = bytes.empty() ? Status(Error{"the picture is empty"})
                                : WriteThroughPartialFile(path, std::string(bytes.begin(), bytes.end()));
      if (!done) {
        failure = path + ": " + done.ErrorMessage();
        break;
      }
      written.push_back(path);
    }
    if (!failure.empty()) break;
  }
  host.UseClipboard(ComPtr<IClipboard>(&host.Clipboard()));
  if (!failure.empty()) return Error{failure};
  return written;
#else
  (void)host, (void)document, (void)folder;
  return std::vector<std::string>{};  // a build without Qt draws no pictures
#endif
}

namespace {
std::optional<std::filesystem::path> DesktopProgram() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::nullopt;
  auto program = exe.parent_path() / "kymora-gui";
  if (!std::filesystem::exists(program, ec)) return std::nullopt;
  return program;
}

// Runs the program with the arguments on Qt's offscreen platform (it shows no window) and collects what
// it writes on both streams. Made with posix_spawn: files may be analysed on several threads at once.
std::optional<int> RunOffscreen(const std::string& program, std::vector<std::string> args, std::string* output) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  std::vector<std::string> environment{"QT_QPA_PLATFORM=offscreen"};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0) environment.emplace_back(*e);
  args.insert(args.begin(), program);
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  for (auto& e : environment) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return std::nullopt;
  }
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    output->append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return std::nullopt;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
}  // namespace

std::string BrowserFailureReason(const std::string& output) {
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  const std::string own = "kymora-gui: ";
  for (const auto& line : lines)
    if (line.rfind(own, 0) == 0) return line.substr(own.size());
  if (lines.empty()) return "the browser engine did not start";
  std::string reason = "the browser engine did not start: " + lines.back();
  if (output.find("--no-sandbox") != std::string::npos) reason += kRootSandboxHint;
  return reason;
}

Expected<bool> WriteReportPdf(const std::string& htmlPath, const std::string& pdfPath) {
  const auto program = DesktopProgram();
  if (!program) return false;  // a build or installation without the desktop program has no browser engine
  std::string output;
  const auto status = RunOffscreen(program->string(), {htmlPath, "--pdf", pdfPath}, &output);
  if (!status) return Error{"the desktop program kymora-gui did not start"};
  if (*status != 0) return Error{BrowserFailureReason(output)};
  return true;
}

Status WriteReportCsv(HostDocument& host, ICustomDocument* document, const std::string& path) {
  for (const auto& cls : host.Registry().ClassObjectsOf<IFileSaveAsClass>()) {
    Guid type;
    std::wstring extension, description;
    if (Failed(cls->GetDocumentType(&type)) || type != Spirometry::kSpiroDocumentGuid) continue;
    if (Failed(cls->GetFileType(&extension, &description)) || extension != L"csv") continue;
    // Written beside the target and renamed into place, so a failed export leaves no half-written file.
    std::string partial = path + ".part";
    HRESULT hr = cls->Save(&host.Frame(), document, FromUtf8(partial).c_str());
    if (Failed(hr)) {
      std::remove(partial.c_str());
      return Error{"the CSV export failed"};
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
      const int error = errno;
      std::remove(partial.c_str());
      return Error{std::strerror(error)};
    }
    return Ok();
  }
  return Error{"no extension offers the spirometry CSV export"};
}

}  // namespace kymora::cli
