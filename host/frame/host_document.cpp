#include "host/frame/host_document.h"

#include <algorithm>
#include <filesystem>

#include "host/data/storage/kymo_storage.h"
#include "host/expr/engine.h"
#include "host/expr/iexpression_engine.h"
#include "host/frame/document_events.h"

namespace kymora {

bool IsKymoPath(const std::string& path) {
  auto dot = path.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == "kymo";
}

HostDocument::HostDocument(std::shared_ptr<DataFile> file, std::string path, MessageBoxFn messageBox)
    : mPath(std::move(path)), mMessageBox(std::move(messageBox)), mRegistry(HostRegistry::Current()) {
  HostServices services;
  services.enums = &mRegistry->Enums();
  services.calculations = &mRegistry->Calculations();
  services.messageBox = mMessageBox;
  mData = MakeCom<ChannelData>(std::move(file), services);
  // The engine is a separate object holding a reference to the data, handed out on request.
  ChannelData* data = mData.Get();
  const CalcEnumRegistry* enums = &mRegistry->Enums();
  mData->SetInterfaceProvider([data, enums](const Guid& iid, void** out) -> HRESULT {
    if (iid != IExpressionEngine::kIid && iid != IExpressionEngine2::kIid) return E_NOINTERFACE;
    return MakeCom<expr::Engine>(data, enums)->QueryInterface(iid, out);
  });
  mFrame = MakeCom<DocumentFrame>(mData.Get(), mRegistry.Get(), mMessageBox);
  mClipboard = MakeCom<MemoryClipboard>();
  mFrame->SetClipboard(mClipboard);
  mData->SetChangeListener([frame = mFrame.Get()](std::int32_t) { frame->SetModified(); });
}

HostDocument::~HostDocument() {
  // Documents and calculations hold references back to the frame and the data: close them first.
  if (mFrame) mFrame->Shutdown();
  if (mData) mData->Shutdown();
}

void HostDocument::SetSelection(const Selection& selection) {
  File().selection = selection;
  mFrame->RaiseHostEvent(HostEvents::kChanged);
}

std::unique_ptr<HostDocument> HostDocument::FromFile(std::shared_ptr<DataFile> file, std::string path,
                                                     MessageBoxFn messageBox, std::vector<std::string>* warnings) {
  std::unique_ptr<HostDocument> doc(new HostDocument(std::move(file), std::move(path), std::move(messageBox)));
  doc->mData->AttachStoredCalculations(warnings);
  return doc;
}

Expected<std::unique_ptr<HostDocument>> HostDocument::Open(const std::string& path,
                                                           const import::ImportOptions& options,
                                                           MessageBoxFn messageBox, std::vector<std::string>* warnings,
                                                           storage::LoadMode mode) {
  if (IsKymoPath(path)) {
    storage::ChangeStamp stamp = 0;
    auto loaded = storage::LoadKymo(path, &stamp, mode);
    if (!loaded) return Error{loaded.ErrorMessage()};
    auto doc = FromFile(std::make_shared<DataFile>(std::move(*loaded)), path, std::move(messageBox), warnings);
    doc->mLoadedStamp = stamp;
    return doc;
  }
  auto imported = import::ImportRecording(path, options);
  if (!imported) return Error{imported.ErrorMessage()};
  if (warnings) warnings->insert(warnings->end(), imported->warnings.begin(), imported->warnings.end());
  return FromFile(std::make_shared<DataFile>(std::move(imported->file)), path, std::move(messageBox), warnings);
}

bool HostDocument::IsKymo() const { return IsKymoPath(mPath); }

Status HostDocument::Save(const std::string& path, bool mayReplace) {
  auto stored = mData->StoreCalculations();
  if (!stored) return stored;
  auto streams = mFrame->StoreDocumentStreams(File());
  if (!streams) return streams;
  // Saving back to the file the content came from must not overwrite what another program saved there
  // meanwhile; any other target is a "save as" that replaces what it finds.
  storage::SaveOptions options;
  options.onlyNew = !mayReplace;
  std::error_code ec;
  const bool sameFile = mLoadedStamp && std::filesystem::equivalent(path, mPath, ec);
  if (sameFile) options.expectedStamp = mLoadedStamp;
  storage::SaveStats stats;
  auto saved = storage::SaveKymo(path, File(), options, &stats);
  if (saved && sameFile) mLoadedStamp = stats.stamp;
  return saved;
}

}  // namespace kymora
