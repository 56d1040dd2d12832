#include "host/frame/host_registry.h"

#include <gtest/gtest.h>

#include "host/calc/calc_test_fakes.h"
#include "host/com/memory_stream.h"
#include "host/com/runtime.h"
#include "host/frame/icustom_document.h"

using namespace kymora;

TEST(HostRegistry, FilesClassObjectsByWhatTheyAnswerAndKeepsTheirOrder) {
  auto reg = MakeCom<HostRegistry>();
  auto calcClass = fakes::MakeScaleCalcClass();
  auto enumClass = fakes::MakeScaleEnumClass();
  auto other = MakeCom<MemoryStream>();  // a class object of a kind the data side does not use
  EXPECT_EQ(reg->RegisterClassObject(enumClass.Get()), S_OK);
  EXPECT_EQ(reg->RegisterClassObject(nullptr), E_POINTER);
  EXPECT_EQ(reg->RegisterClassObject(other.Get()), S_OK);
  EXPECT_EQ(reg->RegisterClassObject(calcClass.Get()), S_OK);

  auto all = reg->ClassObjects();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].Get(), enumClass.As<IUnknown>().Get());
  EXPECT_EQ(all[1].Get(), nullptr);
  EXPECT_EQ(all[2].Get(), other.As<IUnknown>().Get());
  EXPECT_TRUE(reg->Enums().FindClass(L"ScaleEnum"));
  EXPECT_FALSE(reg->Enums().FindClass(L"scaleenum")) << "class-record names are exact";
  EXPECT_TRUE(reg->Calculations().FindById(fakes::kScaleCalcId));
  EXPECT_TRUE(reg->Calculations().FindByName(L"SCALE"));
  EXPECT_EQ(reg->template ClassObjectsOf<IStream>().size(), 1u);
}

TEST(HostRegistry, NamespaceIndicesAreStablePerGuid) {
  auto reg = MakeCom<HostRegistry>();
  constexpr Guid a = Guid::Parse("{F346E2BC-9D05-4E49-9B14-70B768A43E92}");
  constexpr Guid b = Guid::Parse("{3A7D80F0-59D6-11D3-80AE-005004AD3C53}");
  std::uint16_t ia = 0, ib = 0, again = 0;
  reg->GetNamespaceIndex(a, &ia);
  reg->GetNamespaceIndex(b, &ib);
  reg->GetNamespaceIndex(a, &again);
  EXPECT_EQ(ia, 1);
  EXPECT_EQ(ib, 2);
  EXPECT_EQ(again, ia);
}

TEST(HostRegistry, IsReachedThroughTheComponentLibraryByItsClassId) {
  auto fresh = MakeCom<HostRegistry>();
  HostRegistry::Install(fresh);
  HostRegistry::RegisterWithComponentLibrary();
  KymCoInitialize();
  void* out = nullptr;
  ASSERT_EQ(KymCoCreateInstance(&kHostRegistryClassId, nullptr, 0x17, &IClassRegistry::kIid, &out), S_OK);
  auto classes = ComPtr<IClassRegistry>::Attach(static_cast<IClassRegistry*>(out));
  ASSERT_EQ(KymCoCreateInstance(&kHostRegistryClassId, nullptr, 0x17, &IMessageRegistry::kIid, &out), S_OK);
  auto messages = ComPtr<IMessageRegistry>::Attach(static_cast<IMessageRegistry*>(out));
  EXPECT_EQ(classes.As<IUnknown>().Get(), fresh.As<IUnknown>().Get()) << "one process-wide object";
  EXPECT_EQ(messages.As<IUnknown>().Get(), fresh.As<IUnknown>().Get());
  messages->RegisterMessageClass(0, fakes::MakeScaleEnumClass().Get());
  std::int32_t n = 0;
  fresh->GetMessageClassCount(&n);
  EXPECT_EQ(n, 1);
  KymCoUninitialize();
  HostRegistry::Install(nullptr);
}

TEST(HostRegistry, AsksEachDocumentClassForItsMenusOnce) {
  static constexpr Guid kType = Guid::Parse("{11111111-2222-3333-4444-555555555555}");
  struct MenuClass final : ComObject<ICustomDocClass> {
    int asked = 0;
    HRESULT GetClassInfo(Guid*, std::wstring*, Guid* type) override {
      *type = kType;
      return S_OK;
    }
    HRESULT CreateDocument(IHostDocument*, ICustomDocument**) override { return E_NOTIMPL; }
    HRESULT AddMenus(IMenuService* menus) override {
      ++asked;
      menus->AddMenuItem(L"Tools", L"&Tools", 0, L"", 10);
      return menus->AddMenuItem(L"Tools|Go", L"&Go", 200, L"go", 10);
    }
  };
  auto reg = MakeCom<HostRegistry>();
  auto cls = MakeCom<MenuClass>();
  reg->RegisterClassObject(cls.Get());
  ASSERT_EQ(reg->Menus().Entries().size(), 2u);
  EXPECT_EQ(reg->Menus().FindCommand(200)->caption, L"&Go");
  EXPECT_EQ(reg->Menus().FindCommand(200)->documentType, kType);  // the command goes to that document
  reg->Menus();
  EXPECT_EQ(cls->asked, 1);
}
