#pragma once
// In-memory fakes of an extension's calculation for host tests: a calculation "Scale" whose enumerator
// multiplies one source channel by a factor, with its settings, class objects and registries.
#include <memory>

#include "host/calc/calc_registries.h"
#include "host/calc/channel_data.h"
#include "host/calc/icalc_enum.h"
#include "host/calc/ienum_float_ex.h"

namespace kymora::fakes {

constexpr Guid kScaleCalcId = Guid::Parse("{0F0F0F0F-1111-2222-3333-444444444444}");

// Settings: source channel, factor, output units and prefix code, value factor.
struct ScaleSettingsData {
  std::int32_t source = 0;
  float factor = 2.0f;
  std::wstring units = L"L/s";
  std::int32_t prefixCode = 8;
  double valueFactor = 1.0;
  std::uint32_t sourceFlags = 0xC0001000;
};

ComPtr<ICalcEnumClass> MakeScaleEnumClass();
ComPtr<ICalculationClass> MakeScaleCalcClass();
// Settings object of the Scale calculation, with access to its data.
ComPtr<IPersistObject> MakeScaleSettings(const ScaleSettingsData& data);

struct FakeHost {
  CalcEnumRegistry enums;
  CalculationRegistry calculations;
  std::vector<std::wstring> messages;
  FakeHost();
  HostServices Services();
};

// Reads a whole block of a channel through IChannelData.
std::vector<float> ReadAll(IChannelData* data, std::int32_t channel, std::int32_t block,
                           std::uint32_t flags = 0x40001000);

}  // namespace kymora::fakes
