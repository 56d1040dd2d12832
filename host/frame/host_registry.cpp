#include "host/frame/host_registry.h"

#include <algorithm>

#include "host/com/runtime.h"
#include "host/frame/icustom_document.h"

namespace kymora {

namespace {
std::mutex gCurrentLock;
ComPtr<HostRegistry>& CurrentSlot() {
  static auto* slot = new ComPtr<HostRegistry>();  // lives for the process
  return *slot;
}
}  // namespace

ComPtr<HostRegistry> HostRegistry::Current() {
  std::lock_guard g(gCurrentLock);
  auto& slot = CurrentSlot();
  if (!slot) slot = MakeCom<HostRegistry>();
  return slot;
}

void HostRegistry::Install(ComPtr<HostRegistry> registry) {
  std::lock_guard g(gCurrentLock);
  CurrentSlot() = std::move(registry);
}

void HostRegistry::RegisterWithComponentLibrary() {
  KymRegisterClassFactory(kHostRegistryClassId,
                          [](const Guid& iid, void** out) { return Current()->QueryInterface(iid, out); });
}

std::vector<ComPtr<IUnknown>> HostRegistry::ClassObjects() const {
  std::lock_guard g(mLock);
  return mClassObjects;
}

std::vector<ComPtr<IUnknown>> HostRegistry::MessageClasses() const {
  std::lock_guard g(mLock);
  return mMessageClasses;
}

MenuModel& HostRegistry::Menus() {
  auto classes = ClassObjects();
  for (; mMenusAskedUpTo < classes.size(); ++mMenusAskedUpTo) {
    if (!classes[mMenusAskedUpTo]) continue;
    auto docClass = classes[mMenusAskedUpTo].As<ICustomDocClass>();
    if (!docClass) continue;
    Guid classId, documentType;
    std::wstring name;
    if (Failed(docClass->GetClassInfo(&classId, &name, &documentType))) documentType = Guid{};
    mMenus->SetOwner(documentType);
    docClass->AddMenus(mMenus.Get());
  }
  return *mMenus;
}

HRESULT HostRegistry::GetClassCount(std::int32_t* count) {
  if (!count) return E_POINTER;
  std::lock_guard g(mLock);
  *count = static_cast<std::int32_t>(mClassObjects.size());
  return S_OK;
}

HRESULT HostRegistry::GetClassObject(std::int32_t index, IUnknown** classObject) {
  if (!classObject) return E_POINTER;
  *classObject = nullptr;
  std::lock_guard g(mLock);
  if (index < 0 || index >= static_cast<std::int32_t>(mClassObjects.size())) return E_INVALIDARG;
  return mClassObjects[index].CopyTo(classObject);
}

HRESULT HostRegistry::UnregisterClassObject(IUnknown* classObject) {
  std::lock_guard g(mLock);
  auto it = std::find_if(mClassObjects.begin(), mClassObjects.end(),
                         [&](const ComPtr<IUnknown>& c) { return c.Get() == classObject; });
  if (it == mClassObjects.end()) return S_FALSE;
  mClassObjects.erase(it);
  return S_OK;
}

HRESULT HostRegistry::RegisterClassObject(IUnknown* classObject) {
  ComPtr<IUnknown> object;
  if (classObject) classObject->QueryInterface(IUnknown::kIid, object.PutVoid());
  {
    std::lock_guard g(mLock);
    mClassObjects.push_back(object);
  }
  if (!object) return E_POINTER;
  HRESULT hr = S_OK;
  if (auto calc = object.As<ICalculationClass>()) hr = mCalculations.Register(calc.Get());
  if (auto enumClass = object.As<ICalcEnumClass>()) {
    HRESULT e = mEnums.Register(enumClass.Get());
    if (Failed(e)) hr = e;
  }
  return hr;
}

HRESULT HostRegistry::RegisterMessageClass(std::int32_t, IUnknown* messageClass) {
  if (!messageClass) return E_POINTER;
  std::lock_guard g(mLock);
  mMessageClasses.emplace_back(messageClass);
  return S_OK;
}

HRESULT HostRegistry::GetMessageClassCount(std::int32_t* count) {
  if (!count) return E_POINTER;
  std::lock_guard g(mLock);
  *count = static_cast<std::int32_t>(mMessageClasses.size());
  return S_OK;
}

HRESULT HostRegistry::GetMessageClass(std::int32_t index, IUnknown** messageClass) {
  if (!messageClass) return E_POINTER;
  *messageClass = nullptr;
  std::lock_guard g(mLock);
  if (index < 0 || index >= static_cast<std::int32_t>(mMessageClasses.size())) return E_INVALIDARG;
  return mMessageClasses[index].CopyTo(messageClass);
}

HRESULT HostRegistry::GetNamespaceIndex(const Guid& nameSpace, std::uint16_t* index) {
  if (!index) return E_POINTER;
  std::lock_guard g(mLock);
  auto it = mNamespaces.find(nameSpace);
  if (it == mNamespaces.end()) {
    if (mNamespaces.size() >= 0xFFFF) return E_FAIL;
    it = mNamespaces.emplace(nameSpace, static_cast<std::uint16_t>(mNamespaces.size() + 1)).first;
  }
  *index = it->second;
  return S_OK;
}

}  // namespace kymora
