#include "host/calc/calc_registries.h"

#include <algorithm>

#include "host/com/text.h"

namespace kymora {

std::wstring ToLowerAscii(std::wstring_view text) {
  std::wstring r(text);
  for (auto& c : r)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return r;
}

HRESULT CalcEnumRegistry::Register(ICalcEnumClass* cls) {
  if (!cls) return E_POINTER;
  std::wstring name, description;
  Guid category;
  HRESULT hr = cls->GetClassRecord(&name, &description, &category);
  if (Failed(hr)) return hr;
  if (name.empty()) return E_INVALIDARG;
  ComPtr<INumericParamsClass> fn = ComPtr<ICalcEnumClass>(cls).As<INumericParamsClass>();
  std::lock_guard g(mLock);
  mByClassName[name] = ComPtr<ICalcEnumClass>(cls);
  if (fn) {
    auto add = [&](const std::wstring& n) {
      auto key = ToLowerAscii(n);
      if (!mByLowerName.count(key)) mNames.push_back(n);
      mByLowerName[key] = fn;
    };
    std::int32_t count = 0;
    fn->GetFunctionNameCount(&count);
    for (std::int32_t i = 0; i < count; ++i) {
      std::wstring fname;
      if (Succeeded(fn->GetFunctionName(i, &fname)) && !fname.empty()) add(fname);
    }
    add(name);
  }
  return S_OK;
}

ComPtr<ICalcEnumClass> CalcEnumRegistry::FindClass(std::wstring_view name) const {
  std::lock_guard g(mLock);
  auto it = mByClassName.find(name);
  return it == mByClassName.end() ? nullptr : it->second;
}

ComPtr<INumericParamsClass> CalcEnumRegistry::FindFunction(std::wstring_view name) const {
  std::lock_guard g(mLock);
  auto it = mByLowerName.find(ToLowerAscii(name));
  return it == mByLowerName.end() ? nullptr : it->second;
}

std::vector<std::wstring> CalcEnumRegistry::FunctionNames() const {
  std::lock_guard g(mLock);
  return mNames;
}

HRESULT CalculationRegistry::Register(ICalculationClass* cls) {
  if (!cls) return E_POINTER;
  Guid id;
  HRESULT hr = cls->GetClassId(&id);
  if (Failed(hr)) return hr;
  std::lock_guard g(mLock);
  std::erase_if(mClasses, [&](const ComPtr<ICalculationClass>& c) {
    Guid other;
    return Succeeded(c->GetClassId(&other)) && other == id;
  });
  mClasses.emplace_back(cls);
  return S_OK;
}

ComPtr<ICalculationClass> CalculationRegistry::FindById(const Guid& classId) const {
  std::lock_guard g(mLock);
  for (const auto& c : mClasses) {
    Guid id;
    if (Succeeded(c->GetClassId(&id)) && id == classId) return c;
  }
  return nullptr;
}

ComPtr<ICalculationClass> CalculationRegistry::FindByName(std::wstring_view name) const {
  std::lock_guard g(mLock);
  for (const auto& c : mClasses) {
    std::wstring n;
    if (Succeeded(c->GetName(&n)) && EqualsNoCase(n, name)) return c;
  }
  return nullptr;
}

std::vector<ComPtr<ICalculationClass>> CalculationRegistry::All() const {
  std::lock_guard g(mLock);
  return mClasses;
}

}  // namespace kymora
