#pragma once
// The common base of every event enumerator of the module: one component that the host's expression
// engine drives as a calculation enumerator (ICalcEnum), reads as an event source (IEnumEventEx), and asks
// for the layout of its records (IEventLayout). The operations are implemented by EEH3::EEH3Enumerator.
#include "host/calc/icalc_enum.h"
#include "host/calc/icalc_enum_class.h"
#include "host/calc/ienum_event_ex.h"
#include "host/com/com_object.h"

namespace CalcEnums {

class CalcEnumEventBase : public ComObject<ICalcEnum, IEnumEventEx, IEventLayout> {
 protected:
  using ComBase = ComObject<ICalcEnum, IEnumEventEx, IEventLayout>;

  // The object's own reference counting and interface answers, bypassing any delegation to an outer
  // object (see CalcEnumAgg).
  HRESULT OwnQueryInterface(const Guid& iid, void** out) { return ComBase::QueryInterface(iid, out); }
  std::uint32_t OwnAddRef() { return ComBase::AddRef(); }
  std::uint32_t OwnRelease() { return ComBase::Release(); }

  template <class E>
  friend class CalcEnumAgg;
};

}  // namespace CalcEnums
