#pragma once
// For the extension's tests: the host with the classes of the extension objects linked into the test.
#include <memory>
#include <string>
#include <vector>

#include "host/frame/host_document.h"
#include "host/frame/host_registry.h"

namespace Spirometry::testing {

// A fresh host registry holding every static class object and message class linked into the test
// program (as the module's entry point would register them), installed as the host's current registry.
ComPtr<kymora::HostRegistry> InstallModuleClasses();

// A host document over a data file built in memory, with the current registry; message boxes are
// recorded in *messages (text) when given.
std::unique_ptr<kymora::HostDocument> MakeDocument(std::shared_ptr<kymora::DataFile> file,
                                                   std::vector<std::wstring>* messages = nullptr);

}  // namespace Spirometry::testing
