#include "spirometry/calc/sp_vol_enum.h"

namespace Spirometry {

namespace {
const CalcEnums::FunctionTable kTable = {
    L"SpVolEnum",
    L"1 channel SpVolEnum",
    CalcEnums::kSampleFunctionCategory,
    {L"SpVol"},
    {
        {L"Spirometry Flow channel", ParamKind::kChannel, 0.0, 0.0, 0x80000000},
        {L"Volume correction", ParamKind::kNumber, 0.0, 1.0, CalcEnums::kWholeNumberParamFlags},
        {L"Dead space", ParamKind::kNumber, -3.4028234663852886e38, 3.4028234663852886e38, 0x80000000},
        {L"Volume ratio", ParamKind::kNumber, -3.4028234663852886e38, 3.4028234663852886e38, 0x80000000},
    },
    CalcKind::kSamples,
    CalcKind::kSamples,
};
}  // namespace

const CalcEnums::FunctionTable& SpVolEnum::Table() { return kTable; }

HRESULT SpVolEnum::CreateInstance(IUnknown* outer, const Guid& iid, void** out) {
  return CalcEnums::CreateEnumerator<SpVolEnum>(outer, iid, out);
}

ComPtr<CalcEnums::CalcEnumBase2> SpVolEnum::Copy() const {
  return ComPtr<CalcEnums::CalcEnumBase2>(new SpVolEnum(*this));
}

HRESULT SpVolEnum::SetParameters(const wchar_t* text, std::uint32_t* outputKind) {
  if (outputKind) *outputKind = CalcKind::kSamples;
  return CalcEnums::AtBoundary([&] {
    std::wstring given = text ? text : L"";
    // A refused text leaves the enumerator as it was, checkpoints included.
    if (!mPolicy.Parse(given)) return E_INVALIDARG;
    mParameterText = std::move(given);
    StartNewTable();
    return S_OK;
  });
}

}  // namespace Spirometry
