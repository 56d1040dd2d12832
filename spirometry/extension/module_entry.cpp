#include "spirometry/extension/module_entry.h"

#include <mutex>

#include "host/com/runtime.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/support/self_registration.h"

namespace Spirometry {

namespace {
constexpr std::uint32_t kAllContexts = 0x17;

// Initialises the component library at most once for the module, and balances it at module exit.
class ComponentLibrary {
 public:
  void EnsureInitialised() {
    if (!mInitialised) mInitialised = Succeeded(KymCoInitialize());
  }
  ~ComponentLibrary() {
    if (mInitialised) KymCoUninitialize();
  }

 private:
  bool mInitialised = false;
};

// One host registry interface, created on first use under its lock. If the first creation fails, the
// component library is initialised and the creation tried once more; a second failure leaves it null.
template <class I>
class RegistrySingleton {
 public:
  I* Get(ComponentLibrary& library, std::mutex& libraryLock) {
    std::lock_guard g(mLock);
    if (!mTried) {
      mTried = true;
      if (Failed(Create())) {
        {
          std::lock_guard lg(libraryLock);
          library.EnsureInitialised();
        }
        if (Failed(Create())) mPtr.Reset();
      }
    }
    return mPtr.Get();
  }

 private:
  HRESULT Create() {
    return KymCoCreateInstance(&kHostRegistryClassId, nullptr, kAllContexts, &I::kIid, mPtr.PutVoid());
  }

  std::mutex mLock;
  bool mTried = false;
  ComPtr<I> mPtr;  // released at module exit
};

// Declaration order matters for destruction at module exit: the registries go before the library.
std::mutex gLibraryLock;
ComponentLibrary gLibrary;
RegistrySingleton<IClassRegistry> gClassRegistry;
RegistrySingleton<IMessageRegistry> gMessageRegistry;

FrameClassCreator gFrameSlots[static_cast<int>(FrameClass::kCount)] = {};
}  // namespace

FrameClassCreator& FrameClassSlot(FrameClass which) { return gFrameSlots[static_cast<int>(which)]; }

IClassRegistry* ClassRegistry() { return gClassRegistry.Get(gLibrary, gLibraryLock); }
IMessageRegistry* MessageRegistry() { return gMessageRegistry.Get(gLibrary, gLibraryLock); }

}  // namespace Spirometry

extern "C" int DllRegisterClassObjects() {
  using namespace Spirometry;
  try {
    IClassRegistry* classes = ClassRegistry();
    for (auto* node = Qor::ClassObjectNode::Head(); node; node = node->Next()) {
      if (classes) classes->RegisterClassObject(node->Get());
    }
    IMessageRegistry* messages = MessageRegistry();
    for (auto* node = Qor::MessageNode::Head(); node; node = node->Next()) {
      if (messages) messages->RegisterMessageClass(0, node->Get());
    }
    for (int i = 0; i < static_cast<int>(FrameClass::kCount); ++i) {
      FrameClassCreator create = FrameClassSlot(static_cast<FrameClass>(i));
      if (!create) continue;  // the class is not part of this build
      IUnknown* object = create();
      if (classes) classes->RegisterClassObject(object);  // a failed allocation registers null
      if (object) object->Release();
    }
  } catch (...) {
    // Registration failures are never reported to the host.
  }
  return 0;
}
