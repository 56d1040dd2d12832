#pragma once
// Class objects of calculation enumerators, registered by extensions. The host finds them by class-record
// name (the calc-enum class registry) and, for those with numeric parameters, by function name (the
// expression engine).
#include <string>

#include "host/com/iunknown.h"

struct ICalcEnumClass : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E04}");
  // in: outer (non-null to aggregate), iid; out: a new enumerator, one reference.
  virtual HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out) = 0;  // slot 3
  // out: class-record name (the registry key, for example L"SpFlowEnum"), description and category.
  virtual HRESULT GetClassRecord(std::wstring* name, std::wstring* description, Guid* category) = 0;  // slot 4
};

// Parameter kinds reported per parameter index.
namespace ParamKind {
constexpr std::int32_t kChannel = 1;
constexpr std::int32_t kEvent = 2;
constexpr std::int32_t kNumber = 3;
}  // namespace ParamKind

// Bits of the flag word of a parameter.
namespace ParamFlag {
// The number must be whole (a switch is a whole number from 0 to 1). The engine refuses a call that gives
// a fraction: the enumerator reads its parameter text field by field, so a fraction in a whole-number
// field would leave its fractional part to be read as the next field.
constexpr std::uint32_t kWholeNumber = 0x00000001;
}  // namespace ParamFlag

// A function of the expression language: sources first (parameter indices 0 .. sources-1), then numbers.
struct INumericParamsClass : ICalcEnumClass {
  using Base = ICalcEnumClass;
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E05}");
  // out: number of names by which the function is called.
  virtual HRESULT GetFunctionNameCount(std::int32_t* count) = 0;  // slot 5
  // out: name at index; E_INVALIDARG beyond.
  virtual HRESULT GetFunctionName(std::int32_t index, std::wstring* name) = 0;  // slot 6
  // out: parameter count (sources and numbers) and source count.
  virtual HRESULT GetParamCounts(std::int32_t* params, std::int32_t* sources) = 0;  // slot 7
  // out: name, kind (ParamKind), flag word, minimum and maximum of a parameter; E_INVALIDARG beyond the
  // table. Any output may be null.
  virtual HRESULT GetParamInfo(std::int32_t index, std::wstring* name, std::int32_t* kind, std::uint32_t* flags,
                               double* minimum, double* maximum) = 0;  // slot 8
  // in: source index and the kind of what is offered (CalcKind). S_OK accepted, S_FALSE not acceptable,
  // E_INVALIDARG beyond the sources.
  virtual HRESULT CheckSource(std::int32_t index, std::uint32_t offeredKind) = 0;  // slot 9
  // out: the kind words of the function description: what the function accepts and what it produces
  // (CalcKind::kEvents for event functions, CalcKind::kSamples for sample functions).
  virtual HRESULT GetKindWords(std::uint32_t* accepts, std::uint32_t* produces) = 0;  // slot 10
};

// Field types of event records.
namespace EventFieldType {
constexpr std::int32_t kInt32 = 1;
constexpr std::int32_t kUInt8 = 2;
constexpr std::int32_t kFloat32 = 3;
constexpr std::int32_t kFloat64 = 4;
}  // namespace EventFieldType

// Optional face of event-function class objects: the layout of their records beyond the 16-byte head,
// so that the host can print every field by name.
struct IEventLayout : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E06}");
  // out: number of fields described.
  virtual HRESULT GetFieldCount(std::int32_t* count) = 0;  // slot 3
  // out: name, byte offset and type (EventFieldType) of a field; E_INVALIDARG beyond.
  virtual HRESULT GetField(std::int32_t index, std::wstring* name, std::int32_t* offset,
                           std::int32_t* type) = 0;  // slot 4
};
