#include "host/com/runtime.h"

#include <map>
#include <mutex>

namespace {
struct Runtime {
  std::mutex lock;
  int initCount = 0;
  std::map<Guid, ClassFactory> factories;
};
Runtime& TheRuntime() {
  static Runtime r;
  return r;
}
}  // namespace

extern "C" HRESULT KymCoInitialize() {
  auto& r = TheRuntime();
  std::lock_guard g(r.lock);
  return r.initCount++ == 0 ? S_OK : S_FALSE;
}

extern "C" void KymCoUninitialize() {
  auto& r = TheRuntime();
  std::lock_guard g(r.lock);
  if (r.initCount > 0) --r.initCount;
}

extern "C" HRESULT KymCoCreateInstance(const Guid* clsid, IUnknown* outer, std::uint32_t, const Guid* iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!clsid || !iid) return E_POINTER;
  if (outer) return CLASS_E_NOAGGREGATION;
  ClassFactory factory;
  {
    auto& r = TheRuntime();
    std::lock_guard g(r.lock);
    if (r.initCount == 0) return CO_E_NOTINITIALIZED;
    auto it = r.factories.find(*clsid);
    if (it == r.factories.end()) return REGDB_E_CLASSNOTREG;
    factory = it->second;
  }
  try {
    return factory(*iid, out);
  } catch (...) {
    *out = nullptr;
    return E_FAIL;
  }
}

void KymRegisterClassFactory(const Guid& clsid, ClassFactory factory) {
  auto& r = TheRuntime();
  std::lock_guard g(r.lock);
  r.factories[clsid] = std::move(factory);
}

void KymUnregisterClassFactory(const Guid& clsid) {
  auto& r = TheRuntime();
  std::lock_guard g(r.lock);
  r.factories.erase(clsid);
}
