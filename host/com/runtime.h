#pragma once
// The process-wide component library: one-time initialisation and creation of registered classes by
// class id. It lives in the shared library that the host and every extension module link, so there is
// one copy per process.
//
// Extensions call KymCoCreateInstance to reach host singletons (the class and message registries).
// Creation fails with CO_E_NOTINITIALIZED until KymCoInitialize has been called at least once.
#include <functional>

#include "host/com/iunknown.h"

extern "C" {
// Initialises the library for the process. S_OK the first time, S_FALSE when already initialised.
HRESULT KymCoInitialize();
// Balances one KymCoInitialize.
void KymCoUninitialize();
// in: clsid, outer (must be null: registered classes are not aggregatable), context flags (ignored), iid;
// out: *out with one reference for the caller, or null on failure.
HRESULT KymCoCreateInstance(const Guid* clsid, IUnknown* outer, std::uint32_t context, const Guid* iid, void** out);
}

// Host side: make a class creatable. The factory answers (iid, out) like QueryInterface on a new or
// singleton object. Registering the same class id again replaces the factory.
using ClassFactory = std::function<HRESULT(const Guid& iid, void** out)>;
void KymRegisterClassFactory(const Guid& clsid, ClassFactory factory);
void KymUnregisterClassFactory(const Guid& clsid);
