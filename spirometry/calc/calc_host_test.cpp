// The flow and volume calculations as the host runs them: on channels of a data file, through the host's
// readers and expression engine, stored with the file and brought back.
#include <gtest/gtest.h>

#include <cmath>

#include "host/calc/ienum_float_ex.h"
#include "host/com/memory_stream.h"
#include "host/data/iunits.h"
#include "host/expr/engine.h"
#include "spirometry/calc/calc_class_ids.h"
#include "spirometry/calc/ispiro_calculations.h"
#include "spirometry/calc/memory_source.h"
#include "spirometry/calc/sp_vol_settings.h"
#include "spirometry/extension/test_host.h"
#include "spirometry/resources/string_table.h"

using namespace Spirometry;

namespace {
constexpr double kSecsPerTick = 0.01;
constexpr std::int32_t kRaw = 0, kFlow = 1, kVolume = 2;

std::vector<float> RawVolts(std::size_t n) {
  std::vector<float> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<float>(0.8 * std::sin(static_cast<double>(i) * 0.013));
  return v;
}

std::shared_ptr<kymora::DataFile> FlowFile(std::vector<float> raw, std::wstring units = L"V", double range = 1.0) {
  auto file = std::make_shared<kymora::DataFile>();
  file->AddChannel(L"Raw flow");
  file->AddChannel(L"Flow");
  file->AddChannel(L"Volume");
  file->AddBlock(kSecsPerTick, static_cast<std::int64_t>(raw.size()));
  file->SetSamples(0, kRaw, std::move(units), range, std::move(raw));
  return file;
}

std::vector<float> ReadChannel(IChannelData* data, std::int32_t channel, std::int32_t from = 0) {
  ComPtr<IEnumFloatEx> reader;
  EXPECT_EQ(data->OpenReader(0x40001000, channel, {from, 0}, {DataPosition::kNotSet, 0}, reader.Put()), S_OK);
  std::vector<float> all, chunk(1000);
  if (!reader) return all;
  for (;;) {
    std::int32_t got = 0;
    HRESULT hr = reader->Read(1000, chunk.data(), &got);
    all.insert(all.end(), chunk.begin(), chunk.begin() + got);
    if (hr != S_OK) return all;
  }
}

std::wstring UnitsOf(IChannelData* data, std::int32_t channel) {
  ComPtr<IUnits> units;
  std::wstring text;
  if (Succeeded(data->GetUnits(0x40000000, 0, channel, units.Put())) && units) units->GetText(&text);
  return text;
}

double Preset2(double volts) { return (1.0 - 0.37 * std::fabs(volts)) * 11.79 * volts; }

class CalcHost : public ::testing::Test {
 protected:
  void SetUp() override { mRegistry = Spirometry::testing::InstallModuleClasses(); }

  // Puts a calculation of the named class on a channel with KEY=VALUE settings, applied with force.
  ComPtr<IChannelCalc> Put(kymora::HostDocument& doc, std::int32_t channel, const wchar_t* className,
                           std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> values) {
    auto cls = mRegistry->Calculations().FindByName(className);
    EXPECT_TRUE(cls);
    ComPtr<IChannelCalc> calc;
    EXPECT_EQ(doc.Data().PutCalculation(channel, cls.Get(), &calc), S_OK);
    Set(calc.Get(), values, kTrue16);
    return calc;
  }
  static HRESULT Set(IChannelCalc* calc, std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> values,
                     Bool16 force) {
    ComPtr<IPersistObject> settings;
    EXPECT_EQ(calc->GetSettings(settings.Put()), S_OK);
    auto kv = settings.As<IKeyValueSettings>();
    for (auto [key, value] : values) {
      std::wstring error;
      EXPECT_EQ(kv->SetValue(key, value, &error), S_OK) << key;
    }
    return calc->ApplySettings(settings.Get(), force);
  }
  static std::wstring Describe(IChannelCalc* calc) {
    ComPtr<IPersistObject> settings;
    calc->GetSettings(settings.Put());
    std::wstring text;
    settings.As<IKeyValueSettings>()->Describe(&text);
    return text;
  }

  ComPtr<kymora::HostRegistry> mRegistry;
};
}  // namespace

