#pragma once
// CompositeCalcEnum: a calculation enumerator whose parameter text is an arithmetic expression over the
// document's channels ("Ch2", functions of the host's engine and of extensions). When its sources are set
// it has the host's expression engine compile the expression and reads the result for the record; its own
// sources only tell it their units. Derived classes may adjust the expression to those units.
#include <string>

#include "host/data/iunits.h"
#include "spirometry/calc/calc_enum_base2.h"

namespace CalcEnums {

class CompositeCalcEnum : public CalcEnumBase2 {
 public:
  // ICalcEnum
  HRESULT SetParameters(const wchar_t* text, std::uint32_t* outputKind) override;
  // Compiles the expression for the units of the first source and opens it for the record at tick 0.
  HRESULT SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t further,
                     double secsPerTick, std::int32_t online) override;

  // IEnumFloatEx: the compiled expression's samples.
  HRESULT GetPosition(std::int64_t* tick) override;
  HRESULT Seek(std::int64_t tick) override;
  HRESULT GetLength(std::int64_t* length) override;
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override;
  HRESULT GetUnits(IUnits** units) override;

  // Why the last SetSources failed (the engine's message), for diagnostics.
  const std::wstring& LastError() const { return mLastError; }

 protected:
  CompositeCalcEnum() = default;
  CompositeCalcEnum(const CompositeCalcEnum& other);

  // The expression to compile for a source in `sourceUnits` (empty when unknown).
  virtual std::wstring ExpressionFor(const std::wstring& sourceUnits) const { return mParameterText; }
  void DropSources() override;

 private:
  ComPtr<IEnumFloatEx> mResult;
  std::wstring mLastError;
};

}  // namespace CalcEnums
