#pragma once
// The host's registries of what extensions register: calculation-enumerator classes (found by class-record
// name, and by function name for expression functions) and channel-calculation classes (found by class id
// or name). Filled at start-up from the class registry; read afterwards from any thread.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "host/calc/icalc_enum_class.h"
#include "host/calc/icalculation_class.h"
#include "host/com/com_ptr.h"

namespace kymora {

class CalcEnumRegistry {
 public:
  // Indexes the class by its class-record name and, when it is an expression function, by every function
  // name. A later registration under a name already taken replaces the earlier one.
  HRESULT Register(ICalcEnumClass* cls);
  // By class-record name (exact, as calculations ask for their enumerator).
  ComPtr<ICalcEnumClass> FindClass(std::wstring_view name) const;
  // By function name or class-record name, regardless of case; null when no function has that name.
  ComPtr<INumericParamsClass> FindFunction(std::wstring_view name) const;
  // Function names in registration order (for listings).
  std::vector<std::wstring> FunctionNames() const;

 private:
  mutable std::mutex mLock;
  std::map<std::wstring, ComPtr<ICalcEnumClass>, std::less<>> mByClassName;
  std::map<std::wstring, ComPtr<INumericParamsClass>, std::less<>> mByLowerName;
  std::vector<std::wstring> mNames;
};

class CalculationRegistry {
 public:
  HRESULT Register(ICalculationClass* cls);
  ComPtr<ICalculationClass> FindById(const Guid& classId) const;
  // By class name, regardless of case.
  ComPtr<ICalculationClass> FindByName(std::wstring_view name) const;
  std::vector<ComPtr<ICalculationClass>> All() const;

 private:
  mutable std::mutex mLock;
  std::vector<ComPtr<ICalculationClass>> mClasses;
};

std::wstring ToLowerAscii(std::wstring_view text);

}  // namespace kymora
