#pragma once
// Classes that save a document in another file type (exports), registered by extensions. The host offers
// their file types on its save-as list and calls Save with the chosen path.
#include <string>

#include "host/com/iunknown.h"

struct IHostDocument;
struct ICustomDocument;

struct IFileSaveAsClass : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A20-4B7C-4E59-8F0A-2C3D4E5F6A08}");
  // out: file extension (without the dot) and the description shown on the list.
  virtual HRESULT GetFileType(std::wstring* extension, std::wstring* description) = 0;  // slot 3
  // out: the document type the class saves (the host passes that document).
  virtual HRESULT GetDocumentType(Guid* documentType) = 0;  // slot 4
  // in: the host document, the extension document of that type, the target path. The class reports its
  // own errors to the user (IHostDocument::ShowMessageBox) and returns the failure code.
  virtual HRESULT Save(IHostDocument* host, ICustomDocument* document, const wchar_t* path) = 0;  // slot 5
};
