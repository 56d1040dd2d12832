#pragma once
// Type checking of a syntax tree against the channels of a file and the registered functions. The result is
// a tree that says, node by node, what to create for a block: it is kept by the compiled expression and
// never changes afterwards, so one compiled expression can open enumerators for any block.
#include <memory>
#include <string>
#include <vector>

#include "host/calc/calc_registries.h"
#include "host/com/com_ptr.h"
#include "host/com/expected.h"
#include "host/expr/parser.h"

namespace kymora::expr {

// What a node yields. Constants are kept apart from samples because function arguments after the sources
// must be constants, and because arithmetic broadcasts them instead of reading them.
enum class ValueKind { kConstant, kSamples, kEvents };

struct CompiledNode {
  enum class Op { kConstant, kChannel, kAdd, kSubtract, kMultiply, kDivide, kNegate, kCall };
  Op op = Op::kConstant;
  ValueKind kind = ValueKind::kConstant;
  std::int32_t position = 1;
  std::wstring text;                                    // channel token or function name as written
  double value = 0;                                     // kConstant
  std::int32_t channel = 0;                             // kChannel, zero-based
  ComPtr<INumericParamsClass> function;                 // kCall
  std::wstring parameters;                              // kCall: the settings text handed to the enumerator
  std::vector<std::unique_ptr<CompiledNode>> operands;  // arithmetic operands, or a call's sources in order
};
using CompiledNodePtr = std::unique_ptr<CompiledNode>;

class Compiler {
 public:
  // registry may be null (no functions); channelCount is the file's.
  Compiler(const CalcEnumRegistry* registry, std::int32_t channelCount)
      : mRegistry(registry), mChannelCount(channelCount) {}

  Expected<CompiledNodePtr> Compile(const ExprNode& root) const;

 private:
  Expected<CompiledNodePtr> CompileNode(const ExprNode& node) const;
  Expected<CompiledNodePtr> CompileCall(const ExprNode& node) const;

  const CalcEnumRegistry* mRegistry;
  std::int32_t mChannelCount;
};

// The settings text of a call: its number arguments at full precision in the classic locale, separated by
// single spaces, after a leading settings word "0" for event functions.
std::wstring ParameterText(const std::vector<double>& numbers, bool eventFunction);

}  // namespace kymora::expr
