#pragma once
// Reference counting and QueryInterface for objects that implement one or more interfaces.
//
//   class Foo final : public ComObject<IFoo, IBar> { ... };
//   ComPtr<Foo> foo = MakeCom<Foo>(args...);
//
// Each interface may name its parent interface as `using Base = IParent;` so that queries for the
// parent (for example IPersist of IPersistStreamInit) find the same object.
#include <atomic>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

#include "host/com/com_ptr.h"

namespace com_detail {
template <class I, class = void>
struct BaseOf {
  using type = void;
};
template <class I>
struct BaseOf<I, std::void_t<typename I::Base>> {
  using type = typename I::Base;
};

template <class I>
constexpr bool Answers(const Guid& iid) {
  if (iid == I::kIid) return true;
  using B = typename BaseOf<I>::type;
  if constexpr (!std::is_void_v<B>) return Answers<B>(iid);
  return false;
}
}  // namespace com_detail

// The reference count that every component shares: atomic, and set to a large negative value while the
// final release destroys the object so that references taken during destruction cannot destroy it twice.
class RefCount {
 public:
  std::uint32_t Increment() { return static_cast<std::uint32_t>(++mCount); }
  // Returns the new count; true in `destroy` when the caller must delete the object.
  std::uint32_t Decrement(bool& destroy) {
    int32_t n = --mCount;
    destroy = n == 0;
    if (destroy) mCount.store(static_cast<int32_t>(0xC0000001u));
    return static_cast<std::uint32_t>(n);
  }
  int32_t Value() const { return mCount.load(); }

 private:
  std::atomic<int32_t> mCount{0};
};

template <class... Interfaces>
class ComObject : public Interfaces... {
  static_assert(sizeof...(Interfaces) > 0);
  using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

 public:
  HRESULT QueryInterface(const Guid& iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid) {
      *out = static_cast<IUnknown*>(static_cast<First*>(this));
    } else {
      (void)((com_detail::Answers<Interfaces>(iid) ? (*out = static_cast<Interfaces*>(this), true) : false) || ...);
    }
    if (!*out) return QueryOtherInterface(iid, out);
    AddRef();
    return S_OK;
  }
  std::uint32_t AddRef() override { return mRefs.Increment(); }
  std::uint32_t Release() override {
    bool destroy = false;
    auto n = mRefs.Decrement(destroy);
    if (destroy) delete this;
    return n;
  }

 protected:
  virtual ~ComObject() = default;
  // Hook for objects that answer interfaces beyond their bases (delegation to a base object, aggregation).
  // Implementations set *out with an added reference.
  virtual HRESULT QueryOtherInterface(const Guid&, void**) { return E_NOINTERFACE; }
  int32_t RefCountValue() const { return mRefs.Value(); }

 private:
  RefCount mRefs;
};

// Creates a component and holds the first reference.
template <class T, class... Args>
ComPtr<T> MakeCom(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}
