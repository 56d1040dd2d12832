#pragma once
// The host's side of a data file as the extension's documents and views see it: data, views, messages,
// notifications, persistence, message boxes. Implemented by the host; called on the user-interface thread.
#include <string>

#include "host/com/ipersist_stream_init.h"

struct IChannelData;
struct ICustomDocument;
struct IExpressionEngine;

struct IHostDocument : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A20-4B7C-4E59-8F0A-2C3D4E5F6A01}");
  // out: the data access of the file (one reference). It also answers IExpressionEngine.
  virtual HRESULT GetChannelData(IChannelData** data) = 0;  // slot 3
  // in: namespace GUID; out: its 16-bit index (command and message ids are (index << 16) | local id).
  virtual HRESULT GetNamespaceIndex(const Guid& nameSpace, std::uint16_t* index) = 0;  // slot 4
  // Opens a view of the view class on the document. S_OK when a view was opened.
  virtual HRESULT OpenView(const Guid& viewClassId, ICustomDocument* document) = 0;  // slot 5
  // S_OK when a view of the class is open on the document, S_FALSE otherwise.
  virtual HRESULT IsViewOpen(const Guid& viewClassId, ICustomDocument* document) = 0;  // slot 6
  // in: the message record (its first int32 is the message id), its size, flags. With kSendImmediately the
  // target handles it before the call returns; otherwise it is queued and delivered after the current
  // operation. The host copies the record.
  virtual HRESULT PostMessage(ICustomDocument* target, const void* record, std::int32_t size,
                              std::uint32_t flags) = 0;  // slot 7
  // Raises an event of the document's own event set to the views open on it.
  virtual HRESULT NotifyViews(ICustomDocument* document, const Guid& eventSet, std::int32_t code) = 0;  // slot 8
  // The document's content changed: the host marks the data file modified.
  virtual HRESULT SetModified() = 0;  // slot 9
  // From now on the host stores the object as the document's stream in the data file (it holds a reference).
  virtual HRESULT AttachPersistentObject(ICustomDocument* document, IPersistStreamInit* object) = 0;  // slot 10
  // Shows a modal message box. Returns the button chosen (1 = OK).
  virtual HRESULT ShowMessageBox(const wchar_t* text, const wchar_t* caption, std::uint32_t style) = 0;  // slot 11
  // out: the window that parents dialogs: on the desktop the main window's QWidget*, 0 on the command line.
  virtual HRESULT GetHostWindow(std::uintptr_t* window) = 0;  // slot 12
};
