// The report view and the CSV save class through the real host: a flow-head voltage made into flow and
// volume by the extension's calculations, breaths found by its detectors, the page taken from the host's
// memory clipboard and the file written through the save class.
#include "spirometry/views/report_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

#include "host/calc/ichannel_calc.h"
#include "host/calc/ikey_value_settings.h"
#include "host/com/ipersist_object.h"
#include "host/com/text.h"
#include "host/frame/document_events.h"
#include "host/frame/host_document.h"
#include "spirometry/document/document_test_host.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/extension/test_host.h"
#include "spirometry/views/csv_report.h"
#include "spirometry/views/csv_save_class_object.h"
#include "spirometry/views/report_clipboard.h"

namespace Spirometry {
namespace {

using std::numbers::pi;
constexpr std::int32_t kRaw = 0, kFlow = 1, kVolume = 2;

struct Shown {
  std::wstring text, caption;
  std::uint32_t style;
};

// At 1 kHz: quiet, three tidal breaths of 4 s (0.5 L/s peak), one forced breath (3 L in over 2 s, out over
// 1.5 s), two tidal breaths, quiet. Six breaths, the fourth forced.
std::vector<float> HeadVolts() {
  std::vector<float> flow(500, 0.0f);
  auto tidal = [&flow](int cycles) {
    for (int c = 0; c < cycles; ++c)
      for (int i = 0; i < 4000; ++i) flow.push_back(static_cast<float>(0.5 * std::sin(2.0 * pi * i / 4000.0)));
  };
  tidal(3);
  for (int i = 0; i < 2000; ++i) flow.push_back(static_cast<float>(0.75 * pi * std::sin(pi * i / 2000.0)));
  for (int i = 0; i < 1500; ++i) flow.push_back(static_cast<float>(-pi * std::sin(pi * i / 1500.0)));
  tidal(2);
  flow.insert(flow.end(), 1000, 0.0f);
  for (float& v : flow) v = static_cast<float>(v / 40.1);  // the head of preset 3
  return flow;
}

// Stands for a clipboard that another program takes between the two openings of a copy.
class SecondOpenRefused final : public ComObject<IClipboard> {
 public:
  explicit SecondOpenRefused(ComPtr<kymora::MemoryClipboard> inner) : mInner(std::move(inner)) {}
  HRESULT RegisterFormat(const wchar_t* name, std::uint32_t* format) override {
    return mInner->RegisterFormat(name, format);
  }
  HRESULT Open(std::uintptr_t owner) override { return ++mOpens == 2 ? E_FAIL : mInner->Open(owner); }
  HRESULT Empty() override { return mInner->Empty(); }
  HRESULT SetData(std::uint32_t f, const void* b, std::uint32_t n) override { return mInner->SetData(f, b, n); }
  HRESULT Close() override { return mInner->Close(); }

 private:
  ComPtr<kymora::MemoryClipboard> mInner;
  int mOpens = 0;
};

class NotSpirometry final : public ComObject<ICustomDocument> {
 public:
  HRESULT GetDocumentType(Guid* t) override { return *t = Guid{}, S_OK; }
  HRESULT OnEvent(const Guid&, std::int32_t) override { return S_FALSE; }
  HRESULT ExecuteCommand(std::uint32_t) override { return S_FALSE; }
  HRESULT UpdateCommand(std::uint32_t, Bool16*) override { return S_FALSE; }
  HRESULT HandleMessage(const void*, std::int32_t) override { return S_FALSE; }
  HRESULT GetPersistentObject(std::int32_t, IPersist** o) override { return *o = nullptr, S_FALSE; }
  HRESULT Close() override { return S_OK; }
};

template <class I>
ComPtr<I> FromSlot(FrameClass which) {
  return ComPtr<IUnknown>::Attach(FrameClassSlot(which)()).As<I>();
}

class ReportViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mRegistry = testing::InstallModuleClasses();
    for (FrameClass c : {FrameClass::kDocument, FrameClass::kCsvSave, FrameClass::kReportView}) {
      ComPtr<IUnknown> object = ComPtr<IUnknown>::Attach(FrameClassSlot(c)());
      ASSERT_TRUE(object);
      mRegistry->RegisterClassObject(object.Get());
    }
    const std::vector<float> volts = HeadVolts();
    mLength = static_cast<std::int32_t>(volts.size());
    auto file = std::make_shared<kymora::DataFile>();
    file->AddChannel(L"Raw flow");
    file->AddBlock(0.001, mLength);
    file->SetSamples(0, kRaw, L"V", 0.1, volts);
    mHost = Open(file);
    PutCalculation(kFlow, L"SpFlow", {{L"source", L"1"}, {L"preset", L"3"}});
    PutCalculation(kVolume, L"SpVol", {{L"source", L"2"}});
    Select({0, 0}, {mLength, 0});
    SpConfig s;
    s.FlowChannel = kFlow;
    s.VolumeChannel = kVolume;
    SendSettings(s);
  }
  void TearDown() override { mHost.reset(); }

