#pragma once
// Objects a document hands to the host to store as a named stream of its data file.
#include "host/com/istream.h"

struct IPersist : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{0000010C-0000-0000-C000-000000000046}");
  // out: the class id of the persisted object.
  virtual HRESULT GetClassID(Guid* classId) = 0;  // slot 3
};

struct IPersistStreamInit : IPersist {
  using Base = IPersist;
  static constexpr Guid kIid = Guid::Parse("{7FD52380-4E07-101B-AE2D-08002B2EC713}");
  // S_OK when the object changed since it was last saved, S_FALSE otherwise.
  virtual HRESULT IsDirty() = 0;  // slot 4
  // in: stream at the object's bytes.
  virtual HRESULT Load(IStream* stream) = 0;  // slot 5
  // in: stream, clearDirty (16-bit boolean).
  virtual HRESULT Save(IStream* stream, Bool16 clearDirty) = 0;  // slot 6
  // out: upper bound of the saved size, or E_NOTIMPL.
  virtual HRESULT GetSizeMax(std::uint64_t* size) = 0;  // slot 7
  virtual HRESULT InitNew() = 0;                        // slot 8
};
