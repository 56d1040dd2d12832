#pragma once
// Documents that extensions attach to a host data file, and their classes.
#include <string>

#include "host/com/ipersist_stream_init.h"

struct IHostDocument;
struct IMenuService;

struct ICustomDocument : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A20-4B7C-4E59-8F0A-2C3D4E5F6A02}");
  // out: the document type (the key under which the host keeps one document per data file).
  virtual HRESULT GetDocumentType(Guid* type) = 0;  // slot 3
  // An event of the host's document event set (HostEvents) or of another set.
  virtual HRESULT OnEvent(const Guid& eventSet, std::int32_t code) = 0;  // slot 4
  // Runs a command: a menu command id of the document class's menus, or (namespace index << 16) | local id.
  // S_OK when handled, S_FALSE when the command is not the document's.
  virtual HRESULT ExecuteCommand(std::uint32_t commandId) = 0;  // slot 5
  // out: whether the command is enabled. S_FALSE when the command is not the document's.
  virtual HRESULT UpdateCommand(std::uint32_t commandId, Bool16* enabled) = 0;  // slot 6
  // in: a message record (first int32: the message id) and its size. S_OK handled, S_FALSE not the
  // document's message, a failure when the record is malformed.
  virtual HRESULT HandleMessage(const void* record, std::int32_t size) = 0;  // slot 7
  // in: kind (kPersistKindStream); out: the object the host stores as the document's stream, or null with
  // S_FALSE when the document offers none for that kind.
  virtual HRESULT GetPersistentObject(std::int32_t kind, IPersist** object) = 0;  // slot 8
  // The data file is closing: release the host interfaces.
  virtual HRESULT Close() = 0;  // slot 9
};

struct ICustomDocClass : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A20-4B7C-4E59-8F0A-2C3D4E5F6A03}");
  // out: class id, class name and the document type the class creates.
  virtual HRESULT GetClassInfo(Guid* classId, std::wstring* name, Guid* documentType) = 0;  // slot 3
  // in: the host document; out: a new document attached to it (one reference).
  virtual HRESULT CreateDocument(IHostDocument* host, ICustomDocument** document) = 0;  // slot 4
  // Adds the class's menus to the host's menus.
  virtual HRESULT AddMenus(IMenuService* menus) = 0;  // slot 5
};