TEST_F(CalcHost, ClassesAreRegisteredUnderTheirNamesAndIds) {
  struct Case {
    const wchar_t* name;
    const wchar_t* display;
    Guid id;
    const wchar_t* enumClass;
    std::int32_t params;
  };
  for (const auto& c : {Case{L"SpFlow", L"Spirometry Flow", kSpFlowClassId, L"SpFlowEnum", 5},
                        Case{L"SpVol", L"Spirometry Volume", kSpVolClassId, L"SpVolEnum", 4}}) {
    auto cls = mRegistry->Calculations().FindById(c.id);
    ASSERT_TRUE(cls);
    std::wstring name, display;
    cls->GetName(&name);
    cls->GetDisplayName(&display);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(display, c.display);
    EXPECT_TRUE(mRegistry->Enums().FindClass(c.enumClass));
    auto fn = mRegistry->Enums().FindFunction(c.name);
    ASSERT_TRUE(fn);
    std::uint32_t accepts = 0, produces = 0;
    fn->GetKindWords(&accepts, &produces);
    EXPECT_EQ(accepts, 0x80000000u);
    EXPECT_EQ(produces, 0x80000000u);
    std::int32_t params = 0, sources = 0;
    fn->GetParamCounts(&params, &sources);
    EXPECT_EQ(params, c.params);
    EXPECT_EQ(sources, 1);
    EXPECT_EQ(fn->GetParamInfo(c.params, nullptr, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
  }
}

TEST_F(CalcHost, FlowChannelGivesTheFlowOfEverySampleAndVolumeIntegratesIt) {
  const auto raw = RawVolts(3000);
  auto doc = Spirometry::testing::MakeDocument(FlowFile(raw));
  auto flow = Put(*doc, kFlow, L"SpFlow", {{L"source", L"1"}, {L"preset", L"2"}, {L"nonlinear", L"on"}});
  auto volume = Put(*doc, kVolume, L"SpVol", {{L"source", L"2"}});
  IChannelData* data = doc->DataInterface();

  const auto flows = ReadChannel(data, kFlow);
  ASSERT_EQ(flows.size(), raw.size());
  for (std::size_t i = 0; i < raw.size(); i += 97) EXPECT_NEAR(flows[i], Preset2(raw[i]), 1e-5) << i;
  EXPECT_EQ(UnitsOf(data, kFlow), L"L/s");

  const auto volumes = ReadChannel(data, kVolume);
  ASSERT_EQ(volumes.size(), raw.size());
  double v = 0;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    v += flows[i] * kSecsPerTick;
    if (i % 97 == 0) {
      EXPECT_NEAR(volumes[i], v, 1e-5) << i;
    }
  }
  EXPECT_EQ(UnitsOf(data, kVolume), L"L");

  // Unchanged settings are not applied again; changed ones are.
  EXPECT_EQ(Set(flow.Get(), {}, kFalse16), S_FALSE);
  EXPECT_EQ(Set(flow.Get(), {{L"prefix", L"7"}}, kFalse16), S_OK);
  EXPECT_EQ(UnitsOf(data, kFlow), L"mL/s");
  EXPECT_NEAR(ReadChannel(data, kFlow)[500], 1000.0 * Preset2(raw[500]), 1e-2);
}

TEST_F(CalcHost, VolumeTakesTheLitrePrefixOfItsFlow) {
  auto doc = Spirometry::testing::MakeDocument(FlowFile(RawVolts(300)));
  IChannelData* data = doc->DataInterface();
  auto flow = Put(*doc, kFlow, L"SpFlow", {{L"source", L"1"}, {L"prefix", L"7"}});
  Put(*doc, kVolume, L"SpVol", {{L"source", L"2"}});
  EXPECT_EQ(UnitsOf(data, kVolume), L"mL") << "as it is applied";
  const float millilitres = ReadChannel(data, kVolume)[200];
  EXPECT_EQ(Set(flow.Get(), {{L"prefix", L"6"}}, kFalse16), S_OK);
  EXPECT_NEAR(ReadChannel(data, kVolume)[200], 1000.0 * millilitres, 1e-3 * std::fabs(millilitres));
  EXPECT_EQ(UnitsOf(data, kVolume), L"\u00B5L") << "when its flow changes";
}

TEST_F(CalcHost, PrefixedVoltsComeOutInLitresPerSecond) {
  auto raw = RawVolts(500);
  std::vector<float> millivolts(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) millivolts[i] = raw[i] * 1000.0f;
  auto doc = Spirometry::testing::MakeDocument(FlowFile(millivolts, L"mV", 1000.0));
  Put(*doc, kFlow, L"SpFlow", {{L"source", L"1"}, {L"preset", L"2"}, {L"nonlinear", L"on"}});
  const auto flows = ReadChannel(doc->DataInterface(), kFlow);
  ASSERT_EQ(flows.size(), raw.size());
  for (std::size_t i = 0; i < raw.size(); i += 37) EXPECT_NEAR(flows[i], Preset2(raw[i]), 1e-4) << i;
}

TEST_F(CalcHost, VolumeOfAChannelThatIsNotFlowIsNotANumber) {
  auto doc = Spirometry::testing::MakeDocument(FlowFile(RawVolts(100)));
  Put(*doc, kVolume, L"SpVol", {{L"source", L"1"}});
  for (float v : ReadChannel(doc->DataInterface(), kVolume)) ASSERT_TRUE(std::isnan(v));
}

TEST_F(CalcHost, ExpressionFunctionsComputeFlowAndVolume) {
  const auto raw = RawVolts(400);
  auto doc = Spirometry::testing::MakeDocument(FlowFile(raw));
  kymora::expr::Engine engine(doc->DataInterface(), &mRegistry->Enums());
  auto flow = engine.CompileText(L"SpFlow(Ch1, 1, 0, 40.1, 1.0)");
  ASSERT_TRUE(flow) << flow.ErrorMessage();
  auto samples = (*flow)->OpenSamples(0, 0);
  ASSERT_TRUE(samples) << samples.ErrorMessage();
  const auto flows = Spirometry::testing::ReadToEnd(samples->Get());
  ASSERT_EQ(flows.size(), raw.size());
  // Drift correction is on but the sine's ends are not quiet (2.5 % of 1 V): no line is removed.
  for (std::size_t i = 0; i < raw.size(); i += 41) EXPECT_NEAR(flows[i], 40.1 * raw[i], 1e-4) << i;

  auto volume = engine.CompileText(L"SpVol(SpFlow(Ch1, 0, 0, 2, 1), 0, 0, 1)");
  ASSERT_TRUE(volume) << volume.ErrorMessage();
  auto vs = (*volume)->OpenSamples(0, 100);
  ASSERT_TRUE(vs) << vs.ErrorMessage();
  double v = 0;
  for (std::size_t i = 0; i < 100; ++i) v += 2.0 * raw[i] * kSecsPerTick;
  float first = 0;
  std::int32_t got = 0;
  (*vs)->Read(1, &first, &got);
  EXPECT_NEAR(first, v + 2.0 * raw[100] * kSecsPerTick, 1e-5);
}

TEST_F(CalcHost, StoredSettingsSurviveANewDocument) {
  auto file = FlowFile(RawVolts(2000));
  std::wstring flowSettings, volumeSettings;
  std::vector<float> volumes;
  {
    auto doc = Spirometry::testing::MakeDocument(file);
    auto flow = Put(*doc, kFlow, L"SpFlow",
                    {{L"source", L"1"}, {L"scale", L"3.25"}, {L"noise-floor", L"0.02"}, {L"noise-clamp", L"on"}});
    auto volume = Put(*doc, kVolume, L"SpVol",
                      {{L"source", L"2"}, {L"correction", L"on"}, {L"dead-space", L"120"}, {L"ratio", L"1.1"}});
    flowSettings = Describe(flow.Get());
    volumeSettings = Describe(volume.Get());
    volumes = ReadChannel(doc->DataInterface(), kVolume);
    ASSERT_TRUE(doc->Data().StoreCalculations());
  }
  std::vector<std::wstring> messages;
  auto reopened = Spirometry::testing::MakeDocument(file, &messages);
  ComPtr<IChannelCalc> flow, volume;
  ASSERT_EQ(reopened->DataInterface()->GetChannelCalc(kFlow, flow.Put()), S_OK);
  ASSERT_EQ(reopened->DataInterface()->GetChannelCalc(kVolume, volume.Put()), S_OK);
  EXPECT_EQ(Describe(flow.Get()), flowSettings);
  EXPECT_EQ(Describe(volume.Get()), volumeSettings);
  EXPECT_EQ(ReadChannel(reopened->DataInterface(), kVolume), volumes);
  EXPECT_TRUE(messages.empty());
}

TEST_F(CalcHost, ClampedStoredSettingsBringUpTheNoticeOnce) {
  auto file = FlowFile(RawVolts(100));
  auto stored = MakeCom<SpVolSettings>();
  stored->mFlowChannel = kFlow;
  stored->mDeadSpace = 20000.0;
  auto stream = MakeCom<MemoryStream>();
  ASSERT_EQ(stored->Save(stream.Get()), S_OK);
  file->channels[kVolume].calculation = kymora::StoredCalculation{kSpVolClassId, stream->Bytes()};

  std::vector<std::pair<std::wstring, std::wstring>> boxes;
  auto doc = kymora::HostDocument::FromFile(
      file, "clamped.kymo",
      [&](const std::wstring& text, const std::wstring& caption, std::uint32_t) {
        boxes.emplace_back(text, caption);
        return 1;
      },
      nullptr);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].first, LoadString(8));
  EXPECT_EQ(boxes[0].second, L"Spirometry Volume Updated on Channel 3");
  ComPtr<IChannelCalc> volume;
  ASSERT_EQ(doc->DataInterface()->GetChannelCalc(kVolume, volume.Put()), S_OK);
  EXPECT_NE(Describe(volume.Get()).find(L"dead-space=10000"), std::wstring::npos);
  EXPECT_EQ(Set(volume.Get(), {}, kTrue16), S_OK);
  EXPECT_EQ(boxes.size(), 1u) << "told once";
}

