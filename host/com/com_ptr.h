#pragma once
// Owning smart pointer for reference-counted interfaces.
#include <utility>

#include "host/com/iunknown.h"

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to p.
  ComPtr(T* p) : mPtr(p) {
    if (mPtr) mPtr->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.mPtr) {}
  ComPtr(ComPtr&& o) noexcept : mPtr(std::exchange(o.mPtr, nullptr)) {}
  template <class U>
  ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.Get())) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(mPtr, o.mPtr);
    return *this;
  }

  // Adopts a pointer whose reference the caller already owns.
  static ComPtr Attach(T* p) {
    ComPtr r;
    r.mPtr = p;
    return r;
  }
  // Gives up ownership without releasing.
  T* Detach() { return std::exchange(mPtr, nullptr); }

  void Reset() {
    if (mPtr) std::exchange(mPtr, nullptr)->Release();
  }
  T* Get() const { return mPtr; }
  T* operator->() const { return mPtr; }
  T& operator*() const { return *mPtr; }
  explicit operator bool() const { return mPtr != nullptr; }

  // Releases the current pointer and returns the address to receive a new owned one.
  T** Put() {
    Reset();
    return &mPtr;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  // Hands out an added reference through an out-pointer.
  HRESULT CopyTo(T** out) const {
    if (!out) return E_POINTER;
    *out = mPtr;
    if (mPtr) mPtr->AddRef();
    return S_OK;
  }

  template <class I>
  ComPtr<I> As() const {
    ComPtr<I> r;
    if (mPtr) mPtr->QueryInterface(I::kIid, r.PutVoid());
    return r;
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.mPtr == b.mPtr; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.mPtr == nullptr; }

 private:
  T* mPtr = nullptr;
};
