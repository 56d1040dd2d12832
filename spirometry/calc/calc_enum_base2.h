#pragma once
// Base of the module's sample enumerators: one object that is both the calculation enumerator the host
// creates and parameterises (ICalcEnum) and the sample source it reads (IEnumFloatEx).
//
// The base keeps what every enumerator is given by the host: the host data, the parameter text, the
// record, the sample interval and the online flag. Derived classes parse the parameters, take their
// sources and produce the samples; they make copies of themselves for Clone through Copy().
#include <string>

#include "host/calc/icalc_enum.h"
#include "host/calc/ienum_float_ex.h"
#include "host/com/com_object.h"
#include "host/data/ichannel_data.h"

namespace CalcEnums {

// Record argument of SetSources meaning "the record already held".
constexpr std::int32_t kSameRecord = 0x7FFFFFFE;
constexpr std::int32_t kNoRecord = 0x7FFFFFFF;
// Class-record category of the module's sample functions.
inline constexpr Guid kSampleFunctionCategory = Guid::Parse("{5B0E4E11-6C1D-4F2A-9E1B-1F0A3C5D7E30}");

class CalcEnumBase2 : public ComObject<ICalcEnum, IEnumFloatEx> {
 public:
  // ICalcEnum
  HRESULT GetOutputKind(std::uint32_t* kind) override;
  HRESULT SetHost(IChannelData* host) override;
  HRESULT GetParameters(std::wstring* text) override;
  HRESULT Clone(ICalcEnum** out) override;
  // Stores record, interval and online flag; derived classes take their sources and call this first.
  HRESULT SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t further,
                     double secsPerTick, std::int32_t online) override;
  HRESULT SetPosition(std::int64_t tick) override;
  HRESULT ReleaseSources() override;

  // IEnumFloatEx
  HRESULT GetSecsPerTick(double* secs) override;
  HRESULT Clone(IEnumFloatEx** out) override;

  std::int32_t Record() const { return mRecord; }
  std::int32_t Online() const { return mOnline; }

 protected:
  CalcEnumBase2() = default;
  // Copies the host's givens; the reference count of the copy starts afresh.
  CalcEnumBase2(const CalcEnumBase2& other);
  CalcEnumBase2& operator=(const CalcEnumBase2&) = delete;

  // A new enumerator with the same parameters, state and (independent copies of the) sources. May throw.
  virtual ComPtr<CalcEnumBase2> Copy() const = 0;
  // Drops the references to the sources.
  virtual void DropSources() = 0;

  // The first of the sources given to SetSources as a sample source; E_FAIL when there is none or it
  // offers no samples.
  static HRESULT FirstSampleSource(std::int32_t count, IUnknown* const* sources, ComPtr<IEnumFloatEx>* source);
  // An independent reader at the source's position, for a copy (null for null). Throws when the source
  // cannot be cloned: Clone turns that into its result.
  static ComPtr<IEnumFloatEx> CloneOfSource(IEnumFloatEx* source);

  ComPtr<IChannelData> mHost;
  std::wstring mParameterText;
  std::int32_t mRecord = kNoRecord;
  double mSecsPerTick = 0.0;
  std::int32_t mOnline = 0;
};

// Runs f, turning an exception into a result code: nothing thrown crosses an interface.
template <class F>
HRESULT AtBoundary(F&& f) noexcept {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// Creates an enumerator of class E for a class object: no aggregation.
template <class E>
HRESULT CreateEnumerator(IUnknown* outer, const Guid& iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  return AtBoundary([&] { return MakeCom<E>()->QueryInterface(iid, out); });
}

}  // namespace CalcEnums
