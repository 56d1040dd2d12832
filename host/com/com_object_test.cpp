#include "host/com/com_object.h"

#include <gtest/gtest.h>

#include "host/com/ipersist_stream_init.h"
#include "host/com/memory_stream.h"
#include "host/com/runtime.h"

namespace {
struct IProbe : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{11111111-2222-3333-4444-555555555555}");
  virtual int Value() = 0;
};

int gDestroyed = 0;

class Probe final : public ComObject<IProbe, IPersistStreamInit> {
 public:
  ~Probe() override { ++gDestroyed; }
  int Value() override { return 7; }
  HRESULT GetClassID(Guid*) override { return S_OK; }
  HRESULT IsDirty() override { return S_FALSE; }
  HRESULT Load(IStream*) override { return S_OK; }
  HRESULT Save(IStream*, Bool16) override { return S_OK; }
  HRESULT GetSizeMax(std::uint64_t*) override { return E_NOTIMPL; }
  HRESULT InitNew() override { return S_OK; }
};
}  // namespace

TEST(ComObject, AnswersItsInterfacesAndTheirParentsWithTheSameObject) {
  gDestroyed = 0;
  {
    auto p = MakeCom<Probe>();
    ComPtr<IPersist> persist = p.As<IPersist>();
    ComPtr<IPersistStreamInit> psi = p.As<IPersistStreamInit>();
    ASSERT_TRUE(persist);
    ASSERT_TRUE(psi);
    EXPECT_EQ(static_cast<IPersist*>(psi.Get()), persist.Get());
    ComPtr<IUnknown> a = p.As<IUnknown>(), b = psi.As<IUnknown>();
    EXPECT_EQ(a.Get(), b.Get()) << "IUnknown identity is one pointer whatever the route";
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(p->QueryInterface(IStream::kIid, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
  }
  EXPECT_EQ(gDestroyed, 1);
}

TEST(ComObject, DeletesItselfOnceWhenTheLastReferenceGoes) {
  gDestroyed = 0;
  Probe* raw = new Probe;
  EXPECT_EQ(raw->AddRef(), 1u);
  EXPECT_EQ(raw->AddRef(), 2u);
  EXPECT_EQ(raw->Release(), 1u);
  EXPECT_EQ(gDestroyed, 0);
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_EQ(gDestroyed, 1);
}

TEST(ComRuntime, CreationNeedsInitialisationAndARegisteredClass) {
  constexpr Guid clsid = Guid::Parse("{ABCDEF00-0000-0000-0000-000000000001}");
  KymRegisterClassFactory(
      clsid, [](const Guid& iid, void** out) { return MakeCom<MemoryStream>()->QueryInterface(iid, out); });
  void* out = nullptr;
  // Tests start uninitialised.
  EXPECT_EQ(KymCoCreateInstance(&clsid, nullptr, 0x17, &IStream::kIid, &out), CO_E_NOTINITIALIZED);
  EXPECT_EQ(KymCoInitialize(), S_OK);
  EXPECT_EQ(KymCoInitialize(), S_FALSE);
  ASSERT_EQ(KymCoCreateInstance(&clsid, nullptr, 0x17, &IStream::kIid, &out), S_OK);
  ComPtr<IStream>::Attach(static_cast<IStream*>(out));
  constexpr Guid other = Guid::Parse("{ABCDEF00-0000-0000-0000-000000000002}");
  EXPECT_EQ(KymCoCreateInstance(&other, nullptr, 0x17, &IStream::kIid, &out), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(out, nullptr);
  KymCoUninitialize();
  KymCoUninitialize();
  KymUnregisterClassFactory(clsid);
}
