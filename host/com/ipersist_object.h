#pragma once
// Settings objects of channel calculations: saved with the channel as a stream in the data file.
#include "host/com/istream.h"

struct IPersistObject : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6B0D2E71-3C1A-4E0B-9A55-1E7A2B60C301}");
  // Implemented by the extension. in: stream positioned at the object's bytes. Reads the object's layout;
  // on failure the object keeps the fields not yet read.
  virtual HRESULT Load(IStream* stream) = 0;  // slot 3
  // Implemented by the extension. in: stream. Writes the object's layout at the current version.
  virtual HRESULT Save(IStream* stream) = 0;  // slot 4
  // out: the class id under which the host stores the object.
  virtual HRESULT GetClassId(Guid* classId) = 0;  // slot 5
};
