#pragma once
// Base of the engine's own sample functions (threshold, decimatesec, EventInterp): one object that the
// engine creates and parameterises as a calculation enumerator and then reads as a sample source. It keeps
// what the engine hands every function (host data, parameter text, record, interval) and passes positioning
// to Seek; derived classes take their sources, produce the samples and copy themselves for Clone.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/calc/icalc_enum.h"
#include "host/calc/ienum_float_ex.h"
#include "host/com/com_object.h"
#include "host/data/ichannel_data.h"

namespace kymora::expr {

// The numbers of a parameter text (classic locale, separated by white space), or nothing when anything else
// is found.
std::optional<std::vector<double>> ParseParameterNumbers(std::wstring_view text);

class SampleFunction : public ComObject<ICalcEnum, IEnumFloatEx> {
 public:
  // ICalcEnum
  HRESULT GetOutputKind(std::uint32_t* kind) override;
  HRESULT SetHost(IChannelData* host) override;
  // Parses the numbers and hands them to TakeNumbers.
  HRESULT SetParameters(const wchar_t* text, std::uint32_t* outputKind) override;
  HRESULT GetParameters(std::wstring* text) override;
  HRESULT Clone(ICalcEnum** out) override;
  // Stores record and interval, then hands the sources to TakeSources and moves to tick 0.
  HRESULT SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t further,
                     double secsPerTick, std::int32_t online) override;
  HRESULT SetPosition(std::int64_t tick) override;
  HRESULT ReleaseSources() override;

  // IEnumFloatEx
  HRESULT GetSecsPerTick(double* secs) override;
  HRESULT Clone(IEnumFloatEx** out) override;
  // Derived results carry no units the engine could name.
  HRESULT GetUnits(IUnits** units) override;

 protected:
  SampleFunction() = default;
  SampleFunction(const SampleFunction& other);
  SampleFunction& operator=(const SampleFunction&) = delete;

  // E_INVALIDARG for numbers the function cannot take (nothing changes then).
  virtual HRESULT TakeNumbers(const std::vector<double>& numbers) = 0;
  virtual HRESULT TakeSources(std::int32_t count, IUnknown* const* sources) = 0;
  virtual void DropSources() = 0;
  // A new function in the same state over independent copies of the sources. May throw.
  virtual ComPtr<SampleFunction> Copy() const = 0;

  // The first source as a sample source (E_INVALIDARG when it is not one).
  static HRESULT SampleSource(std::int32_t count, IUnknown* const* sources, ComPtr<IEnumFloatEx>* out);
  // An independent reader at the source's position; throws when the source cannot be cloned.
  static ComPtr<IEnumFloatEx> CloneOf(IEnumFloatEx* source);

  ComPtr<IChannelData> mHost;
  std::wstring mParameterText;
  std::int32_t mRecord = 0;
  double mSecsPerTick = 0.0;
};

// Runs f, turning an exception into a result code.
template <class F>
HRESULT Guarded(F&& f) noexcept {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace kymora::expr
