// The class object through which the host creates spirometry documents and asks for their menus.
#include <new>

#include "host/frame/icustom_document.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/extension/menus.h"

namespace Spirometry {

namespace {
constexpr Guid kSpiroDocumentClassId = Guid::Parse("{D6F52E84-B34D-11D3-80C7-005004AD3C53}");

class SpiroDocClass final : public ComObject<ICustomDocClass> {
 public:
  HRESULT GetClassInfo(Guid* classId, std::wstring* name, Guid* documentType) override {
    if (!classId || !name || !documentType) return E_POINTER;
    try {
      *classId = kSpiroDocumentClassId;
      *name = L"SpiroDocument";
      *documentType = kSpiroDocumentGuid;
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT CreateDocument(IHostDocument* host, ICustomDocument** document) override {
    if (!document) return E_POINTER;
    *document = nullptr;
    if (!host) return E_INVALIDARG;
    try {
      auto created = MakeCom<SpiroDocument>(host);
      *document = static_cast<ICustomDocument*>(created.Detach());
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT AddMenus(IMenuService* menus) override {
    bool failed = false;
    AddSpirometryMenus(menus, &failed);
    return failed ? S_FALSE : S_OK;
  }
};

IUnknown* CreateSpiroDocClass() {
  auto* cls = new (std::nothrow) SpiroDocClass();
  if (!cls) return nullptr;
  cls->AddRef();
  return static_cast<ICustomDocClass*>(cls);
}

FrameClassRegistration gSpiroDocClass(FrameClass::kDocument, &CreateSpiroDocClass);
}  // namespace

}  // namespace Spirometry
