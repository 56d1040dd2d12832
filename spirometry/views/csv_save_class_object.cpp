#include "spirometry/views/csv_save_class_object.h"

#include <new>

#include "host/frame/ihost_document.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/resources/string_table.h"
#include "spirometry/views/csv_report.h"

namespace Spirometry {

namespace {
constexpr int kStringExtension = 94, kStringDescription = 95, kStringNeedsAnalysis = 96;
constexpr int kStringNotWritten = 3201;
constexpr std::uint32_t kErrorStyle = 0x10;

IUnknown* CreateCsvSaveClass() {
  auto* cls = new (std::nothrow) CSVSaveClassObject();
  if (!cls) return nullptr;
  cls->AddRef();
  return static_cast<IFileSaveAsClass*>(cls);
}

FrameClassRegistration gCsvSaveClass(FrameClass::kCsvSave, &CreateCsvSaveClass);

// The user is told why nothing useful was saved; a file that could not be written gets its own text, as
// "requires a valid analysis" would send the user looking in the wrong place.
void ShowFailure(IHostDocument* host, HRESULT code, const wchar_t* path) {
  if (!host) return;
  std::uintptr_t owner = 0;
  host->GetHostWindow(&owner);  // the message service parents its box itself
  const std::wstring text = code == kReportFileNotWritten ? FormatString(kStringNotWritten, {path ? path : L""})
                                                          : LoadString(kStringNeedsAnalysis);
  host->ShowMessageBox(text.c_str(), LoadString(kStringDescription).c_str(), kErrorStyle);
}
}  // namespace

HRESULT CSVSaveClassObject::GetFileType(std::wstring* extension, std::wstring* description) {
  if (!extension || !description) return E_POINTER;
  try {
    *extension = LoadString(kStringExtension);
    *description = LoadString(kStringDescription);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CSVSaveClassObject::GetDocumentType(Guid* documentType) {
  if (!documentType) return E_POINTER;
  *documentType = kSpiroDocumentGuid;
  return S_OK;
}

HRESULT CSVSaveClassObject::Save(IHostDocument* host, ICustomDocument* document, const wchar_t* path) {
  HRESULT result = E_FAIL;
  try {
    if (SpiroDocument* spiro = SpiroDocument::FromUnknown(document))
      result = path ? ExportReport(*spiro, path) : E_POINTER;
  } catch (...) {
    result = E_OUTOFMEMORY;
  }
  if (Succeeded(result)) return result;
  try {
    ShowFailure(host, result, path);
  } catch (...) {
    // The code still tells the host.
  }
  return result;
}

}  // namespace Spirometry
