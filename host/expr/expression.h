#pragma once
// A compiled expression: the checked tree plus what it needs to open enumerators for any block of the file
// (the data, the bindings of channels to units). Immutable after compilation apart from its last message.
#include <map>
#include <string>

#include "host/calc/ienum_event_ex.h"
#include "host/calc/ienum_float_ex.h"
#include "host/com/com_object.h"
#include "host/com/expected.h"
#include "host/data/ichannel_data.h"
#include "host/expr/compiler.h"
#include "host/expr/iexpression_engine.h"

namespace kymora::expr {

class Expression final : public ComObject<IExpression> {
 public:
  // bindings: zero-based channel -> units text it is to be read in.
  Expression(ComPtr<IChannelData> data, CompiledNodePtr root, std::wstring text,
             std::map<std::int32_t, std::wstring> bindings);

  HRESULT GetKind(std::uint32_t* kind) override;
  HRESULT CreateSampleEnum(std::int32_t block, std::int64_t startTick, IEnumFloatEx** out) override;
  HRESULT CreateEventEnum(std::int32_t block, std::int32_t startTick, IEnumEventEx** out) override;
  HRESULT GetText(std::wstring* text) override;

  // The same as the two Create operations with the message as a value; *code (may be null) receives the
  // result code the interface would return.
  Expected<ComPtr<IEnumFloatEx>> OpenSamples(std::int32_t block, std::int64_t startTick, HRESULT* code = nullptr) const;
  Expected<ComPtr<IEnumEventEx>> OpenEvents(std::int32_t block, std::int32_t startTick, HRESULT* code = nullptr) const;

  // Why the last CreateSampleEnum or CreateEventEnum failed (UTF-8); empty after a success.
  const std::string& LastError() const { return mLastError; }
  ValueKind Kind() const { return mRoot->kind; }
  const CompiledNode& Root() const { return *mRoot; }

  // The engine's own class behind an interface pointer it handed out, or null for any other object.
  static Expression* Of(IExpression* expression) { return dynamic_cast<Expression*>(expression); }

 private:
  ComPtr<IChannelData> mData;
  CompiledNodePtr mRoot;
  std::wstring mText;
  std::map<std::int32_t, std::wstring> mBindings;
  std::int32_t mBlockInfoChannel;  // a channel to ask block-wide questions (length, interval) about
  std::string mLastError;
};

}  // namespace kymora::expr
