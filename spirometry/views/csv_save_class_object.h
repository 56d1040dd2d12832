#pragma once
// The save-as class that offers the CSV report file on the host's save-as list for spirometry documents.
#include "host/com/com_object.h"
#include "host/frame/ifile_save_as_class.h"

namespace Spirometry {

class CSVSaveClassObject final : public ComObject<IFileSaveAsClass> {
 public:
  // "csv", "Spirometry Report CSV File".
  HRESULT GetFileType(std::wstring* extension, std::wstring* description) override;
  HRESULT GetDocumentType(Guid* documentType) override;
  // Writes the report file. A failure is shown to the user as an error message and its code returned:
  // E_FAIL when the document is not a spirometry document, KYM_E_EXPORT_FAILED without a valid analysis,
  // kReportFileNotWritten when the file cannot be written.
  HRESULT Save(IHostDocument* host, ICustomDocument* document, const wchar_t* path) override;

 private:
  ~CSVSaveClassObject() override = default;
};

}  // namespace Spirometry
