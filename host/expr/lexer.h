#pragma once
// Tokens of expression texts. Numbers are read in the classic locale whatever the process locale is, so that
// a text saved on one machine compiles the same on another.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/com/expected.h"

namespace kymora::expr {

enum class TokenKind {
  kNumber,
  kChannel,     // ChN: `channel` holds N as written (one-based, saturated at INT32_MAX)
  kIdentifier,  // a function name
  kPlus,
  kMinus,
  kStar,
  kSlash,
  kOpen,
  kClose,
  kComma,
  kEnd,
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::int32_t position = 1;  // one-based character position of the first character
  std::wstring text;          // as written; empty for kEnd
  double number = 0;
  std::int64_t channel = 0;
};

// Longest text accepted: beyond it the parser's cost is no longer bounded in a way worth having.
constexpr std::size_t kMaxTextLength = 100000;

// The whole text as tokens, ending with one kEnd token; or the first lexical error.
Expected<std::vector<Token>> Lex(std::wstring_view text);

// How a token is named in messages: 'Ch0', ')' or "end of text"; long tokens are shortened.
std::string DescribeToken(const Token& token);
// "position N: " + message.
Error ErrorAt(std::int32_t position, std::string_view message);

}  // namespace kymora::expr
