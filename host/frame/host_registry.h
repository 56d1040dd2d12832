#pragma once
// The process-wide registry object behind IClassRegistry, IMessageRegistry and IIdService. It files
// calculation classes and calculation-enumerator classes into the registries the data access and the
// expression engine read, and keeps every other class object in registration order for the frame.
#include <map>
#include <mutex>
#include <vector>

#include "host/calc/calc_registries.h"
#include "host/com/com_object.h"
#include "host/frame/iclass_registry.h"
#include "host/frame/iid_service.h"
#include "host/frame/imessage_registry.h"
#include "host/frame/menu_model.h"

namespace kymora {

class HostRegistry final : public ComObject<IClassRegistry, IMessageRegistry, IIdService> {
 public:
  // The instance the component library hands out for kHostRegistryClassId. Install replaces it (tests
  // install a fresh one); Current creates one on first use.
  static ComPtr<HostRegistry> Current();
  static void Install(ComPtr<HostRegistry> registry);
  // Makes kHostRegistryClassId creatable through the component library (done once at host start-up).
  static void RegisterWithComponentLibrary();

  const CalcEnumRegistry& Enums() const { return mEnums; }
  const CalculationRegistry& Calculations() const { return mCalculations; }
  // Every registered class object in order (null entries included).
  std::vector<ComPtr<IUnknown>> ClassObjects() const;
  std::vector<ComPtr<IUnknown>> MessageClasses() const;
  // The host's menus: asks every document class registered since the last call to add its menus (once
  // per class), then answers the model the front ends show.
  MenuModel& Menus();
  // Class objects answering an interface, in registration order.
  template <class I>
  std::vector<ComPtr<I>> ClassObjectsOf() const {
    std::vector<ComPtr<I>> r;
    for (const auto& c : ClassObjects())
      if (c)
        if (auto i = c.template As<I>()) r.push_back(i);
    return r;
  }

  HRESULT GetClassCount(std::int32_t* count) override;
  HRESULT GetClassObject(std::int32_t index, IUnknown** classObject) override;
  HRESULT UnregisterClassObject(IUnknown* classObject) override;
  HRESULT RegisterClassObject(IUnknown* classObject) override;
  HRESULT RegisterMessageClass(std::int32_t reserved, IUnknown* messageClass) override;
  HRESULT GetMessageClassCount(std::int32_t* count) override;
  HRESULT GetMessageClass(std::int32_t index, IUnknown** messageClass) override;
  HRESULT GetNamespaceIndex(const Guid& nameSpace, std::uint16_t* index) override;

 private:
  mutable std::mutex mLock;
  CalcEnumRegistry mEnums;
  CalculationRegistry mCalculations;
  std::vector<ComPtr<IUnknown>> mClassObjects;
  std::vector<ComPtr<IUnknown>> mMessageClasses;
  std::map<Guid, std::uint16_t> mNamespaces;
  ComPtr<MenuModel> mMenus = MakeCom<MenuModel>();
  std::size_t mMenusAskedUpTo = 0;  // class objects already asked for their menus
};

}  // namespace kymora