TEST_F(CalcHost, SeekingAVolumeChannelFollowsChangesOfItsFlow) {
  const auto raw = RawVolts(50000);
  auto doc = Spirometry::testing::MakeDocument(FlowFile(raw));
  auto flow = Put(*doc, kFlow, L"SpFlow", {{L"source", L"1"}, {L"scale", L"2"}});
  Put(*doc, kVolume, L"SpVol", {{L"source", L"2"}});
  IChannelData* data = doc->DataInterface();
  const auto before = ReadChannel(data, kVolume);
  EXPECT_EQ(ReadChannel(data, kVolume, 40000), std::vector<float>(before.begin() + 40000, before.end()));

  // Another head scale: the volume's checkpoints of the old flow must not serve the new one.
  ASSERT_EQ(Set(flow.Get(), {{L"scale", L"3"}}, kFalse16), S_OK);
  const auto tail = ReadChannel(data, kVolume, 40000);
  const auto after = ReadChannel(data, kVolume);
  ASSERT_EQ(after.size(), raw.size());
  EXPECT_NEAR(after[45000], before[45000] * 1.5, 1e-3);
  EXPECT_EQ(tail, std::vector<float>(after.begin() + 40000, after.end()));
}

TEST_F(CalcHost, FlowReadersFollowSettingsReplacedWithoutBeingApplied) {
  const auto raw = RawVolts(3000);
  auto doc = Spirometry::testing::MakeDocument(FlowFile(raw));
  auto flow = Put(*doc, kFlow, L"SpFlow", {{L"source", L"1"}, {L"scale", L"2"}});
  IChannelData* data = doc->DataInterface();
  const float before = ReadChannel(data, kFlow)[500];
  ComPtr<IPersistObject> settings;
  ASSERT_EQ(flow->GetSettings(settings.Put()), S_OK);
  std::wstring error;
  ASSERT_EQ(settings.As<IKeyValueSettings>()->SetValue(L"scale", L"3", &error), S_OK);
  ASSERT_EQ(flow->ReplaceSettings(settings.Get()), S_OK);
  EXPECT_NEAR(ReadChannel(data, kFlow)[500], 1.5 * before, 1e-5);
}

