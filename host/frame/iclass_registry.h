#pragma once
// The host's class registry: extensions register their class objects (channel calculations, calculation
// and event enumerators, document, view and export classes) with it at start-up. Reached through the
// component library: class kHostRegistryClassId, all contexts.
#include "host/com/iunknown.h"

constexpr Guid kHostRegistryClassId = Guid::Parse("{818DA440-8037-11D3-80BC-005004AD3C53}");

struct IClassRegistry : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{3CAD4551-2F23-11D1-8CE9-00C0D1570D74}");
  // out: number of class objects registered so far (null registrations included).
  virtual HRESULT GetClassCount(std::int32_t* count) = 0;  // slot 3
  // out: the class object registered at index (one reference; null for a null registration).
  virtual HRESULT GetClassObject(std::int32_t index, IUnknown** classObject) = 0;  // slot 4
  // Removes a registered class object (extension unload).
  virtual HRESULT UnregisterClassObject(IUnknown* classObject) = 0;  // slot 5
  // in: a class object; the registry holds a reference and files it by the interfaces it answers.
  // A null object is recorded in its place (a failed allocation) and answered with E_POINTER.
  virtual HRESULT RegisterClassObject(IUnknown* classObject) = 0;  // slot 6
};
