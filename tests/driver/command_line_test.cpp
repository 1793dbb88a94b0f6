// The command-line grammar, the message escapes and the rule that turns a shell's argv back into
// the one text the grammar expects.
#include "gui/driver/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"

namespace nimbra {
namespace {

using P = std::pair<std::string, std::string>;
using Pairs = std::vector<P>;

Pairs Parsed(std::string_view text) {
  Pairs out;
  DictionaryPtr params = ParseCommandLine(text);
  for (const auto& e : *params) out.emplace_back(e.key, e.value.Text());
  return out;
}

TEST(ParseCommandLine, ReadsTheItemsOfTheGrammar) {
  struct Case {
    const char* text;
    Pairs expected;
  };
  const std::vector<Case> cases = {
      // The monitor's job form: quoted values, doubled quotation marks, ", " separators.
      {R"(ps="C:\a b\x.ps", sessionid="7", doc="Say ""hi""", printer="P")",
       {P{"ps", R"(C:\a b\x.ps)"}, P{"sessionid", "7"}, P{"doc", R"(Say "hi")"}, P{"printer", "P"}}},
      {R"(msg="Line1\nLine2", icon="error")", {P{"msg", R"(Line1\nLine2)"}, P{"icon", "error"}}},
      // A leading "/" or "-" of a name is dropped.
      {"/ps=x.ps -doc=y", {P{"ps", "x.ps"}, P{"doc", "y"}}},
      // A bare word gets the empty value.
      {"debug", {P{"debug", ""}}},
      {"a=1 debug b=2", {P{"a", "1"}, P{"debug", ""}, P{"b", "2"}}},
      // Names keep their case.
      {R"(PS="x.ps")", {P{"PS", "x.ps"}}},
      // Separators: comma, blank, comma and blanks, surrounding blanks.
      {"  a=1,b=2 c=3,   d=4  ", {P{"a", "1"}, P{"b", "2"}, P{"c", "3"}, P{"d", "4"}}},
      // Values are trimmed, also inside quotation marks.
      {R"(a="  x y  ")", {P{"a", "x y"}}},
      // An unterminated quote takes the rest of the text.
      {R"(a="x, b=2)", {P{"a", "x, b=2"}}},
      // Line breaks inside a quoted value pass as they are.
      {"msg=\"one\r\ntwo\"", {P{"msg", "one\r\ntwo"}}},
      // A quoted name.
      {R"("my name"=v)", {P{"my name", "v"}}},
      // Empty value followed by another item.
      {"doc= printer=P", {P{"doc", ""}, P{"printer", "P"}}},
      {"", {}},
      {"   ", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Parsed(c.text), c.expected) << c.text;
  }
}

TEST(ParseCommandLine, DuplicateNameFailsWithTheDictionaryErrorNamingIt) {
  try {
    ParseCommandLine("ps=a.ps ps=b.ps");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kKeyExists);
    EXPECT_NE(e.Description().find("'ps'"), std::string::npos) << e.Description();
    EXPECT_NE(e.Source().find("ParseCommandLine"), std::string::npos) << e.Source();
  }
  // "/ps" and "ps" are the same name once the prefix is dropped; "PS" is another name.
  EXPECT_THROW(ParseCommandLine("/ps=a -ps=b"), Error);
  EXPECT_NO_THROW(ParseCommandLine("ps=a PS=b"));
}

TEST(ParseCommandLine, VeryLongInputEndsWithAResult) {
  // One 100 000-character value, and 100 000 characters of separators and quotation marks.
  std::string longValue = "ps=\"" + std::string(100000, 'x') + "\"";
  auto params = ParseCommandLine(longValue);
  EXPECT_EQ(params->Item("ps").size(), 100000u);

  std::string noise;
  for (int i = 0; noise.size() < 100000; ++i) noise += "n" + std::to_string(i) + "=\"\"\"\",  ";
  EXPECT_GT(ParseCommandLine(noise)->Count(), 5000u);

  EXPECT_THROW(ParseCommandLine(std::string(100000, ',')), Error);  // the empty name twice
  auto equals = ParseCommandLine(std::string(100000, '='));           // the empty name once
  EXPECT_EQ(equals->Item(""), std::string(99999, '='));
}

TEST(DecodeMessage, ReplacesTheEscapes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"(Line1\nLine2)", "Line1\rLine2"},
      {R"(Line1\rLine2)", "Line1\nLine2"},
      {R"(a\tb)", "a\tb"},
      {R"(C:\\temp)", R"(C:\temp)"},
      {R"(a\qb)", "aqb"},
      {R"(end\)", "end"},
      {R"(\\\\)", R"(\\)"},
      {"", ""},
      {"plain \xd1\x84 text", "plain \xd1\x84 text"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(DecodeMessage(in), out) << in;
}

TEST(JoinArguments, RebuildsTheTextTheGrammarExpects) {
  struct Case {
    std::vector<const char*> args;  // argv[1..]
    const char* line;
    Pairs parsed;
  };
  const std::vector<Case> cases = {
      // The monitor's single argument passes unchanged.
      {{R"(ps="/tmp/a b.ps", sessionid="7", doc="Say ""hi""", printer="Nimbra_Creator")"},
       R"(ps="/tmp/a b.ps", sessionid="7", doc="Say ""hi""", printer="Nimbra_Creator")",
       {P{"ps", "/tmp/a b.ps"}, P{"sessionid", "7"}, P{"doc", R"(Say "hi")"},
        P{"printer", "Nimbra_Creator"}}},
      // A shell removed the quotation marks: values with blanks, commas and quotes are re-quoted.
      {{"ps=/tmp/a b.ps", "sessionid=7", "printer=P"},
       R"(ps="/tmp/a b.ps" sessionid=7 printer=P)",
       {P{"ps", "/tmp/a b.ps"}, P{"sessionid", "7"}, P{"printer", "P"}}},
      {{"doc=Say \"hi\", ok", "-printer=P"},
       R"(doc="Say ""hi"", ok" -printer=P)",
       {P{"doc", R"(Say "hi", ok)"}, P{"printer", "P"}}},
      {{R"(msg=Line1\nLine2)", "icon=error"}, R"(msg=Line1\nLine2 icon=error)",
       {P{"msg", R"(Line1\nLine2)"}, P{"icon", "error"}}},
      // Arguments that are not name=value, and empty values, are left alone.
      {{"debug", "doc="}, "debug doc=", {P{"debug", ""}, P{"doc", ""}}},
      {{}, "", {}},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"gui"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string line = JoinArguments(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(Parsed(line), c.parsed) << line;
  }
}

}  // namespace
}  // namespace nimbra
