#include "host/expr/lexer.h"

#include <charconv>
#include <cstdio>

#include "host/com/text.h"

namespace kymora::expr {

namespace {
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_'; }
bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

// Messages quote what the user typed; a pasted megabyte of digits must not become a megabyte of message.
constexpr std::size_t kQuotedLength = 40;

std::string Quote(std::wstring_view text) {
  std::string out = "'";
  if (text.size() > kQuotedLength) {
    out += ToUtf8(text.substr(0, kQuotedLength));
    out += "...";
  } else {
    out += ToUtf8(text);
  }
  return out + "'";
}

std::string DescribeCharacter(wchar_t c) {
  if (c >= 0x20 && c != 0x7F) return Quote(std::wstring_view(&c, 1));
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

// Channel references are identifiers of the form ChN; anything else made of letters is a name.
bool IsChannelReference(std::wstring_view word) {
  if (word.size() < 3) return false;
  if ((word[0] != L'C' && word[0] != L'c') || (word[1] != L'H' && word[1] != L'h')) return false;
  for (std::size_t i = 2; i < word.size(); ++i)
    if (!IsDigit(word[i])) return false;
  return true;
}

std::int64_t ChannelNumber(std::wstring_view digits) {
  std::int64_t n = 0;
  for (wchar_t c : digits) {
    n = n * 10 + (c - L'0');
    if (n > INT32_MAX) return INT32_MAX;  // far beyond any file; the compiler rejects it by count
  }
  return n;
}
}  // namespace

Error ErrorAt(std::int32_t position, std::string_view message) {
  return Error{"position " + std::to_string(position) + ": " + std::string(message)};
}

std::string DescribeToken(const Token& token) {
  if (token.kind == TokenKind::kEnd) return "end of text";
  return Quote(token.text);
}

Expected<std::vector<Token>> Lex(std::wstring_view text) {
  if (text.size() > kMaxTextLength)
    return ErrorAt(static_cast<std::int32_t>(kMaxTextLength + 1),
                   "expression longer than " + std::to_string(kMaxTextLength) + " characters");
  std::vector<Token> tokens;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (true) {
    while (i < n && IsSpace(text[i])) ++i;
    Token t;
    t.position = static_cast<std::int32_t>(i + 1);
    if (i == n) {
      tokens.push_back(std::move(t));
      return tokens;
    }
    const std::size_t start = i;
    const wchar_t c = text[i];
    if (IsDigit(c) || c == L'.') {
      t.kind = TokenKind::kNumber;
      std::size_t digits = 0;
      while (i < n && IsDigit(text[i])) ++i, ++digits;
      if (i < n && text[i] == L'.') {
        ++i;
        while (i < n && IsDigit(text[i])) ++i, ++digits;
      }
      bool bad = digits == 0;
      if (!bad && i < n && (text[i] == L'e' || text[i] == L'E')) {
        ++i;
        if (i < n && (text[i] == L'+' || text[i] == L'-')) ++i;
        std::size_t expDigits = 0;
        while (i < n && IsDigit(text[i])) ++i, ++expDigits;
        bad = expDigits == 0;
      }
      t.text = std::wstring(text.substr(start, i - start));
      if (bad) return ErrorAt(t.position, "bad number " + DescribeToken(t));
      // The token is plain ASCII by construction, and from_chars ignores the process locale.
      std::string ascii(t.text.begin(), t.text.end());
      auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), t.number);
      if (ec == std::errc::result_out_of_range)
        return ErrorAt(t.position, "number " + DescribeToken(t) + " is out of range");
      if (ec != std::errc() || end != ascii.data() + ascii.size())
        return ErrorAt(t.position, "bad number " + DescribeToken(t));
    } else if (IsLetter(c)) {
      while (i < n && (IsLetter(text[i]) || IsDigit(text[i]))) ++i;
      t.text = std::wstring(text.substr(start, i - start));
      if (IsChannelReference(t.text)) {
        t.kind = TokenKind::kChannel;
        t.channel = ChannelNumber(std::wstring_view(t.text).substr(2));
        if (t.channel == 0) return ErrorAt(t.position, DescribeToken(t) + " is not a channel (channels start at Ch1)");
      } else {
        t.kind = TokenKind::kIdentifier;
      }
    } else {
      ++i;
      t.text = std::wstring(1, c);
      switch (c) {
        case L'+':
          t.kind = TokenKind::kPlus;
          break;
        case L'-':
          t.kind = TokenKind::kMinus;
          break;
        case L'*':
          t.kind = TokenKind::kStar;
          break;
        case L'/':
          t.kind = TokenKind::kSlash;
          break;
        case L'(':
          t.kind = TokenKind::kOpen;
          break;
        case L')':
          t.kind = TokenKind::kClose;
          break;
        case L',':
          t.kind = TokenKind::kComma;
          break;
        default:
          return ErrorAt(t.position, "unexpected character " + DescribeCharacter(c));
      }
    }
    tokens.push_back(std::move(t));
  }
}

}  // namespace kymora::expr
