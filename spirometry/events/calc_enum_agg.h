#pragma once
// An enumerator aggregated into an outer object. The engine creates it with an outer IUnknown and gets
// back the inner, non-delegating IUnknown: that one controls the enumerator's life and answers its
// interfaces. Every interface the enumerator hands out delegates QueryInterface, AddRef and Release to the
// outer object, so that the pair behaves as one component.
#include "spirometry/events/calc_enum_event_base.h"

namespace CalcEnums {

// E derives from CalcEnumEventBase and is default constructible.
template <class E>
class CalcEnumAgg final : public E {
 public:
  // outer is not referenced: it owns the inner unknown and outlives the aggregate.
  explicit CalcEnumAgg(IUnknown* outer) : mOuter(outer), mInner(this) {}

  // The non-delegating IUnknown, with one reference for the creator.
  IUnknown* TakeInner() {
    mInner.AddRef();
    return &mInner;
  }

  HRESULT QueryInterface(const Guid& iid, void** out) override { return mOuter->QueryInterface(iid, out); }
  std::uint32_t AddRef() override { return mOuter->AddRef(); }
  std::uint32_t Release() override { return mOuter->Release(); }

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(CalcEnumAgg* self) : mSelf(self) {}
    HRESULT QueryInterface(const Guid& iid, void** out) override {
      if (!out) return E_POINTER;
      *out = nullptr;
      if (iid == IUnknown::kIid) {
        *out = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
      }
      // Interfaces of the enumerator: their references count on the outer object, as aggregation requires.
      return mSelf->OwnQueryInterface(iid, out);
    }
    std::uint32_t AddRef() override { return mSelf->OwnAddRef(); }
    std::uint32_t Release() override { return mSelf->OwnRelease(); }

   private:
    CalcEnumAgg* mSelf;
  };

  IUnknown* mOuter;
  Inner mInner;
};

}  // namespace CalcEnums
