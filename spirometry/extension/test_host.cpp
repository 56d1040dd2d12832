#include "spirometry/extension/test_host.h"

#include "spirometry/support/self_registration.h"

namespace Spirometry::testing {

ComPtr<kymora::HostRegistry> InstallModuleClasses() {
  auto registry = MakeCom<kymora::HostRegistry>();
  for (auto* node = Qor::ClassObjectNode::Head(); node; node = node->Next())
    if (IUnknown* o = node->Get()) registry->RegisterClassObject(o);
  for (auto* node = Qor::MessageNode::Head(); node; node = node->Next())
    if (IUnknown* o = node->Get()) registry->RegisterMessageClass(0, o);
  kymora::HostRegistry::Install(registry);
  return registry;
}

std::unique_ptr<kymora::HostDocument> MakeDocument(std::shared_ptr<kymora::DataFile> file,
                                                   std::vector<std::wstring>* messages) {
  kymora::MessageBoxFn box = [messages](const std::wstring& text, const std::wstring&, std::uint32_t) {
    if (messages) messages->push_back(text);
    return 1;
  };
  return kymora::HostDocument::FromFile(std::move(file), "test.kymo", box, nullptr);
}

}  // namespace Spirometry::testing
