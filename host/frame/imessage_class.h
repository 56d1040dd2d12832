#pragma once
// Classes of scripting messages: what a script or macro may send to a document, with its parameters. The
// host lists them to users and builds message records from the values a script gives.
#include <string>
#include <vector>

#include "host/com/iunknown.h"

namespace MessageParamType {
constexpr std::int32_t kDouble = 1;
constexpr std::int32_t kBool = 2;
constexpr std::int32_t kInt32 = 3;
}  // namespace MessageParamType

// A value a script gives for one parameter, by name.
struct MessageValue {
  const wchar_t* name;
  double value;  // booleans as 0/1, integers exactly
};

struct IMessageClass : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A20-4B7C-4E59-8F0A-2C3D4E5F6A06}");
  // out: the namespace and the local id of the message.
  virtual HRESULT GetMessageId(Guid* nameSpace, std::int32_t* localId) = 0;  // slot 3
  // out: name, group and description.
  virtual HRESULT GetClassRecord(std::wstring* name, std::wstring* group, std::wstring* description) = 0;  // slot 4
  // out: number of parameters.
  virtual HRESULT GetParamCount(std::int32_t* count) = 0;  // slot 5
  // out: name, type (MessageParamType), description text and default of a parameter; E_INVALIDARG beyond.
  virtual HRESULT GetParam(std::int32_t index, std::wstring* name, std::int32_t* type, std::wstring* description,
                           double* defaultValue) = 0;  // slot 6
  // in: the full message id, the values given (unknown names are refused with E_INVALIDARG); parameters not
  // given take their defaults. out: the message record.
  virtual HRESULT BuildMessage(std::uint32_t messageId, std::int32_t count, const MessageValue* values,
                               std::vector<std::uint8_t>* record) = 0;  // slot 7
  // out: the comma-separated parameter-description text the host shows with the message.
  virtual HRESULT GetParamDescriptionText(std::wstring* text) = 0;  // slot 8
};
