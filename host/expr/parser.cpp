#include "host/expr/parser.h"

#include "host/expr/lexer.h"

namespace kymora::expr {

namespace {
const std::string kTooDeep = "expression nested deeper than " + std::to_string(kMaxDepth) + " levels";
// A long sum or product is not nested as written, but builds a tree as deep as it is long.
const std::string kTooLong =
    "more than " + std::to_string(kMaxDepth) + " operators in a row; group the terms in parentheses";

// expression := term (('+' | '-') term)*
// term       := unary (('*' | '/') unary)*
// unary      := '-' unary | primary
// primary    := number | channel | name '(' [expression (',' expression)*] ')' | '(' expression ')'
class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : mTokens(std::move(tokens)) {}

  Expected<ExprNodePtr> ParseAll() {
    if (Peek().kind == TokenKind::kEnd) return ErrorAt(1, "empty expression");
    auto root = ParseExpression();
    if (!root) return root;
    if (Peek().kind != TokenKind::kEnd) return Unexpected(Peek());
    return root;
  }

 private:
  const Token& Peek() const { return mTokens[mNext]; }
  const Token& Take() { return mTokens[mNext < mTokens.size() - 1 ? mNext++ : mNext]; }

  static Error Unexpected(const Token& t) { return ErrorAt(t.position, "unexpected " + DescribeToken(t)); }

  static Expected<ExprNodePtr> Binary(const Token& op, ExprNodePtr left, ExprNodePtr right) {
    auto node = std::make_unique<ExprNode>();
    node->kind = ExprNode::Kind::kBinary;
    node->position = op.position;
    node->start = left->start;
    node->text = op.text;
    node->op = op.text[0];
    node->depth = 1 + std::max(left->depth, right->depth);
    // A long chain of operators builds a deep tree without any parentheses, so the height is checked here
    // as well as the recursion of the parser.
    if (node->depth > kMaxDepth) return ErrorAt(op.position, kTooLong);
    node->children.push_back(std::move(left));
    node->children.push_back(std::move(right));
    return node;
  }

  Expected<ExprNodePtr> ParseExpression() {
    auto left = ParseTerm();
    if (!left) return left;
    while (Peek().kind == TokenKind::kPlus || Peek().kind == TokenKind::kMinus) {
      const Token& op = Take();
      auto right = ParseTerm();
      if (!right) return right;
      left = Binary(op, std::move(*left), std::move(*right));
      if (!left) return left;
    }
    return left;
  }

  Expected<ExprNodePtr> ParseTerm() {
    auto left = ParseUnary();
    if (!left) return left;
    while (Peek().kind == TokenKind::kStar || Peek().kind == TokenKind::kSlash) {
      const Token& op = Take();
      auto right = ParseUnary();
      if (!right) return right;
      left = Binary(op, std::move(*left), std::move(*right));
      if (!left) return left;
    }
    return left;
  }

  // Every way of nesting (parentheses, unary minus, call arguments) passes through here, so this is where
  // the recursion is counted.
  Expected<ExprNodePtr> ParseUnary() {
    struct Level {
      int& depth;
      explicit Level(int& d) : depth(++d) {}
      ~Level() { --depth; }
    } level(mDepth);
    if (mDepth > kMaxDepth) return ErrorAt(Peek().position, kTooDeep);
    if (Peek().kind != TokenKind::kMinus) return ParsePrimary();
    const Token& op = Take();
    auto operand = ParseUnary();
    if (!operand) return operand;
    auto node = std::make_unique<ExprNode>();
    node->kind = ExprNode::Kind::kNegate;
    node->position = op.position;
    node->start = op.position;
    node->text = op.text;
    node->depth = 1 + (*operand)->depth;
    if (node->depth > kMaxDepth) return ErrorAt(op.position, kTooDeep);
    node->children.push_back(std::move(*operand));
    return node;
  }

  Expected<ExprNodePtr> ParsePrimary() {
    const Token& t = Take();
    auto node = std::make_unique<ExprNode>();
    node->position = t.position;
    node->start = t.position;
    node->text = t.text;
    switch (t.kind) {
      case TokenKind::kNumber:
        node->kind = ExprNode::Kind::kNumber;
        node->number = t.number;
        return node;
      case TokenKind::kChannel:
        node->kind = ExprNode::Kind::kChannel;
        node->channel = t.channel;
        return node;
      case TokenKind::kOpen: {
        auto inner = ParseExpression();
        if (!inner) return inner;
        if (Peek().kind != TokenKind::kClose)
          return ErrorAt(Peek().position, "expected ')' but found " + DescribeToken(Peek()));
        Take();
        (*inner)->start = t.position;
        return inner;
      }
      case TokenKind::kIdentifier:
        if (Peek().kind != TokenKind::kOpen)
          return ErrorAt(t.position, DescribeToken(t) + " is neither a channel nor a function call");
        Take();
        node->kind = ExprNode::Kind::kCall;
        return ParseArguments(std::move(node));
      default:
        return Unexpected(t);
    }
  }

  Expected<ExprNodePtr> ParseArguments(ExprNodePtr call) {
    if (Peek().kind == TokenKind::kClose) {
      Take();
      return call;
    }
    while (true) {
      auto argument = ParseExpression();
      if (!argument) return argument;
      call->depth = std::max(call->depth, 1 + (*argument)->depth);
      if (call->depth > kMaxDepth) return ErrorAt(call->position, kTooDeep);
      call->children.push_back(std::move(*argument));
      const Token& t = Take();
      if (t.kind == TokenKind::kClose) return call;
      if (t.kind != TokenKind::kComma) return ErrorAt(t.position, "expected ',' or ')' but found " + DescribeToken(t));
    }
  }

  std::vector<Token> mTokens;
  std::size_t mNext = 0;
  int mDepth = 0;
};
}  // namespace

Expected<ExprNodePtr> Parse(std::wstring_view text) {
  auto tokens = Lex(text);
  if (!tokens) return Error{tokens.ErrorMessage()};
  return Parser(std::move(*tokens)).ParseAll();
}

}  // namespace kymora::expr
