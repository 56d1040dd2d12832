// Arbitrary bytes as an expression text through lexer, parser and compiler against two channels and one
// function of each kind; whatever compiles is also opened and read, so the enumerators built from strange
// but valid trees are exercised too.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/com/text.h"
#include "host/expr/engine.h"
#include "host/expr/expr_test_fakes.h"

using namespace kymora;
using namespace kymora::expr;
using namespace kymora::expr::testing;

namespace {
struct World {
  ComPtr<FakeChannelData> data = MakeCom<FakeChannelData>();
  CalcEnumRegistry registry;
  ComPtr<Engine> engine;

  World() {
    data->AddChannel(L"Flow");
    data->AddChannel(L"Volume");
    data->AddBlock(0.001, 40);
    data->AddBlock(0.01, 70);
    for (std::int32_t block = 0; block < 2; ++block) {
      data->SetFormula(block, 0, L"mL/s", [](std::int64_t t) { return static_cast<float>(t % 5) - 2.0f; });
      data->SetFormula(block, 1, L"L", [](std::int64_t t) { return 0.25f * static_cast<float>(t); });
    }
    RegisterFakeFunctions(registry);
    engine = MakeCom<Engine>(data.Get(), &registry);
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  // A fresh world per input: nothing carries over from one input to the next (a finding reproduces alone),
  // and the fakes' logs do not pile up over millions of runs.
  World world;
  const std::wstring text = FromUtf8(std::string_view(reinterpret_cast<const char*>(bytes), size));
  const ChannelBinding binding{0, L"L/s"};
  ComPtr<IExpression> e;
  std::wstring error;
  HRESULT hr = world.engine->Compile(text.c_str(), size % 2 ? 1 : 0, &binding, e.Put(), &error);
  if (Failed(hr)) {
    // A refusal always says where.
    if (e || error.rfind(L"position ", 0) != 0) __builtin_trap();
    return 0;
  }
  std::uint32_t kind = 0;
  e->GetKind(&kind);
  const std::int32_t block = static_cast<std::int32_t>(size % 2);
  if (kind == CalcKind::kEvents) {
    ComPtr<IEnumEventEx> events;
    if (Succeeded(e->CreateEventEnum(block, 0, events.Put()))) ReadAllEvents(events.Get());
  } else {
    ComPtr<IEnumFloatEx> samples;
    if (Succeeded(e->CreateSampleEnum(block, 0, samples.Put()))) {
      float buf[37];
      std::int32_t got = 0;
      while (samples->Read(37, buf, &got) == S_OK) {
      }
    }
  }
  return 0;
}
