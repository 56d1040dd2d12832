#include "host/frame/document_frame.h"

#include "host/calc/channel_data.h"
#include "host/com/memory_stream.h"
#include "host/com/text.h"
#include "host/frame/document_events.h"
#include "host/frame/host_registry.h"

namespace kymora {

namespace {
std::string StreamName(const Guid& type) { return type.ToString(); }
}  // namespace

DocumentFrame::DocumentFrame(ChannelData* data, HostRegistry* registry, MessageBoxFn messageBox)
    : mData(data), mRegistry(registry), mMessageBox(std::move(messageBox)) {}

DocumentFrame::DocumentEntry* DocumentFrame::Entry(ICustomDocument* document) {
  ComPtr<IUnknown> id;
  if (document) document->QueryInterface(IUnknown::kIid, id.PutVoid());
  for (auto& e : mDocuments)
    if (e.document.As<IUnknown>().Get() == id.Get()) return &e;
  return nullptr;
}

ComPtr<ICustomDocument> DocumentFrame::FindDocument(const Guid& documentType) const {
  for (const auto& e : mDocuments)
    if (e.type == documentType) return e.document;
  return nullptr;
}

Expected<ComPtr<ICustomDocument>> DocumentFrame::Document(const Guid& documentType) {
  if (mClosed) return Error{"the data file is closed"};
  if (auto existing = FindDocument(documentType)) return existing;
  ComPtr<ICustomDocClass> cls;
  for (const auto& c : mRegistry->ClassObjectsOf<ICustomDocClass>()) {
    Guid classId, type;
    std::wstring name;
    if (Succeeded(c->GetClassInfo(&classId, &name, &type)) && type == documentType) cls = c;
  }
  if (!cls) return Error{"no extension offers documents of type " + documentType.ToString()};
  ComPtr<ICustomDocument> doc;
  HRESULT hr = cls->CreateDocument(this, doc.Put());
  if (Failed(hr) || !doc) return Error{"the document of type " + documentType.ToString() + " could not be created"};
  mDocuments.push_back({documentType, doc, nullptr});

  auto& streams = mData->File().documentStreams;
  auto stored = streams.find(StreamName(documentType));
  if (stored != streams.end()) {
    ComPtr<IPersist> persist;
    if (doc->GetPersistentObject(kPersistKindStream, persist.Put()) == S_OK && persist) {
      auto psi = persist.As<IPersistStreamInit>();
      auto stream = MakeCom<MemoryStream>(stored->second);
      if (psi && Succeeded(psi->Load(stream.Get()))) {
        mDocuments.back().attached = psi;  // a loaded stream is stored again on every save
      } else if (mMessageBox) {
        // The bytes stay in the file untouched until the document's settings are changed and attached.
        mMessageBox(L"The stored settings of this document could not be read; they are left as they are.", L"Kymora",
                    0x30);
      }
    }
  }
  doc->OnEvent(HostEvents::kDocumentEventSet, HostEvents::kInitial);
  DeliverPosted();
  return doc;
}

Expected<ComPtr<IDocView>> DocumentFrame::OpenViewOf(const Guid& viewClassId, ICustomDocument* document) {
  if (mClosed) return Error{"the data file is closed"};
  ComPtr<IDocViewClass> cls;
  for (const auto& c : mRegistry->ClassObjectsOf<IDocViewClass>()) {
    Guid id, category;
    std::wstring name;
    if (Succeeded(c->GetViewInfo(&id, &name, &category)) && id == viewClassId) cls = c;
  }
  if (!cls) return Error{"no extension offers views of class " + viewClassId.ToString()};
  ComPtr<IDocView> view;
  if (Failed(cls->CreateView(document, this, view.Put())) || !view)
    return Error{"the view of class " + viewClassId.ToString() + " could not be created"};
  mViews.push_back({viewClassId, ComPtr<ICustomDocument>(document), view});
  view->Setup();
  if (mViewObserver) mViewObserver->ViewOpened(viewClassId, view.Get());
  return view;
}

void DocumentFrame::CloseView(IDocView* view) {
  for (auto it = mViews.begin(); it != mViews.end(); ++it) {
    if (it->view.Get() == view) {
      auto closing = it->view;
      mViews.erase(it);
      if (mViewObserver) mViewObserver->ViewClosing(closing.Get());
      closing->Close();
      return;
    }
  }
}

std::vector<ComPtr<IDocView>> DocumentFrame::Views() const {
  std::vector<ComPtr<IDocView>> r;
  for (const auto& v : mViews) r.push_back(v.view);
  return r;
}

void DocumentFrame::RaiseHostEvent(std::int32_t code) {
  auto documents = mDocuments;  // handlers may open documents or views
  for (auto& d : documents) d.document->OnEvent(HostEvents::kDocumentEventSet, code);
  auto views = mViews;
  for (auto& v : views) v.view->OnEvent(HostEvents::kDocumentEventSet, code);
  DeliverPosted();
}

HRESULT DocumentFrame::ExecuteCommand(std::uint32_t commandId) {
  auto documents = mDocuments;
  HRESULT result = S_FALSE;
  for (auto& d : documents) {
    result = d.document->ExecuteCommand(commandId);
    if (result != S_FALSE) break;
  }
  DeliverPosted();
  return result;
}

Status DocumentFrame::SendScriptMessage(const std::wstring& messageName, const std::vector<MessageValue>& values) {
  for (const auto& c : mRegistry->MessageClasses()) {
    auto cls = c.As<IMessageClass>();
    std::wstring name, group, description;
    if (!cls || Failed(cls->GetClassRecord(&name, &group, &description)) || name != messageName) continue;
    Guid nameSpace;
    std::int32_t local = 0;
    std::uint16_t index = 0;
    cls->GetMessageId(&nameSpace, &local);
    GetNamespaceIndex(nameSpace, &index);
    std::vector<std::uint8_t> record;
    auto id = (static_cast<std::uint32_t>(index) << 16) | static_cast<std::uint32_t>(local & 0xFFFF);
    if (Failed(cls->BuildMessage(id, static_cast<std::int32_t>(values.size()), values.data(), &record)))
      return Error{"the message " + ToUtf8(messageName) + " does not take those values"};
    auto target = Document(nameSpace);
    if (!target) return Error{target.ErrorMessage()};
    HRESULT hr = PostMessage(target->Get(), record.data(), static_cast<std::int32_t>(record.size()), kSendImmediately);
    if (hr != S_OK) return Error{"the document did not accept the message " + ToUtf8(messageName)};
    DeliverPosted();
    return Ok();
  }
  return Error{"no extension offers the message " + ToUtf8(messageName)};
}

void DocumentFrame::DeliverPosted() {
  if (mDelivering) return;  // a handler that posts again is served by the loop below
  mDelivering = true;
  while (!mPosted.empty() && !mClosed) {
    auto next = std::move(mPosted.front());
    mPosted.pop_front();
    next.target->HandleMessage(next.record.data(), static_cast<std::int32_t>(next.record.size()));
  }
  mDelivering = false;
}

Status DocumentFrame::StoreDocumentStreams(DataFile& file) {
  for (auto& d : mDocuments) {
    if (!d.attached) continue;
    auto stream = MakeCom<MemoryStream>();
    if (Failed(d.attached->Save(stream.Get(), kTrue16)))
      return Error{"the settings of the document " + d.type.ToString() + " could not be saved"};
    file.documentStreams[StreamName(d.type)] = stream->Bytes();
  }
  return Ok();
}

void DocumentFrame::Shutdown() {
  if (mClosed) return;
  mClosed = true;
  auto views = std::move(mViews);
  mViews.clear();
  for (auto& v : views) {
    if (mViewObserver) mViewObserver->ViewClosing(v.view.Get());
    v.view->Close();
  }
  views.clear();
  mPosted.clear();
  mClipboard.Reset();
  mServices.Reset();
  mPostListener = nullptr;
  auto documents = std::move(mDocuments);
  mDocuments.clear();
  for (auto& d : documents) d.document->Close();
}

HRESULT DocumentFrame::GetChannelData(IChannelData** data) {
  if (!data) return E_POINTER;
  *data = nullptr;
  if (mClosed) return E_FAIL;
  *data = mData;
  mData->AddRef();
  return S_OK;
}

HRESULT DocumentFrame::GetNamespaceIndex(const Guid& nameSpace, std::uint16_t* index) {
  return mRegistry->GetNamespaceIndex(nameSpace, index);
}

HRESULT DocumentFrame::OpenView(const Guid& viewClassId, ICustomDocument* document) {
  auto view = OpenViewOf(viewClassId, document);
  if (!view) {
    if (mMessageBox) mMessageBox(FromUtf8(view.ErrorMessage()), L"Kymora", 0x10);
    return E_FAIL;
  }
  return S_OK;
}

HRESULT DocumentFrame::IsViewOpen(const Guid& viewClassId, ICustomDocument* document) {
  ComPtr<IUnknown> id;
  if (document) document->QueryInterface(IUnknown::kIid, id.PutVoid());
  for (const auto& v : mViews)
    if (v.viewClassId == viewClassId && v.document.As<IUnknown>().Get() == id.Get()) return S_OK;
  return S_FALSE;
}

HRESULT DocumentFrame::PostMessage(ICustomDocument* target, const void* record, std::int32_t size,
                                   std::uint32_t flags) {
  if (!target || !record || size < 4) return E_INVALIDARG;
  if (mClosed) return E_FAIL;
  if (flags & kSendImmediately) return target->HandleMessage(record, size);
  auto bytes = static_cast<const std::uint8_t*>(record);
  mPosted.push_back({ComPtr<ICustomDocument>(target), std::vector<std::uint8_t>(bytes, bytes + size)});
  if (mPostListener) mPostListener();
  return S_OK;
}

HRESULT DocumentFrame::NotifyViews(ICustomDocument* document, const Guid& eventSet, std::int32_t code) {
  ComPtr<IUnknown> id;
  if (document) document->QueryInterface(IUnknown::kIid, id.PutVoid());
  auto views = mViews;
  for (auto& v : views)
    if (v.document.As<IUnknown>().Get() == id.Get()) v.view->OnEvent(eventSet, code);
  return S_OK;
}

HRESULT DocumentFrame::SetModified() {
  mModified = true;
  return S_OK;
}

HRESULT DocumentFrame::AttachPersistentObject(ICustomDocument* document, IPersistStreamInit* object) {
  auto* e = Entry(document);
  if (!e || !object) return E_INVALIDARG;
  e->attached = ComPtr<IPersistStreamInit>(object);
  mModified = true;
  return S_OK;
}

HRESULT DocumentFrame::ShowMessageBox(const wchar_t* text, const wchar_t* caption, std::uint32_t style) {
  if (!mMessageBox) return E_FAIL;
  return mMessageBox(text ? text : L"", caption ? caption : L"", style);
}

HRESULT DocumentFrame::QueryOtherInterface(const Guid& iid, void** out) {
  if (mClosed) return E_NOINTERFACE;
  if (iid == IClipboard::kIid && mClipboard) return mClipboard->QueryInterface(iid, out);
  if (mServices) return mServices->QueryInterface(iid, out);
  return E_NOINTERFACE;
}

HRESULT DocumentFrame::GetHostWindow(std::uintptr_t* window) {
  if (!window) return E_POINTER;
  *window = mHostWindow;
  return S_OK;
}

}  // namespace kymora
