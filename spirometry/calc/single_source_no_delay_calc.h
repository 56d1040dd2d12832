#pragma once
// Base of the calculations that turn one source sample into one output sample at the same tick. It holds
// the source (an IEnumFloatEx) and its units, reports the source's interval and units for its output and
// passes positioning through to the source; the derived class transforms what Read delivers.
#include "host/data/iunits.h"
#include "spirometry/calc/calc_enum_base2.h"

namespace CalcEnums {

class SingleSourceNoDelayCalc : public CalcEnumBase2 {
 public:
  // Takes the first source as IEnumFloatEx; E_FAIL when there is none or it offers no samples.
  HRESULT SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t further,
                     double secsPerTick, std::int32_t online) override;

  HRESULT GetPosition(std::int64_t* tick) override;
  HRESULT Seek(std::int64_t tick) override;
  HRESULT GetLength(std::int64_t* length) override;
  HRESULT GetUnits(IUnits** units) override;
  // Passes the source's samples through unchanged; derived classes transform them.
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override;

 protected:
  SingleSourceNoDelayCalc() = default;
  // The copy reads an independent clone of the source, so that copies can be read on other threads.
  SingleSourceNoDelayCalc(const SingleSourceNoDelayCalc& other);
  void DropSources() override;
  // The units text of the source ("" when it has none).
  std::wstring SourceUnitsText() const;

  ComPtr<IEnumFloatEx> mSource;
  ComPtr<IUnits> mSourceUnits;
};

}  // namespace CalcEnums
