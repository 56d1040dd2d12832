#include "spirometry/extension/module_entry.h"

#include <gtest/gtest.h>

#include "host/com/memory_stream.h"
#include "host/com/runtime.h"
#include "host/frame/host_registry.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/support/self_registration.h"

using kymora::HostRegistry;

namespace {
IUnknown* StreamObject() {
  static IUnknown* object = MakeCom<MemoryStream>().Detach();  // lives for the test program
  return object;
}
IUnknown* FailedAllocation() { return nullptr; }
}  // namespace

TEST(SelfRegistration, NodesArePushedAtTheHeadAndWalkedFromTheNewest) {
  // Nodes stay linked for the life of the program, as a module's static objects do.
  auto* before = Qor::ClassObjectNode::Head();
  static Qor::ClassObjectNode first(&StreamObject);
  static Qor::ClassObjectNode second(&FailedAllocation);
  EXPECT_EQ(Qor::ClassObjectNode::Head(), &second);
  EXPECT_EQ(second.Next(), &first);
  EXPECT_EQ(first.Next(), before);
}

// The entry point reaches the host registry through the component library. When the library is not yet
// initialised, the first creation fails; the module initialises the library and tries once more.
TEST(ModuleEntry, InitialisesTheComponentLibraryOnceAndRegistersInOrder) {
  auto registry = MakeCom<HostRegistry>();
  HostRegistry::Install(registry);
  HostRegistry::RegisterWithComponentLibrary();
  void* probe = nullptr;
  ASSERT_EQ(KymCoCreateInstance(&kHostRegistryClassId, nullptr, 0x17, &IClassRegistry::kIid, &probe),
            CO_E_NOTINITIALIZED)
      << "the test starts with the component library uninitialised";

  // A frame class slot whose creation fails registers a null pointer in its place.
  auto& slot = Spirometry::FrameClassSlot(Spirometry::FrameClass::kCsvSave);
  auto saved = slot;
  slot = &FailedAllocation;
  std::size_t staticObjects = 0;
  for (auto* n = Qor::ClassObjectNode::Head(); n; n = n->Next()) ++staticObjects;

  EXPECT_EQ(DllRegisterClassObjects(), 0);
  slot = saved;

  auto registered = registry->ClassObjects();
  ASSERT_GE(registered.size(), staticObjects + 1);
  std::size_t i = 0;
  for (auto* n = Qor::ClassObjectNode::Head(); n; n = n->Next(), ++i) {
    ComPtr<IUnknown> expected;
    if (IUnknown* o = n->Get()) o->QueryInterface(IUnknown::kIid, expected.PutVoid());
    EXPECT_EQ(registered[i].Get(), expected.Get()) << "static class object " << i << ", newest first";
  }
  EXPECT_EQ(registered[staticObjects].Get(), nullptr) << "the failed frame class keeps its place";

  // The module initialised the library: creation now succeeds.
  ASSERT_EQ(KymCoCreateInstance(&kHostRegistryClassId, nullptr, 0x17, &IClassRegistry::kIid, &probe), S_OK);
  static_cast<IUnknown*>(probe)->Release();
  HostRegistry::Install(nullptr);
}
