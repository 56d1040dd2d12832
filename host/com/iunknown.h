#pragma once
// The root of every interface that crosses the host/extension boundary.
//
// An interface is an abstract class of pure virtual operations in slot order, with its identifier kIid.
// Objects are reference counted: AddRef and Release change the count atomically and the object deletes
// itself when it reaches zero. QueryInterface answers the identifiers the object implements with an
// added reference, and sets *out to null with E_NOINTERFACE otherwise. No exception crosses an interface.
#include "host/com/guid.h"
#include "host/com/result.h"

struct IUnknown {
  static constexpr Guid kIid = Guid::Parse("{00000000-0000-0000-C000-000000000046}");
  virtual HRESULT QueryInterface(const Guid& iid, void** out) = 0;  // slot 0
  virtual std::uint32_t AddRef() = 0;                               // slot 1
  virtual std::uint32_t Release() = 0;                              // slot 2

 protected:
  ~IUnknown() = default;
};

// QueryInterface with the identifier taken from the interface type.
template <class I>
HRESULT QueryInterfaceOf(IUnknown* object, I** out) {
  *out = nullptr;
  if (!object) return E_POINTER;
  return object->QueryInterface(I::kIid, reinterpret_cast<void**>(out));
}
