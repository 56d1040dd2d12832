#pragma once
// The host's frame around one data file: the extension documents attached to it (one per document type),
// the views open on them, the routing of commands, messages and events, and the documents' streams.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "host/com/com_object.h"
#include "host/com/expected.h"
#include "host/data/data_file.h"
#include "host/frame/iclipboard.h"
#include "host/frame/icustom_document.h"
#include "host/frame/idoc_view.h"
#include "host/frame/ihost_document.h"
#include "host/frame/imessage_class.h"

namespace kymora {

class ChannelData;
class HostRegistry;

class DocumentFrame final : public ComObject<IHostDocument> {
 public:
  using MessageBoxFn = std::function<int(const std::wstring&, const std::wstring&, std::uint32_t)>;
  // A front end that shows views in windows hears of each view after its Setup and before its Close.
  class ViewObserver {
   public:
    virtual void ViewOpened(const Guid& viewClassId, IDocView* view) = 0;
    virtual void ViewClosing(IDocView* view) = 0;

   protected:
    ~ViewObserver() = default;
  };
  DocumentFrame(ChannelData* data, HostRegistry* registry, MessageBoxFn messageBox);

  // The document of a type, created through its registered class on first request. A stream stored in
  // the data file under the type is loaded into it before it receives the initial event.
  Expected<ComPtr<ICustomDocument>> Document(const Guid& documentType);
  ComPtr<ICustomDocument> FindDocument(const Guid& documentType) const;
  // Opens a view of the class on the document (as the document's commands do) and returns it.
  Expected<ComPtr<IDocView>> OpenViewOf(const Guid& viewClassId, ICustomDocument* document);
  void CloseView(IDocView* view);
  std::vector<ComPtr<IDocView>> Views() const;

  // Raises an event of the host's document event set: to every document, then to every view.
  void RaiseHostEvent(std::int32_t code);
  // Runs a command (a menu command id or a namespaced id) on the documents until one handles it.
  HRESULT ExecuteCommand(std::uint32_t commandId);
  // Builds a scripting message from named values through its registered message class and sends it to the
  // document of the message's namespace, exactly as a script would.
  Status SendScriptMessage(const std::wstring& messageName, const std::vector<MessageValue>& values);
  // Delivers the queued messages.
  void DeliverPosted();

  // Writes the stream of every document whose persistent object is attached into the file.
  Status StoreDocumentStreams(DataFile& file);
  bool Modified() const { return mModified; }
  // After a save: the file on disk holds everything.
  void ClearModified() { mModified = false; }
  // The clipboard the documents and views reach by QueryInterface on this object.
  void SetClipboard(ComPtr<IClipboard> clipboard) { mClipboard = std::move(clipboard); }
  // The front end's services (view host, printing, dialogs, help, timers): interfaces this object does not
  // answer itself are asked of it.
  void SetServices(ComPtr<IUnknown> services) { mServices = std::move(services); }
  // The window that parents dialogs (GetHostWindow); 0 when the front end has none.
  void SetHostWindow(std::uintptr_t window) { mHostWindow = window; }
  void SetViewObserver(ViewObserver* observer) { mViewObserver = observer; }
  // Called when a message is queued, so that an event loop can deliver it soon (DeliverPosted).
  void SetPostListener(std::function<void()> listener) { mPostListener = std::move(listener); }
  // Closes the views and documents; the frame answers nothing afterwards.
  void Shutdown();

  // IHostDocument
  HRESULT GetChannelData(IChannelData** data) override;
  HRESULT GetNamespaceIndex(const Guid& nameSpace, std::uint16_t* index) override;
  HRESULT OpenView(const Guid& viewClassId, ICustomDocument* document) override;
  HRESULT IsViewOpen(const Guid& viewClassId, ICustomDocument* document) override;
  HRESULT PostMessage(ICustomDocument* target, const void* record, std::int32_t size, std::uint32_t flags) override;
  HRESULT NotifyViews(ICustomDocument* document, const Guid& eventSet, std::int32_t code) override;
  HRESULT SetModified() override;
  HRESULT AttachPersistentObject(ICustomDocument* document, IPersistStreamInit* object) override;
  HRESULT ShowMessageBox(const wchar_t* text, const wchar_t* caption, std::uint32_t style) override;
  HRESULT GetHostWindow(std::uintptr_t* window) override;

 protected:
  HRESULT QueryOtherInterface(const Guid& iid, void** out) override;

 private:
  struct DocumentEntry {
    Guid type;
    ComPtr<ICustomDocument> document;
    ComPtr<IPersistStreamInit> attached;
  };
  struct ViewEntry {
    Guid viewClassId;
    ComPtr<ICustomDocument> document;
    ComPtr<IDocView> view;
  };
  struct Posted {
    ComPtr<ICustomDocument> target;
    std::vector<std::uint8_t> record;
  };
  DocumentEntry* Entry(ICustomDocument* document);

  ChannelData* mData;
  HostRegistry* mRegistry;
  MessageBoxFn mMessageBox;
  std::vector<DocumentEntry> mDocuments;
  std::vector<ViewEntry> mViews;
  std::deque<Posted> mPosted;
  ComPtr<IClipboard> mClipboard;
  ComPtr<IUnknown> mServices;
  std::uintptr_t mHostWindow = 0;
  ViewObserver* mViewObserver = nullptr;
  std::function<void()> mPostListener;
  bool mModified = false;
  bool mClosed = false;
  bool mDelivering = false;
};

}  // namespace kymora
