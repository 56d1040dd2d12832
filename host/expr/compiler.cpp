#include "host/expr/compiler.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "host/calc/icalc_enum.h"
#include "host/com/text.h"
#include "host/expr/builtin_functions.h"
#include "host/expr/lexer.h"

namespace kymora::expr {

namespace {
std::string Quoted(const std::wstring& text) {
  Token t;
  t.kind = TokenKind::kIdentifier;
  t.text = text;
  return DescribeToken(t);
}

std::string Plural(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Numbers in messages: short, and the same on every machine.
std::string ShortNumber(double v) {
  if (std::isnan(v)) return "nan";  // whatever its sign bit says
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
  return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

// All the digits it takes to tell the number from its neighbours: 2.0000001 is not shown as 2.
std::string ExactNumber(double v) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

const char* Describe(ValueKind kind) {
  switch (kind) {
    case ValueKind::kConstant:
      return "a number";
    case ValueKind::kSamples:
      return "a channel or sample expression";
    case ValueKind::kEvents:
      return "an event expression";
  }
  return "";
}

struct ParamInfo {
  std::wstring name;
  std::int32_t kind = 0;
  double minimum = -INFINITY;
  double maximum = INFINITY;
  std::uint32_t flags = 0;
};

ParamInfo InfoOf(INumericParamsClass& fn, std::int32_t index) {
  ParamInfo info;
  std::wstring name;
  std::int32_t kind = 0;
  std::uint32_t flags = 0;
  double lo = 0, hi = 0;
  if (Succeeded(fn.GetParamInfo(index, &name, &kind, &flags, &lo, &hi))) {
    info.name = std::move(name);
    info.kind = kind;
    info.minimum = lo;
    info.maximum = hi;
    info.flags = flags;
  }
  // A class that cannot name a parameter still gets a usable message.
  if (info.name.empty()) info.name = L"argument " + std::to_wstring(index + 1);
  return info;
}

CompiledNodePtr Constant(const ExprNode& node, double value) {
  auto c = std::make_unique<CompiledNode>();
  c->op = CompiledNode::Op::kConstant;
  c->kind = ValueKind::kConstant;
  c->position = node.position;
  c->value = value;
  return c;
}

// IEEE results throughout: a constant division by zero gives inf or nan like the sample path does.
double Fold(CompiledNode::Op op, double a, double b) {
  switch (op) {
    case CompiledNode::Op::kAdd:
      return a + b;
    case CompiledNode::Op::kSubtract:
      return a - b;
    case CompiledNode::Op::kMultiply:
      return a * b;
    case CompiledNode::Op::kDivide:
      return a / b;
    default:
      return NAN;
  }
}
}  // namespace

std::wstring ParameterText(const std::vector<double>& numbers, bool eventFunction) {
  std::wstring text = eventFunction ? L"0" : L"";
  for (double v : numbers) {
    char buf[64];
    // to_chars with a precision is printf's "%.17g" in the classic locale, whatever the process locale.
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    if (!text.empty()) text += L' ';
    text.append(buf, ec == std::errc() ? end : buf);
  }
  return text;
}

Expected<CompiledNodePtr> Compiler::Compile(const ExprNode& root) const { return CompileNode(root); }

Expected<CompiledNodePtr> Compiler::CompileNode(const ExprNode& node) const {
  using Kind = ExprNode::Kind;
  using Op = CompiledNode::Op;
  switch (node.kind) {
    case Kind::kNumber:
      return Constant(node, node.number);
    case Kind::kChannel: {
      if (node.channel < 1 || node.channel > mChannelCount)
        return ErrorAt(node.position, Quoted(node.text) + " is not a channel (the file has " +
                                          Plural(mChannelCount, "channel", "channels") + ")");
      auto c = std::make_unique<CompiledNode>();
      c->op = Op::kChannel;
      c->kind = ValueKind::kSamples;
      c->position = node.position;
      c->text = node.text;
      c->channel = static_cast<std::int32_t>(node.channel - 1);
      return c;
    }
    case Kind::kNegate: {
      auto operand = CompileNode(*node.children.at(0));
      if (!operand) return operand;
      if ((*operand)->kind == ValueKind::kEvents)
        return ErrorAt(node.position, "'-' cannot be applied to an event expression");
      if ((*operand)->kind == ValueKind::kConstant) return Constant(node, -(*operand)->value);
      auto c = std::make_unique<CompiledNode>();
      c->op = Op::kNegate;
      c->kind = ValueKind::kSamples;
      c->position = node.position;
      c->operands.push_back(std::move(*operand));
      return c;
    }
    case Kind::kBinary: {
      auto left = CompileNode(*node.children.at(0));
      if (!left) return left;
      auto right = CompileNode(*node.children.at(1));
      if (!right) return right;
      if ((*left)->kind == ValueKind::kEvents || (*right)->kind == ValueKind::kEvents)
        return ErrorAt(node.position, Quoted(node.text) + " cannot be applied to an event expression");
      Op op = node.op == L'+'   ? Op::kAdd
              : node.op == L'-' ? Op::kSubtract
              : node.op == L'*' ? Op::kMultiply
                                : Op::kDivide;
      if ((*left)->kind == ValueKind::kConstant && (*right)->kind == ValueKind::kConstant)
        return Constant(node, Fold(op, (*left)->value, (*right)->value));
      auto c = std::make_unique<CompiledNode>();
      c->op = op;
      c->kind = ValueKind::kSamples;
      c->position = node.position;
      c->text = node.text;
      c->operands.push_back(std::move(*left));
      c->operands.push_back(std::move(*right));
      return c;
    }
    case Kind::kCall:
      return CompileCall(node);
  }
  return ErrorAt(node.position, "internal error: unknown node");
}

Expected<CompiledNodePtr> Compiler::CompileCall(const ExprNode& node) const {
  // The engine's own functions cannot be replaced by an extension's.
  ComPtr<INumericParamsClass> fn = FindBuiltinFunction(node.text);
  if (!fn && mRegistry) fn = mRegistry->FindFunction(node.text);
  if (!fn) return ErrorAt(node.position, "unknown function " + Quoted(node.text));
  const std::string name = ToUtf8(node.text);

  std::int32_t params = 0, sources = 0;
  if (Failed(fn->GetParamCounts(&params, &sources)) || params < 0 || sources < 0 || sources > params)
    return ErrorAt(node.position, "function " + name + " does not describe its parameters");
  std::uint32_t accepts = 0, produces = 0;
  if (Failed(fn->GetKindWords(&accepts, &produces)))
    return ErrorAt(node.position, "function " + name + " does not describe its output");
  const bool producesEvents = (produces & CalcKind::kEvents) != 0;

  const auto given = static_cast<std::int64_t>(node.children.size());
  const std::int64_t fewest = params - std::clamp(OptionalArguments(fn.Get()), 0, params - sources);
  if (given > params || given < fewest)
    return ErrorAt(node.position, name + " takes " + (fewest < params ? std::to_string(fewest) + " to " : "") +
                                      Plural(params, "argument", "arguments") + " but " + std::to_string(given) +
                                      (given == 1 ? " was" : " were") + " given");

  auto call = std::make_unique<CompiledNode>();
  call->op = CompiledNode::Op::kCall;
  call->kind = producesEvents ? ValueKind::kEvents : ValueKind::kSamples;
  call->position = node.position;
  call->text = node.text;
  call->function = fn;

  std::vector<double> numbers;
  for (std::int32_t i = 0; i < params; ++i) {
    if (i >= given) {  // left out: its default
      numbers.push_back(DefaultArgument(fn.Get(), i).value_or(0.0));
      continue;
    }
    const ExprNode& argNode = *node.children[i];
    auto arg = CompileNode(argNode);
    if (!arg) return arg;
    const ParamInfo info = InfoOf(*fn, i);
    const std::string param = "parameter " + Quoted(info.name) + " of " + name;
    const ValueKind kind = (*arg)->kind;
    if (i < sources) {
      if (kind == ValueKind::kConstant) {
        const char* wanted = info.kind == ParamKind::kEvent ? "an event expression" : "a channel or expression";
        return ErrorAt(argNode.start, param + " needs " + wanted + ", not a number");
      }
      const std::uint32_t offered = kind == ValueKind::kEvents ? CalcKind::kEvents : CalcKind::kSamples;
      // Anything but S_OK (S_FALSE, or a failure for an index the class does not know) is a refusal.
      if (fn->CheckSource(i, offered) != S_OK) return ErrorAt(argNode.start, param + " cannot be " + Describe(kind));
      call->operands.push_back(std::move(*arg));
    } else {
      if (kind != ValueKind::kConstant) return ErrorAt(argNode.start, param + " must be a number");
      const double v = (*arg)->value;
      // Written so that nan fails as well.
      if (!(v >= info.minimum && v <= info.maximum))
        return ErrorAt(argNode.start, param + " must lie between " + ShortNumber(info.minimum) + " and " +
                                          ShortNumber(info.maximum) + " (it is " + ShortNumber(v) + ")");
      if ((info.flags & ParamFlag::kWholeNumber) && v != std::floor(v))
        return ErrorAt(
            argNode.start,
            param + (info.minimum == 0.0 && info.maximum == 1.0 ? " must be 0 or 1" : " must be a whole number") +
                " (it is " + ExactNumber(v) + ")");
      numbers.push_back(v);
    }
  }
  call->parameters = ParameterText(numbers, producesEvents);
  return call;
}

}  // namespace kymora::expr
