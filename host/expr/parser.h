#pragma once
// The syntax tree of an expression text. The parser knows nothing of channels or functions beyond their
// spelling: whether a function exists and what its arguments must be is the compiler's business.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/com/expected.h"

namespace kymora::expr {

// Deepest tree (and deepest nesting of parentheses, unary minus and calls) accepted. Compiling and
// evaluating walk the tree recursively, so this bounds their stack use.
constexpr int kMaxDepth = 256;

struct ExprNode {
  enum class Kind { kNumber, kChannel, kBinary, kNegate, kCall };
  Kind kind = Kind::kNumber;
  std::int32_t position = 1;  // of the token that names the node (the operator of a binary node)
  std::int32_t start = 1;     // of the first character of the subtree, for messages about a whole argument
  std::wstring text;          // the token as written (number, ChN, operator, function name)
  double number = 0;          // kNumber
  std::int64_t channel = 0;   // kChannel, one-based as written
  wchar_t op = 0;             // kBinary: + - * /
  int depth = 1;              // height of the subtree
  std::vector<std::unique_ptr<ExprNode>> children;  // binary: 2, negate: 1, call: the arguments
};
using ExprNodePtr = std::unique_ptr<ExprNode>;

Expected<ExprNodePtr> Parse(std::wstring_view text);

}  // namespace kymora::expr
