#include "host/expr/parser.h"

#include <gtest/gtest.h>

#include "host/com/text.h"
#include "host/expr/lexer.h"

using namespace kymora::expr;

namespace {
// The tree in prefix form, so that a case states its expected shape in one line.
std::string Show(const ExprNode& n) {
  switch (n.kind) {
    case ExprNode::Kind::kNumber: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%g", n.number);
      return buf;
    }
    case ExprNode::Kind::kChannel:
      return "ch" + std::to_string(n.channel);
    case ExprNode::Kind::kNegate:
      return "(neg " + Show(*n.children[0]) + ")";
    case ExprNode::Kind::kBinary:
      return "(" + std::string(1, static_cast<char>(n.op)) + " " + Show(*n.children[0]) + " " + Show(*n.children[1]) +
             ")";
    case ExprNode::Kind::kCall: {
      std::string s = "(" + ToUtf8(n.text);
      for (const auto& c : n.children) s += " " + Show(*c);
      return s + ")";
    }
  }
  return "?";
}

std::string Repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}
}  // namespace

TEST(Parse, BuildsTreesWithPrecedenceAndLeftAssociativity) {
  struct Case {
    const wchar_t* text;
    const char* tree;
  };
  const Case cases[] = {
      {L"Ch1*2+1", "(+ (* ch1 2) 1)"},
      {L"1+Ch1*2", "(+ 1 (* ch1 2))"},
      {L"1-2-3", "(- (- 1 2) 3)"},
      {L"8/2/2", "(/ (/ 8 2) 2)"},
      {L"-Ch1*-2", "(* (neg ch1) (neg 2))"},
      {L"--1", "(neg (neg 1))"},
      {L"(Ch1+Ch2)/2", "(/ (+ ch1 ch2) 2)"},
      {L"1-(2-3)", "(- 1 (- 2 3))"},
      {L" \tcH12 \n", "ch12"},
      {L"0.5 + .5 + 1e-3 + 2.5E+2 + 5.", "(+ (+ (+ (+ 0.5 0.5) 0.001) 250) 5)"},
      {L"Scale( Ch1 , 2*3 )", "(Scale ch1 (* 2 3))"},
      {L"f()", "(f)"},
      {L"SPEEVol(Ch2, SPEEFlow(Ch1, 0.25) )", "(SPEEVol ch2 (SPEEFlow ch1 0.25))"},
      {L"Ch007", "ch7"},
  };
  for (const auto& c : cases) {
    auto tree = Parse(c.text);
    ASSERT_TRUE(tree) << ToUtf8(c.text) << ": " << tree.ErrorMessage();
    EXPECT_EQ(Show(**tree), c.tree) << ToUtf8(c.text);
  }
}

TEST(Parse, ErrorsNameThePositionAndTheToken) {
  struct Case {
    const wchar_t* text;
    const char* message;
  };
  const Case cases[] = {
      {L"(Ch1+2", "position 7: expected ')' but found end of text"},
      {L"((Ch1)", "position 7: expected ')' but found end of text"},
      {L"Ch1+2)", "position 6: unexpected ')'"},
      {L"()", "position 2: unexpected ')'"},
      {L"Ch1 + ", "position 7: unexpected end of text"},
      {L"Ch1 * * 2", "position 7: unexpected '*'"},
      {L"Ch1 Ch2", "position 5: unexpected 'Ch2'"},
      {L"+1", "position 1: unexpected '+'"},
      {L"1 + Ch0", "position 5: 'Ch0' is not a channel (channels start at Ch1)"},
      {L"cH00*2", "position 1: 'cH00' is not a channel (channels start at Ch1)"},
      {L"1e", "position 1: bad number '1e'"},
      {L"2 * 1e+", "position 5: bad number '1e+'"},
      {L"3 - .", "position 5: bad number '.'"},
      {L"1e999", "position 1: number '1e999' is out of range"},
      {L"", "position 1: empty expression"},
      {L"   ", "position 1: empty expression"},
      {L"Ch1 $ 2", "position 5: unexpected character '$'"},
      {L"Ch1\u00e9", "position 4: unexpected character '\u00e9'"},
      {L"1\x01", "position 2: unexpected character U+0001"},
      {L"Foo + 1", "position 1: 'Foo' is neither a channel nor a function call"},
      {L"Scale(Ch1 2)", "position 11: expected ',' or ')' but found '2'"},
      {L"Scale(Ch1,)", "position 11: unexpected ')'"},
      {L"Scale(Ch1", "position 10: expected ',' or ')' but found end of text"},
  };
  for (const auto& c : cases) {
    auto tree = Parse(c.text);
    ASSERT_FALSE(tree) << ToUtf8(c.text);
    EXPECT_EQ(tree.ErrorMessage(), c.message) << ToUtf8(c.text);
  }
}

TEST(Parse, LongTokensAreShortenedInMessages) {
  auto tree = Parse(L"1+" + std::wstring(5000, L'7') + L"e");
  ASSERT_FALSE(tree);
  EXPECT_EQ(tree.ErrorMessage(), "position 3: bad number '" + std::string(40, '7') + "...'");
}

// Every kind of nesting is capped, and so is a flat chain of operators (it builds a tree as deep as it is
// long); just below the cap each of them parses.
TEST(Parse, DepthIsCappedWhateverBuildsIt) {
  const int d = kMaxDepth;
  struct Case {
    std::string text;
    bool ok;
  };
  const Case cases[] = {
      {Repeat("(", d - 1) + "1" + Repeat(")", d - 1), true},
      {Repeat("(", d) + "1" + Repeat(")", d), false},
      {Repeat("-", d - 1) + "1", true},
      {Repeat("-", d) + "1", false},
      {"1" + Repeat("+1", d - 1), true},
      {"1" + Repeat("+1", d), false},
      {Repeat("f(", d - 1) + "1" + Repeat(")", d - 1), true},
      {Repeat("f(", d) + "1" + Repeat(")", d), false},
  };
  for (const auto& c : cases) {
    auto tree = Parse(FromUtf8(c.text));
    EXPECT_EQ(bool(tree), c.ok) << c.text.substr(0, 20) << "... (" << c.text.size() << " characters)";
    // A flat chain is not called nesting.
    const bool chain = c.text.starts_with("1+");
    if (!tree) {
      EXPECT_NE(tree.ErrorMessage().find(chain ? "more than 256 operators in a row" : "nested deeper than 256 levels"),
                std::string::npos)
          << tree.ErrorMessage();
    }
  }
  auto deepest = Parse(FromUtf8(Repeat("(", 100000)));
  ASSERT_FALSE(deepest);
  EXPECT_EQ(deepest.ErrorMessage(), "position 257: expression nested deeper than 256 levels");
}

TEST(Parse, RefusesTextsBeyondTheLengthLimit) {
  std::wstring text = L"1" + std::wstring(kMaxTextLength, L' ');
  auto tree = Parse(text);
  ASSERT_FALSE(tree);
  EXPECT_EQ(tree.ErrorMessage(), "position 100001: expression longer than 100000 characters");
  EXPECT_TRUE(Parse(text.substr(0, kMaxTextLength)));
}