  std::unique_ptr<kymora::HostDocument> Open(std::shared_ptr<kymora::DataFile> file) {
    kymora::MessageBoxFn box = [this](const std::wstring& text, const std::wstring& caption, std::uint32_t style) {
      mShown.push_back({text, caption, style});
      return 1;
    };
    return kymora::HostDocument::FromFile(std::move(file), "test.kymo", box, nullptr);
  }

  void PutCalculation(std::int32_t channel, const wchar_t* cls, std::vector<std::pair<std::wstring, std::wstring>> kv) {
    ASSERT_TRUE(testing::PutCalculationWithKeys(*mHost, channel, cls, kv));
  }
  void SendSettings(const SpConfig& v) { testing::SendSettingsMessage(*mHost, v); }
  void Select(DataPosition start, DataPosition end) { testing::SelectRange(*mHost, start, end); }

  ComPtr<ICustomDocument> Document() {
    auto doc = mHost->Frame().Document(kSpiroDocumentGuid);
    EXPECT_TRUE(doc) << (doc ? "" : doc.ErrorMessage());
    return doc ? *doc : nullptr;
  }

  ComPtr<IDocView> OpenReport() {
    auto view = mHost->Frame().OpenViewOf(kReportViewClassId, Document().Get());
    EXPECT_TRUE(view) << (view ? "" : view.ErrorMessage());
    return view ? *view : nullptr;
  }

  // The page as the Copy command leaves it on the memory clipboard.
  std::wstring CopiedText(IDocView* view) {
    EXPECT_EQ(view->ExecuteCommand(HostCommands::kCopy), S_OK);
    const std::vector<std::uint8_t> bytes = mHost->Clipboard().Data(kClipboardUnicodeText);
    std::u16string units(bytes.size() / 2, u'\0');
    if (!bytes.empty()) std::memcpy(units.data(), bytes.data(), units.size() * 2);
    EXPECT_FALSE(units.empty());
    EXPECT_EQ(units.empty() ? u'?' : units.back(), u'\0') << "the text ends with a NUL";
    if (!units.empty()) units.pop_back();
    return FromUtf16(units);
  }

  static std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // The number at the start of the first cell after a row title.
  static double RowValue(const std::wstring& page, const std::wstring& title) {
    const std::wstring cell = L"<td class=\"rowtitle\">" + title + L"</td><td>";
    const auto at = page.find(cell);
    return at == std::wstring::npos ? -1.0 : std::wcstod(page.c_str() + at + cell.size(), nullptr);
  }

