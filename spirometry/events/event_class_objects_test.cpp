// The class objects of the breath detectors as the host sees them: class records, parameter tables,
// source checks, creation (plain and aggregated), settings text, and expressions compiled by the host's
// engine.
#include <gtest/gtest.h>

#include <cfloat>

#include "host/expr/iexpression_engine.h"
#include "spirometry/events/event_test_support.h"
#include "spirometry/events/sp_breath_event_enumerator.h"
#include "spirometry/events/sp_flow_enumerator.h"
#include "spirometry/events/sp_vol_enumerator.h"
#include "spirometry/extension/test_host.h"

namespace Spirometry::testing {
namespace {

struct ParamRow {
  const wchar_t* name;
  std::int32_t kind;
};
struct ClassCase {
  std::vector<std::wstring> functions;
  const wchar_t* className;
  const wchar_t* description;
  std::vector<ParamRow> params;
  std::int32_t sources;
};

TEST(EventClassObjects, AnswerTheEngineFromTheirTables) {
  auto registry = InstallModuleClasses();
  const ClassCase cases[] = {
      {{L"SPEEFlow"},
       L"SPEventEnumFlow",
       L"Finds Spirometry Flow Events",
       {{L"Source", ParamKind::kChannel}, {L"Height", ParamKind::kNumber}},
       1},
      {{L"SPEEVol"},
       L"SPEventEnumVol",
       L"Calculates Spirometry Volume Events",
       {{L"Volume Source", ParamKind::kChannel}, {L"Flow Event Source", ParamKind::kEvent}},
       2},
      {{L"SpBreathEvent", L"SpBreathEventEx"},
       L"SpBreathEventEnum3",
       L"Finds Spirometry Flow Events",
       {{L"Flow Source", ParamKind::kChannel}, {L"Vol Source", ParamKind::kChannel}, {L"mHeight", ParamKind::kNumber}},
       2},
      {{L"SpTidVol"},
       L"SpTidalVolume",
       L"Measures tidal volume from a respiratory flow signal.",
       {{L"Tick Source", ParamKind::kChannel}, {L"Height", ParamKind::kNumber}},
       1},
      {{L"SpTidVolExp"},
       L"SpTidalVolumeExpiratory",
       L"Measures tidal volume from a expiratory-only respiratory flow signal.",
       {{L"Tick Source", ParamKind::kChannel}, {L"Event Source", ParamKind::kEvent}},
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.functions[0].begin(), c.functions[0].end()));
    auto fn = registry->Enums().FindFunction(c.functions[0]);
    ASSERT_TRUE(fn);
    EXPECT_EQ(registry->Enums().FindClass(c.className).Get(), static_cast<ICalcEnumClass*>(fn.Get()));
    std::wstring name, description;
    Guid category;
    ASSERT_EQ(fn->GetClassRecord(&name, &description, &category), S_OK);
    EXPECT_EQ(name, c.className);
    EXPECT_EQ(description, c.description);
    std::int32_t count = 0;
    fn->GetFunctionNameCount(&count);
    ASSERT_EQ(count, static_cast<std::int32_t>(c.functions.size()));
    for (std::int32_t i = 0; i < count; ++i) {
      fn->GetFunctionName(i, &name);
      EXPECT_EQ(name, c.functions[static_cast<std::size_t>(i)]);
      EXPECT_EQ(registry->Enums().FindFunction(name), fn);
    }
    EXPECT_EQ(fn->GetFunctionName(count, &name), E_INVALIDARG);
    std::int32_t params = 0, sources = 0;
    fn->GetParamCounts(&params, &sources);
    EXPECT_EQ(params, static_cast<std::int32_t>(c.params.size()));
    EXPECT_EQ(sources, c.sources);
    for (std::int32_t i = 0; i < params; ++i) {
      std::int32_t kind = 0;
      double lo = -1, hi = -1;
      ASSERT_EQ(fn->GetParamInfo(i, &name, &kind, nullptr, &lo, &hi), S_OK);
      EXPECT_EQ(name, c.params[static_cast<std::size_t>(i)].name);
      EXPECT_EQ(kind, c.params[static_cast<std::size_t>(i)].kind);
      if (kind == ParamKind::kNumber) {
        EXPECT_EQ(lo, 0.0);
        EXPECT_EQ(hi, DBL_MAX);
      } else {
        // Channels accept samples only, event sources events only.
        const std::uint32_t wanted = kind == ParamKind::kChannel ? CalcKind::kSamples : CalcKind::kEvents;
        const std::uint32_t other = kind == ParamKind::kChannel ? CalcKind::kEvents : CalcKind::kSamples;
        EXPECT_EQ(fn->CheckSource(i, wanted), S_OK);
        EXPECT_EQ(fn->CheckSource(i, other), S_FALSE);
      }
    }
    EXPECT_EQ(fn->GetParamInfo(params, &name, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(fn->CheckSource(sources, CalcKind::kSamples), E_INVALIDARG);
    std::uint32_t accepts = 0, produces = 0;
    fn->GetKindWords(&accepts, &produces);
    EXPECT_EQ(accepts, 0xA0000000u);
    EXPECT_EQ(produces, 0x40000000u);

    ComPtr<ICalcEnum> calc;
    ASSERT_EQ(fn->CreateInstance(nullptr, ICalcEnum::kIid, calc.PutVoid()), S_OK);
    std::uint32_t kind = 0;
    calc->GetOutputKind(&kind);
    EXPECT_EQ(kind, CalcKind::kEvents);
    auto events = calc.As<IEnumEventEx>();
    ASSERT_TRUE(events);
    EXPECT_EQ(events->Reserved1(), E_NOTIMPL);
    EXPECT_EQ(events->Reserved2(), E_NOTIMPL);
    EXPECT_EQ(events->Reserved3(), 0);
    std::int32_t n = -1, next = -1;
    EXPECT_EQ(events->Next(-1, nullptr, 0, &n, &next), E_UNEXPECTED) << "no sources yet";
  }
}

// An outer object that counts its references and hands unknown questions to the aggregated inner one.
class Outer final : public ComObject<IUnknown> {
 public:
  ComPtr<IUnknown> inner;
  int32_t Count() const { return RefCountValue(); }

 protected:
  HRESULT QueryOtherInterface(const Guid& iid, void** out) override {
    return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
  }
};

TEST(EventClassObjects, AggregatedEnumeratorsCountOnTheirOuterObject) {
  auto registry = InstallModuleClasses();
  auto fn = registry->Enums().FindFunction(L"SPEEFlow");
  ASSERT_TRUE(fn);
  auto outer = MakeCom<Outer>();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(fn->CreateInstance(outer.Get(), ICalcEnum::kIid, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(fn->CreateInstance(outer.Get(), IUnknown::kIid, outer->inner.PutVoid()), S_OK);
  EXPECT_EQ(outer->Count(), 1) << "creation takes no reference on the outer object";
  {
    // The enumerator's interfaces are the outer object's: references count there, and asking them for
    // IUnknown gives the outer object.
    auto events = ComPtr<IUnknown>(outer.Get()).As<IEnumEventEx>();
    ASSERT_TRUE(events);
    EXPECT_EQ(outer->Count(), 2);
    EXPECT_EQ(events.As<IUnknown>().Get(), static_cast<IUnknown*>(outer.Get()));
    auto calc = events.As<ICalcEnum>();
    EXPECT_EQ(outer->Count(), 3);
    EXPECT_EQ(calc->SetParameters(L"0 0.5", nullptr), S_OK);
    auto sameInner = outer->inner.As<IUnknown>();
    EXPECT_EQ(sameInner.Get(), outer->inner.Get()) << "the inner unknown answers for itself";
  }
  EXPECT_EQ(outer->Count(), 1);
  outer->inner.Reset();  // the aggregate goes with its inner unknown (LeakSanitizer would see it otherwise)
}

TEST(EventClassObjects, SettingsTextReadAndWritten) {
  struct Case {
    const wchar_t* text;
    HRESULT result;
    double height;  // after the call (unchanged when refused)
    std::wstring written;
  };
  const Case cases[] = {
      {L"0 0.25", S_OK, 0.25, std::wstring(L"0.25") + L'\0'},
      {L"0 0.40000000000000002", S_OK, 0.4, std::wstring(L"0.4") + L'\0'},
      {L"3 1.5", S_OK, 1.5, std::wstring(L"1.5") + L'\0'},
      {L"1.5", S_OK, 1.5, std::wstring(L"1.5") + L'\0'},  // what GetParameters writes reads back
      {L"0\t2e-3  ", S_OK, 0.002, std::wstring(L"0.002") + L'\0'},
      {L"0 -1", E_INVALIDARG, 0.5, std::wstring(L"0.5") + L'\0'},
      {L"0 0,5", E_INVALIDARG, 0.5, std::wstring(L"0.5") + L'\0'},
      {L"0 0.5 7", E_INVALIDARG, 0.5, std::wstring(L"0.5") + L'\0'},
      {L"", E_INVALIDARG, 0.5, std::wstring(L"0.5") + L'\0'},
      {L"x", E_INVALIDARG, 0.5, std::wstring(L"0.5") + L'\0'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + std::wcslen(c.text)));
    auto d = MakeCom<SpFlowDetector>();
    ASSERT_EQ(d->SetParameters(L"0 0.5", nullptr), S_OK);
    std::uint32_t kind = 7;
    EXPECT_EQ(d->SetParameters(c.text, &kind), c.result);
    EXPECT_EQ(kind, Succeeded(c.result) ? CalcKind::kEvents : 0u);
    EXPECT_EQ(d->Parameters().mHeight, c.height);
    std::wstring written;
    ASSERT_EQ(d->GetParameters(&written), S_OK);
    EXPECT_EQ(written, c.written);
    // Written text read back gives the same settings.
    auto again = MakeCom<SpFlowDetector>();
    EXPECT_EQ(again->SetParameters(written.c_str(), nullptr), S_OK);
    EXPECT_EQ(again->Parameters().mHeight, c.height);
  }
  // No numbers: only the terminating NUL.
  auto vol = MakeCom<SpVolDetector>();
  EXPECT_EQ(vol->SetParameters(L"0", nullptr), S_OK);
  std::wstring written;
  vol->GetParameters(&written);
  EXPECT_EQ(written, std::wstring(1, L'\0'));
  EXPECT_EQ(vol->SetParameters(written.c_str(), nullptr), S_OK);
  EXPECT_EQ(vol->SetParameters(L"0 1", nullptr), E_INVALIDARG);
}

TEST(EventClassObjects, SourcesOfTheWrongKindAreRefused) {
  auto flow = SourceOver(Share(SineFlow(3000, 1000, 1.0)));
  auto events = MakeDetector(DetectorKind::kFlow, Share(SineFlow(3000, 1000, 1.0)), nullptr, 0.5).events;
  auto vol = MakeCom<SpVolDetector>();
  IUnknown* swapped[] = {static_cast<IEnumEventEx*>(events.Get()), flow.Get()};
  EXPECT_EQ(vol->SetSources(0, 2, swapped, 0, kSecsPerTick, 0), E_NOINTERFACE);
  IUnknown* one[] = {flow.Get()};
  EXPECT_EQ(vol->SetSources(0, 1, one, 0, kSecsPerTick, 0), E_INVALIDARG);
  auto breath = MakeCom<SpBreathEventDetector>();
  EXPECT_EQ(breath->SetSources(0, 2, nullptr, 0, kSecsPerTick, 0), E_INVALIDARG);
}

// Two channels in one block: flow (L/s) and its volume (L).
std::shared_ptr<kymora::DataFile> BreathingFile(const Signal& s) {
  auto file = std::make_shared<kymora::DataFile>();
  file->AddChannel(L"Flow");
  file->AddChannel(L"Volume");
  file->AddBlock(kSecsPerTick, static_cast<std::int64_t>(s.flow.size()));
  file->SetSamples(0, 0, L"L/s", 5.0, s.flow);
  file->SetSamples(0, 1, L"L", 5.0, s.volume);
  return file;
}

TEST(EventClassObjects, ExpressionsOfTheHostEngineRunTheDetectors) {
  auto registry = InstallModuleClasses();
  const Signal s = NoisyBreathing(120000, 21);
  auto document = MakeDocument(BreathingFile(s));
  auto engine = ComPtr<IChannelData>(document->DataInterface()).As<IExpressionEngine>();
  ASSERT_TRUE(engine);
  struct Case {
    const wchar_t* text;
    DetectorKind kind;
  };
  const Case cases[] = {
      {L"SPEEVol(Ch2, SPEEFlow(Ch1, 0.4) )", DetectorKind::kVol},
      {L"SPEEFlow(Ch1, 0.4)", DetectorKind::kFlow},
      {L"SpBreathEvent(Ch1, Ch2, 0.4)", DetectorKind::kBreath},
      {L"SpBreathEventEx(Ch1, Ch2, 0.4)", DetectorKind::kBreath},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + std::wcslen(c.text)));
    ComPtr<IExpression> expression;
    std::wstring error;
    ASSERT_EQ(engine->Compile(c.text, 0, nullptr, expression.Put(), &error), S_OK)
        << std::string(error.begin(), error.end());
    ComPtr<IEnumEventEx> events;
    ASSERT_EQ(expression->CreateEventEnum(0, 2000, events.Put()), S_OK);
    std::int32_t size = 0, position = -1;
    events->GetElementSize(&size);
    events->GetPosition(&position);
    EXPECT_EQ(position, 2000);
    const auto got = ReadToEnd(events.Get(), size);
    auto expected = Detect(c.kind, s.flow, s.volume, 0.4);
    std::erase_if(expected, [](const Record& r) { return r.tick < 2000; });
    EXPECT_GT(expected.size(), 10u);
    EXPECT_EQ(got, expected);
    std::int32_t fields = 0;
    ASSERT_TRUE(events.As<IEventLayout>());
    events.As<IEventLayout>()->GetFieldCount(&fields);
    EXPECT_EQ(fields, c.kind == DetectorKind::kFlow ? 8 : 12);
  }
  // Sources of the wrong kind are refused by the engine through the source checks.
  ComPtr<IExpression> expression;
  std::wstring error;
  EXPECT_NE(engine->Compile(L"SPEEVol(Ch2, Ch1)", 0, nullptr, expression.Put(), &error), S_OK);
  EXPECT_NE(engine->Compile(L"SPEEFlow(SPEEFlow(Ch1, 0.4), 0.4)", 0, nullptr, expression.Put(), &error), S_OK);
  EXPECT_NE(engine->Compile(L"SPEEFlow(Ch1, -1)", 0, nullptr, expression.Put(), &error), S_OK);
}

}  // namespace
}  // namespace Spirometry::testing
