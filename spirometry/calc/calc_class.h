#pragma once
// Class object of a channel calculation T, registered with the host as a static class object. T provides
//   static constexpr Guid kClassId; static constexpr const wchar_t* kClassName, *kDisplayName;
//   using Settings = ...;             (a default-constructible IPersistObject)
//   explicit T(ICalcSite* site);      (default settings, channel taken from the site)
#include <new>

#include "host/calc/icalc_site.h"
#include "host/calc/icalculation_class.h"
#include "host/calc/icalculation_setup.h"
#include "host/calc/ichannel_calc.h"
#include "host/com/com_object.h"
#include "spirometry/calc/calc_setup_slot.h"

namespace Spirometry {

template <class T>
class CalcClass final : public ComObject<ICalculationClass> {
 public:
  HRESULT GetClassId(Guid* classId) override {
    if (!classId) return E_POINTER;
    *classId = T::kClassId;
    return S_OK;
  }
  HRESULT GetName(std::wstring* name) override {
    if (!name) return E_POINTER;
    return Guard([&] { *name = T::kClassName; });
  }
  HRESULT GetDisplayName(std::wstring* name) override {
    if (!name) return E_POINTER;
    return Guard([&] { *name = T::kDisplayName; });
  }
  HRESULT CreateCalculation(ICalcSite* site, IChannelCalc** calc) override {
    if (!calc) return E_POINTER;
    *calc = nullptr;
    if (!site) return E_INVALIDARG;
    return Guard([&] { *calc = MakeCom<T>(site).Detach(); });
  }
  HRESULT CreateSettings(IPersistObject** settings) override {
    if (!settings) return E_POINTER;
    *settings = nullptr;
    return Guard([&] { *settings = MakeCom<typename T::Settings>().Detach(); });
  }

 protected:
  // ICalculationSetup, answered only while the class's dialog is linked in.
  HRESULT QueryOtherInterface(const Guid& iid, void** out) override {
    return iid == ICalculationSetup::kIid ? CalculationSetupFace::Create(T::kClassId, out) : E_NOINTERFACE;
  }

 private:
  template <class F>
  static HRESULT Guard(F&& f) {
    try {
      f();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }
};

}  // namespace Spirometry
