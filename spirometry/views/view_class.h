#pragma once
// The class object through which the host lists and creates one of the spirometry views: the view's class id,
// its display name from the string table, and a new view on a spirometry document.
#include <new>
#include <string>

#include "host/frame/idoc_view.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/resources/string_table.h"

namespace Spirometry {

// String ids of the views' names (window captions, printout titles, the host's list of views).
inline constexpr int kStringXYName = 78, kStringDataName = 79, kStringReportViewName = 87;

// The view classes are listed under this category.
inline constexpr Guid kViewCategory = Guid::Parse("{D6F52E80-B34D-11D3-80C7-005004AD3C53}");

template <class View, const Guid& kClassId, int kNameString>
class SpiroViewClass final : public ComObject<IDocViewClass> {
 public:
  HRESULT GetViewInfo(Guid* viewClassId, std::wstring* displayName, Guid* category) override {
    if (!viewClassId || !displayName || !category) return E_POINTER;
    try {
      *viewClassId = kClassId;
      *displayName = LoadString(kNameString);
      *category = kViewCategory;
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT CreateView(ICustomDocument* document, IHostDocument* host, IDocView** view) override {
    if (!view) return E_POINTER;
    *view = nullptr;
    SpiroDocument* spiro = SpiroDocument::FromUnknown(document);
    if (!spiro) return E_INVALIDARG;  // a view of another kind of document has nothing to show
    try {
      *view = MakeCom<View>(ComPtr<ICustomDocument>(document), spiro, ComPtr<IHostDocument>(host)).Detach();
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  // The creator the module's class registration holds.
  static IUnknown* Create() {
    auto* cls = new (std::nothrow) SpiroViewClass();
    if (!cls) return nullptr;
    cls->AddRef();
    return static_cast<IDocViewClass*>(cls);
  }
};

}  // namespace Spirometry