  static std::size_t Count(const std::wstring& text, const std::wstring& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::wstring::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  ComPtr<kymora::HostRegistry> mRegistry;
  std::unique_ptr<kymora::HostDocument> mHost;
  std::vector<Shown> mShown;
  std::int32_t mLength = 0;
};

TEST_F(ReportViewTest, CopyGivesThePageOfTheAnalysis) {
  auto view = OpenReport();
  ASSERT_TRUE(view);
  const std::wstring page = CopiedText(view.Get());
  EXPECT_EQ(page.rfind(L"<!DOCTYPE html>", 0), 0u) << ToUtf8(page);
  EXPECT_EQ(Count(page, L"<h3>Breath"), 1u) << "non-forced breaths are left out by default";
  EXPECT_NE(page.find(L"<h3>Breath 4 (forced)</h3>"), std::wstring::npos);
  EXPECT_NE(page.find(L"<td>6 (5 non-forced)</td>"), std::wstring::npos);
  EXPECT_NE(page.find(L"<tr><td class=\"rowtitle\">Flow Channel</td><td>2</td></tr>"), std::wstring::npos);
  EXPECT_NE(page.find(L"<td>Block: 1, 0 s</td>"), std::wstring::npos);
  EXPECT_NE(page.find(L"<h3>Non-forced Breaths</h3>"), std::wstring::npos);
  EXPECT_EQ(view->ExecuteCommand(HostCommands::kPrint), S_OK) << "handled: there is no printing service to ask";
  // The forced breath: 3 L in over 2 s, out over 1.5 s with a peak of pi L/s.
  EXPECT_NEAR(RowValue(page, L"Ti"), 2.0, 0.01);
  EXPECT_NEAR(RowValue(page, L"Te"), 1.5, 0.01);
  EXPECT_NEAR(RowValue(page, L"FVC"), 3.0, 0.01);
  EXPECT_NEAR(RowValue(page, L"PEF"), pi, 0.01);
}

TEST_F(ReportViewTest, HtmlFormatHeaderCountsUtf8Bytes) {
  SpConfig s;
  s.FlowChannel = kFlow;
  s.VolumeChannel = kVolume;
  s.FlowUnitsPrefix = 6;  // µ: two bytes in UTF-8, one character in the text
  SendSettings(s);
  auto view = OpenReport();
  const std::wstring page = CopiedText(view.Get());
  ASSERT_NE(page.find(L"\u00B5L/s"), std::wstring::npos);
  const std::string utf8 = ToUtf8(page);
  ASSERT_GT(utf8.size(), page.size());
  const std::size_t L = utf8.size();
  char fields[160];
  std::snprintf(fields, sizeof fields,
                "Version:0.9\r\nStartHTML:00000097\r\nEndHTML:%08zu\r\nStartFragment:00000111\r\nEndFragment:%08zu\r\n",
                172 + L, 136 + L);
  const std::string expected = std::string(fields) + "<html><body>\r\n<!--StartFragment -->\r\n" + utf8 +
                               "\r\n<!--EndFragment-->\r\n</body>\r\n</html>" + std::string(4, '\0');
  const std::vector<std::uint8_t> bytes = mHost->Clipboard().Data(kHtmlClipboardFormatName);
  ASSERT_EQ(bytes.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(static_cast<char>(bytes[i]), expected[i]) << "byte " << i;
  // The offsets point where they say.
  const std::string html(bytes.begin(), bytes.end());
  EXPECT_EQ(html.compare(97, 6, "<html>"), 0);
  EXPECT_EQ(html.compare(111, 13, "<!--StartFrag"), 0);
  EXPECT_EQ(html.compare(136 + L, 11, "<!--EndFrag"), 0);
  EXPECT_EQ(html.size(), 172 + L + 4);
}

TEST_F(ReportViewTest, ClipboardTakenByAnotherProgram) {
  auto view = OpenReport();
  ASSERT_TRUE(view);
  // Opening for the text fails: nothing is placed and the old content stays.
  auto& clipboard = mHost->Clipboard();
  ASSERT_EQ(clipboard.Open(0), S_OK);
  clipboard.SetData(1, "old", 3);
  clipboard.Close();
  clipboard.RefuseOpens(1);
  EXPECT_TRUE(Failed(view->ExecuteCommand(HostCommands::kCopy)));
  EXPECT_TRUE(clipboard.Has(1));
  EXPECT_FALSE(clipboard.Has(kClipboardUnicodeText));

  // Opening again for the HTML fails: the text alone is placed, and the command was still carried out.
  ComPtr<kymora::MemoryClipboard> inner = MakeCom<kymora::MemoryClipboard>();
  mHost->UseClipboard(MakeCom<SecondOpenRefused>(inner));
  EXPECT_EQ(view->ExecuteCommand(HostCommands::kCopy), S_OK);
  EXPECT_FALSE(inner->Data(kClipboardUnicodeText).empty());
  EXPECT_TRUE(inner->Data(kHtmlClipboardFormatName).empty());
}

// Every host document has a clipboard of its own on the command line; the HTML must be found by name on
// each, not only on the first one a process copies to.
TEST_F(ReportViewTest, HtmlFormatOnEveryHostsClipboard) {
  auto first = OpenReport();
  ASSERT_TRUE(first);
  first->ExecuteCommand(HostCommands::kCopy);
  EXPECT_FALSE(mHost->Clipboard().Data(kHtmlClipboardFormatName).empty());
  first.Reset();
  SetUp();  // a second host document in the same process
  auto second = OpenReport();
  ASSERT_TRUE(second);
  second->ExecuteCommand(HostCommands::kCopy);
  EXPECT_FALSE(mHost->Clipboard().Data(kHtmlClipboardFormatName).empty());
}

TEST_F(ReportViewTest, RebuiltOnSelectionSettingsAndRecalculation) {
  auto view = OpenReport();
  ASSERT_TRUE(view);
  Select({4500, 0}, {mLength, 0});  // from the second tidal breath on
  const std::wstring fromSecond = CopiedText(view.Get());
  EXPECT_NE(fromSecond.find(L"<td>5 (4 non-forced)</td>"), std::wstring::npos) << ToUtf8(fromSecond);
  EXPECT_NE(fromSecond.find(L"<h3>Breath 3 (forced)</h3>"), std::wstring::npos);
  SpConfig s;
  s.FlowChannel = kFlow;
  s.VolumeChannel = kVolume;
  s.IncludeNonForced = true;
  SendSettings(s);
  const std::wstring listed = CopiedText(view.Get());
  EXPECT_EQ(Count(listed, L"<h3>Breath"), 5u);
  EXPECT_NE(listed.find(L"<h3>Breath 1</h3>"), std::wstring::npos);
  mHost->File().selection.start = {100, 0};  // changed behind the host's back: seen at the next event
  mHost->File().selection.end = {100, 0};
  mHost->Frame().RaiseHostEvent(HostEvents::kRecalculate);
  EXPECT_EQ(CopiedText(view.Get()), L"The Spirometry extension requires that a valid selection be made.");
  EXPECT_EQ(view->OnEvent(HostEvents::kDocumentEventSet, 1), S_FALSE);
  EXPECT_EQ(view->OnEvent(kSpiroDocumentGuid, 2), S_FALSE);
}

TEST_F(ReportViewTest, WithoutAValidAnalysisTheMessageStandsInForThePage) {
  struct Case {
    DataPosition start, end;
    const wchar_t* message;
  };
  const Case cases[] = {
      {{100, 0}, {100, 0}, L"The Spirometry extension requires that a valid selection be made."},
      {{0, 0}, {400, 0}, L"No valid breath cycles within the same block selected."},  // quiet only
  };
  auto view = OpenReport();
  ASSERT_TRUE(view);
  for (const Case& c : cases) {
    Select(c.start, c.end);
    EXPECT_EQ(CopiedText(view.Get()), c.message);
  }
}

class CsvSaveTest : public ReportViewTest {
 protected:
  void SetUp() override {
    ReportViewTest::SetUp();
    mFolder = std::filesystem::temp_directory_path() / ("kymora_views_" + std::to_string(::getpid()));
    std::filesystem::create_directories(mFolder);
    mSave = FromSlot<IFileSaveAsClass>(FrameClass::kCsvSave);
    ASSERT_TRUE(mSave);
    mShown.clear();
  }
  void TearDown() override {
    std::filesystem::remove_all(mFolder);
    ReportViewTest::TearDown();
  }
  HRESULT Save(ICustomDocument* document, const std::filesystem::path& path) {
    return mSave->Save(&mHost->Frame(), document, FromUtf8(path.string()).c_str());
  }

  std::filesystem::path mFolder;
  ComPtr<IFileSaveAsClass> mSave;
};

TEST_F(CsvSaveTest, WritesTheReportWithTheSharedSeparators) {
  ScopedNumberLocale comma(NumberLocale{L",", L";"});
  const auto path = mFolder / "report.csv";
  ASSERT_EQ(Save(Document().Get(), path), S_OK);
  EXPECT_TRUE(mShown.empty());
  const std::string bytes = ReadFile(path);
  EXPECT_EQ(bytes.rfind("Settings\r\nFlow;Volume;Cycle Detection Level;Forced Expiration Threshold\n"
                        "Channel 2;Channel 3;1% full range;2 x average volume\r\n\r\nSelection\r\n"
                        "Block 1 (from start of block)\nUser range\nstart (s);end (s)\n0;",
                        0),
            0u)
      << bytes;
  EXPECT_NE(bytes.find(";6\r\n\r\nnon-forced\r\nDuration (s);Breaths\n"), std::string::npos) << "six breaths";
  EXPECT_NE(bytes.find(";5\r\n\r\nNon-forced breaths\r\n"), std::string::npos) << "five of them non-forced";
  EXPECT_NE(bytes.back(), '\n');
  // The forced breath: 3 L in over 2 s (peak 0.75 pi L/s), out over 1.5 s (peak pi L/s), of which
  // 1.5 (1 - cos 120 degrees) = 2.25 L in the first second.
  const auto at = bytes.find("\n4 (forced);");
  ASSERT_NE(at, std::string::npos) << bytes;
  std::vector<std::string> cells;
  std::stringstream row(bytes.substr(at + 1, bytes.find_first_of("\r\n", at + 1) - at - 1));
  for (std::string cell; std::getline(row, cell, ';');) cells.push_back(cell);
  ASSERT_EQ(cells.size(), 12u) << bytes;
  auto number = [&cells](std::size_t i) {
    std::string text = cells[i];
    std::replace(text.begin(), text.end(), ',', '.');
    return std::stod(text);
  };
  EXPECT_EQ(cells[4], "") << "no tidal volume for a forced breath";
  const struct {
    std::size_t cell;
    double value, tolerance;
  } expected[] = {{1, 2.0, 0.01}, {2, 1.5, 0.01},    {3, 3.5, 0.01}, {5, 0.75 * pi, 0.01}, {6, 45.0 * pi, 0.5},
                  {7, pi, 0.01},  {8, 60 * pi, 0.5}, {9, 3.0, 0.01}, {10, 2.25, 0.02},     {11, 75.0, 0.5}};
  for (const auto& e : expected) EXPECT_NEAR(number(e.cell), e.value, e.tolerance) << "cell " << e.cell;
}

TEST_F(CsvSaveTest, WithoutAnAnalysisTheFileSaysWhyAndTheUserIsTold) {
  const auto path = mFolder / "report.csv";
  std::ofstream(path) << "an older report that is replaced";
  Select({100, 0}, {100, 0});
  EXPECT_EQ(Save(Document().Get(), path), static_cast<HRESULT>(0xA0048211u));
  EXPECT_EQ(ReadFile(path), "The Spirometry extension requires that a valid selection be made.\r\n");
  ASSERT_EQ(mShown.size(), 1u);
  EXPECT_EQ(mShown[0].text, L"Export Spirometry Report requires a valid Spirometry analysis.\nNo data will be saved.");
  EXPECT_EQ(mShown[0].caption, L"Spirometry Report CSV File");
  EXPECT_EQ(mShown[0].style, 0x10u);
}

TEST_F(CsvSaveTest, OtherDocumentsAndUnwritableFilesFail) {
  const auto path = mFolder / "report.csv";
  EXPECT_EQ(Save(MakeCom<NotSpirometry>().Get(), path), E_FAIL);
  EXPECT_FALSE(std::filesystem::exists(path));
  ASSERT_EQ(mShown.size(), 1u);
  EXPECT_EQ(mShown[0].text, L"Export Spirometry Report requires a valid Spirometry analysis.\nNo data will be saved.");

  const auto missing = mFolder / "no such folder" / "report.csv";
  EXPECT_EQ(Save(Document().Get(), missing), kReportFileNotWritten);
  ASSERT_EQ(mShown.size(), 2u);
  EXPECT_EQ(mShown[1].text, L"The report could not be written to the file\n" + FromUtf8(missing.string()));
  EXPECT_EQ(mShown[1].caption, L"Spirometry Report CSV File");
  EXPECT_EQ(mShown[1].style, 0x10u);
}

}  // namespace
}  // namespace Spirometry
