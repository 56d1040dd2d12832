#pragma once
// The host's expression engine over one document's data. The document hands it out through
// QueryInterface; the host's own code (the command line) may use the C++ operations directly and get
// messages as values.
#include <span>
#include <string_view>

#include "host/calc/calc_registries.h"
#include "host/com/com_object.h"
#include "host/com/expected.h"
#include "host/data/ichannel_data.h"
#include "host/expr/expression.h"
#include "host/expr/iexpression_engine.h"

namespace kymora::expr {

class Engine final : public ComObject<IExpressionEngine2> {
 public:
  // Holds a reference to data. registry (may be null: no functions) must outlive the engine and every
  // expression it compiles; the host's registries live for the process.
  Engine(IChannelData* data, const CalcEnumRegistry* registry);

  HRESULT Compile(const wchar_t* text, std::int32_t bindingCount, const ChannelBinding* bindings, IExpression** out,
                  std::wstring* error) override;
  HRESULT CreateDetectorSettings(IDetectorSettings** settings) override;

  // The compiled expression, or the message (UTF-8, "position N: ..."). *code (may be null) receives what
  // the interface would return: E_INVALIDARG for a text or binding at fault, another failure when the data
  // could not be asked.
  Expected<ComPtr<Expression>> CompileText(std::wstring_view text, std::span<const ChannelBinding> bindings = {},
                                           HRESULT* code = nullptr) const;

 private:
  ComPtr<IChannelData> mData;
  const CalcEnumRegistry* mRegistry;
};

}  // namespace kymora::expr
