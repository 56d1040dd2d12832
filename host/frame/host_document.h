#pragma once
// A data file open in the host: the .kymo file or an imported recording, its data access with live
// calculated channels, and its expression engine. The front ends (command line, desktop) work on these.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/calc/channel_data.h"
#include "host/com/expected.h"
#include "host/data/import/recording_importer.h"
#include "host/data/storage/kymo_storage.h"
#include "host/frame/document_frame.h"
#include "host/frame/host_registry.h"
#include "host/frame/memory_clipboard.h"

namespace kymora {

// The host's message box: standard error on the command line, a recorder in tests, a dialog on the desktop.
// Returns the button chosen (1 = OK).
using MessageBoxFn = std::function<int(const std::wstring& text, const std::wstring& caption, std::uint32_t style)>;

class HostDocument {
 public:
  // Opens a .kymo file, or imports any other recording into memory. Warnings (an importer's, calculations
  // whose extension is missing) go to *warnings. With kDeferSamples a .kymo file's samples are read when
  // first needed: whoever reads through the document must then check File().ReadFailure() before
  // presenting what it made.
  static Expected<std::unique_ptr<HostDocument>> Open(const std::string& path, const import::ImportOptions& options,
                                                      MessageBoxFn messageBox, std::vector<std::string>* warnings,
                                                      storage::LoadMode mode = storage::LoadMode::kAllSamples);
  // Wraps a data file built in memory.
  static std::unique_ptr<HostDocument> FromFile(std::shared_ptr<DataFile> file, std::string path,
                                                MessageBoxFn messageBox, std::vector<std::string>* warnings);
  ~HostDocument();
  HostDocument(const HostDocument&) = delete;
  HostDocument& operator=(const HostDocument&) = delete;

  ChannelData& Data() { return *mData; }
  IChannelData* DataInterface() { return mData.Get(); }
  DataFile& File() { return mData->File(); }
  const std::string& Path() const { return mPath; }
  bool IsKymo() const;
  const HostRegistry& Registry() const { return *mRegistry; }
  const MessageBoxFn& MessageBox() const { return mMessageBox; }
  // The frame of extension documents and views attached to this file.
  DocumentFrame& Frame() { return *mFrame; }
  // The clipboard of this front end: memory, unless a front end puts the system clipboard in its place.
  MemoryClipboard& Clipboard() { return *mClipboard; }
  void UseClipboard(ComPtr<IClipboard> clipboard) { mFrame->SetClipboard(std::move(clipboard)); }
  // Changes the selection and tells the attached documents and views.
  void SetSelection(const Selection& selection);

  // Stores the live calculations' settings and the documents' streams in the file and saves it as a .kymo
  // file (one transaction). Saving back to the .kymo file it was opened from is refused, with a message
  // ending in storage::kChangedByAnotherProgram, when another program saved that file since it was opened
  // or since this document last saved it.
  // With mayReplace false, a file that exists at the path already is left alone and the save refused.
  Status Save(const std::string& path, bool mayReplace = true);

 private:
  HostDocument(std::shared_ptr<DataFile> file, std::string path, MessageBoxFn messageBox);

  std::string mPath;
  // The change stamp of the .kymo file as this document last read or wrote it; unset for an import.
  std::optional<std::int64_t> mLoadedStamp;
  MessageBoxFn mMessageBox;
  ComPtr<HostRegistry> mRegistry;
  ComPtr<ChannelData> mData;
  ComPtr<DocumentFrame> mFrame;
  ComPtr<MemoryClipboard> mClipboard;
};

// True when the path names a .kymo file (by extension, ignoring case).
bool IsKymoPath(const std::string& path);

}  // namespace kymora
