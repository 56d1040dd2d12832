#pragma once
// The host's registry of scripting message classes, the same object as the class registry.
#include "host/com/iunknown.h"

struct IMessageRegistry : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{C7482421-F548-4440-909D-C8E9FAFEEA10}");
  // in: reserved (0) and a message class object; the registry holds a reference.
  virtual HRESULT RegisterMessageClass(std::int32_t reserved, IUnknown* messageClass) = 0;  // slot 3
  // out: number of message classes.
  virtual HRESULT GetMessageClassCount(std::int32_t* count) = 0;  // slot 4
  // out: the message class at index, one reference.
  virtual HRESULT GetMessageClass(std::int32_t index, IUnknown** messageClass) = 0;  // slot 5
};
