#include "spirometry/document/document_test_host.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "host/calc/ikey_value_settings.h"
#include "host/com/text.h"
#include "host/frame/idoc_view.h"
#include "spirometry/document/settings_dialog_hook.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/extension/test_host.h"

namespace Spirometry::testing {

namespace {
using std::numbers::pi;

class FakeView final : public ComObject<IDocView> {
 public:
  HRESULT Setup() override { return S_OK; }
  HRESULT OnEvent(const Guid&, std::int32_t) override { return S_OK; }
  HRESULT ExecuteCommand(std::uint32_t) override { return S_FALSE; }
  HRESULT GetCommandText(std::uint32_t, std::wstring*) override { return S_FALSE; }
  HRESULT GetPreferredSize(std::int32_t* w, std::int32_t* h) override {
    *w = 300;
    *h = 200;
    return S_OK;
  }
  HRESULT Close() override { return S_OK; }
};

// Stands in for the report view, which is built elsewhere.
class FakeReportViewClass final : public ComObject<IDocViewClass> {
 public:
  HRESULT GetViewInfo(Guid* id, std::wstring* name, Guid* category) override {
    *id = kReportViewClassId;
    *name = L"Spirometry Report";
    *category = Guid{};
    return S_OK;
  }
  HRESULT CreateView(ICustomDocument*, IHostDocument*, IDocView** view) override {
    *view = MakeCom<FakeView>().Detach();
    return S_OK;
  }
};

void AppendTidal(std::vector<float>& flow, int cycles) {
  for (int c = 0; c < cycles; ++c)
    for (int i = 0; i < 4000; ++i) flow.push_back(static_cast<float>(0.5 * std::sin(2.0 * pi * i / 4000.0)));
}
}  // namespace

BreathingRecording MakeBreathingRecording(int tidalBefore, int forcedCount, int tidalBetween) {
  BreathingRecording r;
  r.flow.assign(500, 0.0f);
  AppendTidal(r.flow, tidalBefore);
  for (int f = 0; f < forcedCount; ++f) {
    const auto start = static_cast<std::int64_t>(r.flow.size());
    // 3 L in over 2 s, then 3 L out over 1.5 s with a peak of π L/s.
    for (int i = 0; i < 2000; ++i) r.flow.push_back(static_cast<float>(0.75 * pi * std::sin(pi * i / 2000.0)));
    for (int i = 0; i < 1500; ++i) r.flow.push_back(static_cast<float>(-pi * std::sin(pi * i / 1500.0)));
    r.forcedMaxVolumeTicks.push_back(start + 1999);  // the last sample of positive flow
    AppendTidal(r.flow, tidalBetween);
  }
  r.flow.insert(r.flow.end(), 1000, 0.0f);
  r.forced = forcedCount;
  r.breaths = tidalBefore + forcedCount * (1 + tidalBetween);
  return r;
}

double BreathingRecording::ExpiredWithinOneSecond(std::int64_t tick) const {
  double v = 0.0;
  for (std::int64_t j = tick + 1; j <= tick + 1000; ++j) v -= flow[static_cast<std::size_t>(j)] * kSecsPerTick;
  return v;
}

std::vector<float> BreathingRecording::Volts() const {
  std::vector<float> v(flow.size());
  for (std::size_t i = 0; i < flow.size(); ++i) v[i] = static_cast<float>(flow[i] / kHeadScale);
  return v;
}

void DocumentTestBase::SetUp() {
  mRegistry = InstallModuleClasses();
  // The entry point registers the document class after the static class objects; so does the test.
  IUnknown* docClass = FrameClassSlot(FrameClass::kDocument)();
  ASSERT_NE(docClass, nullptr);
  mRegistry->RegisterClassObject(docClass);
  docClass->Release();
  mRegistry->RegisterClassObject(static_cast<IDocViewClass*>(MakeCom<FakeReportViewClass>().Get()));
}

void DocumentTestBase::TearDown() {
  mHost.reset();
  SettingsDialogSlot() = nullptr;
}

void DocumentTestBase::Open(std::shared_ptr<kymora::DataFile> file) {
  mHost.reset();
  mMessages.clear();
  mCaptions.clear();
  kymora::MessageBoxFn box = [this](const std::wstring& text, const std::wstring& caption, std::uint32_t) {
    mMessages.push_back(text);
    mCaptions.push_back(caption);
    return 1;
  };
  mHost = kymora::HostDocument::FromFile(std::move(file), "test.kymo", box, nullptr);
}

ComPtr<ICustomDocument> DocumentTestBase::DocInterface() {
  auto doc = mHost->Frame().Document(kSpiroDocumentGuid);
  EXPECT_TRUE(doc) << (doc ? "" : doc.ErrorMessage());
  return doc ? *doc : nullptr;
}

SpiroDocument& DocumentTestBase::Doc() {
  auto* doc = SpiroDocument::FromUnknown(DocInterface().Get());
  if (!doc) throw std::runtime_error("no spirometry document");
  return *doc;
}

void SendSettingsMessage(kymora::HostDocument& host, const SpConfig& v) {
  const std::vector<MessageValue> values = {
      {L"ForcedExpThres", v.ForcedExpThres},
      {L"DetectionLevel", v.DetectionLevel},
      {L"IncludeNonForced", v.IncludeNonForced ? 1.0 : 0.0},
      {L"FlowChannel", static_cast<double>(v.FlowChannel)},
      {L"VolumeChannel", static_cast<double>(v.VolumeChannel)},
      {L"FlowUnitsPrefix", static_cast<double>(v.FlowUnitsPrefix)},
      {L"NoiseFloor", v.NoiseFloor},
      {L"ApplyNoiseFloor", v.ApplyNoiseFloor ? 1.0 : 0.0},
  };
  auto sent = host.Frame().SendScriptMessage(L"SpirometrySettings", values);
  ASSERT_TRUE(sent) << sent.ErrorMessage();
}

void SelectRange(kymora::HostDocument& host, DataPosition start, DataPosition end) {
  kymora::Selection s;
  s.valid = true;
  s.start = start;
  s.end = end;
  host.SetSelection(s);
}

ComPtr<IChannelCalc> PutCalculationWithKeys(kymora::HostDocument& host, std::int32_t channel, const wchar_t* className,
                                            const std::vector<std::pair<std::wstring, std::wstring>>& values) {
  auto cls = host.Registry().Calculations().FindByName(className);
  EXPECT_TRUE(cls);
  if (!cls) return nullptr;
  if (channel == host.File().ChannelCount()) host.File().AddChannel(className);
  ComPtr<IChannelCalc> calc;
  EXPECT_EQ(host.Data().PutCalculation(channel, cls.Get(), &calc), S_OK);
  if (!calc) return nullptr;
  ComPtr<IPersistObject> settings;
  EXPECT_EQ(calc->GetSettings(settings.Put()), S_OK);
  auto kv = settings.As<IKeyValueSettings>();
  for (const auto& [key, value] : values) {
    std::wstring error;
    EXPECT_EQ(kv->SetValue(key.c_str(), value.c_str(), &error), S_OK) << ToUtf8(error);
  }
  EXPECT_EQ(calc->ApplySettings(settings.Get(), kTrue16), S_OK);
  return calc;
}

void DocumentTestBase::SendSettings(const SpConfig& v) { SendSettingsMessage(*mHost, v); }

void DocumentTestBase::Select(DataPosition start, DataPosition end) { SelectRange(*mHost, start, end); }

ComPtr<IChannelCalc> DocumentTestBase::PutCalculation(std::int32_t channel, const wchar_t* className,
                                                      std::vector<std::pair<std::wstring, std::wstring>> values) {
  return PutCalculationWithKeys(*mHost, channel, className, values);
}

void DocumentTestBase::OpenReportView() {
  auto view = mHost->Frame().OpenViewOf(kReportViewClassId, DocInterface().Get());
  ASSERT_TRUE(view) << view.ErrorMessage();
}

void DocumentTestBase::OpenFlowHeadRecording(const BreathingRecording& recording) {
  auto file = std::make_shared<kymora::DataFile>();
  file->AddChannel(L"Raw flow");
  file->AddBlock(BreathingRecording::kSecsPerTick, static_cast<std::int64_t>(recording.flow.size()));
  file->SetSamples(0, 0, L"V", 0.1, recording.Volts());
  Open(file);
  PutCalculation(1, L"SpFlow", {{L"source", L"1"}, {L"preset", L"3"}});
  PutCalculation(2, L"SpVol", {{L"source", L"2"}});
  Select({0, 0}, {static_cast<std::int32_t>(recording.flow.size()), 0});
}

std::vector<float> IntegratedVolume(const std::vector<float>& flow, double secsPerTick) {
  std::vector<float> volume(flow.size());
  double v = 0.0;
  for (std::size_t i = 0; i < flow.size(); ++i) {
    volume[i] = static_cast<float>(v);
    v += flow[i] * secsPerTick;
  }
  return volume;
}

void DocumentTestBase::OpenFlowAndVolume(const std::vector<float>& flow, const std::vector<float>& volume,
                                         double secsPerTick, bool automatic, double forcedExpThres) {
  auto file = std::make_shared<kymora::DataFile>();
  file->AddChannel(L"Flow");
  file->AddChannel(L"Volume");
  file->AddBlock(secsPerTick, static_cast<std::int64_t>(flow.size()));
  auto largest = [](const std::vector<float>& v) {
    double m = 0.0;
    for (float x : v) m = std::max(m, std::fabs(static_cast<double>(x)));
    return m;
  };
  file->SetSamples(0, 0, L"L/s", kymora::NiceRange(largest(flow)), flow);
  file->SetSamples(0, 1, L"L", kymora::NiceRange(largest(volume)), volume);
  Open(file);
  SpConfig settings;
  settings.FlowChannel = 0;
  settings.VolumeChannel = 1;
  settings.ForcedExpThres = forcedExpThres;
  SendSettings(settings);
  Doc().UseAutomaticDetectionLevel(automatic);
  Select({0, 0}, {static_cast<std::int32_t>(flow.size()), 0});
}

std::uint32_t DocumentTestBase::LocalId(std::uint32_t local) {
  std::uint16_t index = 0;
  mHost->Frame().GetNamespaceIndex(kSpiroDocumentGuid, &index);
  return (static_cast<std::uint32_t>(index) << 16) | local;
}

}  // namespace Spirometry::testing