TEST_F(CalcHost, VolumeRatioFromTheSelectionSwitchesTheCorrectionOn) {
  std::vector<float> raw(300);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = i < 100 ? 1.5f : -1.0f;
  auto file = FlowFile(raw);
  file->selection = {true, {0, 0}, {DataPosition::kNotSet, 0}};
  auto doc = Spirometry::testing::MakeDocument(file);
  Put(*doc, kFlow, L"SpFlow", {{L"source", L"1"}, {L"scale", L"1"}});
  auto volume = Put(*doc, kVolume, L"SpVol", {{L"source", L"2"}, {L"dead-space", L"150"}, {L"type", L"full"}});
  auto spiro = volume.As<ISpiroCalculations>();
  ASSERT_TRUE(spiro);

  std::int32_t channel = 0;
  EXPECT_EQ(spiro->GetFlowChannel(&channel), S_OK);
  EXPECT_EQ(channel, kFlow);
  EXPECT_EQ(spiro->GetOwnChannel(&channel), S_OK);
  EXPECT_EQ(channel, kVolume);
  const DataPosition selection{};
  EXPECT_EQ(spiro->ComputeRatioFromSelection(nullptr, selection, selection), E_FAIL);
  EXPECT_EQ(spiro->ComputeRatioFromSelection(doc->DataInterface(), selection, selection), S_OK);
  Bool16 on = kFalse16;
  spiro->GetVolumeCorrection(&on);
  EXPECT_EQ(on, kTrue16);
  EXPECT_NE(Describe(volume.Get()).find(L"ratio=1.37"), std::wstring::npos) << Describe(volume.Get()).c_str();

  EXPECT_EQ(spiro->SwitchOffVolumeCorrection(), S_OK);
  spiro->GetVolumeCorrection(&on);
  EXPECT_EQ(on, kFalse16);
  EXPECT_NE(Describe(volume.Get()).find(L"correction=off"), std::wstring::npos);
  // Setting the flag applies nothing: the channel still integrates without correction.
  const auto uncorrected = ReadChannel(doc->DataInterface(), kVolume);
  EXPECT_EQ(spiro->SetVolumeCorrection(kTrue16), S_OK);
  EXPECT_EQ(ReadChannel(doc->DataInterface(), kVolume), uncorrected);
}
