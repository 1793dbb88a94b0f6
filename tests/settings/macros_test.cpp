// Macros in settings: the built-in names, environment and script macros, the two forms, and
// which settings are expanded how.
#include "settings/macros.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/system_info.h"
#include "settings/script_engine.h"
#include "settings_test_env_support.h"

namespace nimbra {
namespace {

using test::SettingsTestEnvironment;

std::chrono::system_clock::time_point LocalMoment(int year, int month, int day, int hour, int minute,
                                                  int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

class MacrosTest : public ::testing::Test {
 protected:
  MacrosTest() {
    facts_.documentName = "C:\\docs\\report.v2.txt";
    facts_.title = "Q3: plans? draft...";
    facts_.author = "Ann <ops>";
    // The desktop and documents folders as the XDG user dirs name them.
    env_.Write(env_.Home() + "/.config/user-dirs.dirs",
               "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    ::setenv("NIMBRA_MACRO_TEST", "from env", 1);
    ::unsetenv("NIMBRA_MACRO_UNSET");
  }
  ~MacrosTest() override { ::unsetenv("NIMBRA_MACRO_TEST"); }

  SettingsTestEnvironment env_;
  DocumentFacts facts_;
};

TEST_F(MacrosTest, ExpansionTable) {
  struct Case {
    std::string text;
    std::string textForm;
    std::string fileSafeForm;
  };
  const std::string home = env_.Home();
  const std::vector<Case> cases = {
      {"<title>", "Q3: plans? draft...", "Q3_ plans_ draft"},
      {"<author>", "Ann <ops>", "Ann _ops_"},
      {"<docname>", "C:\\docs\\report.v2.txt", "C__docs_report.v2.txt"},
      {"<basedocname>", "report.v2", "report.v2"},
      {"<desktop>/<title>.pdf", home + "/Schreibtisch/Q3: plans? draft....pdf",
       home + "/Schreibtisch/Q3_ plans_ draft.pdf"},
      {"<personal>", home + "/Dokumente", home + "/Dokumente"},
      {"<env:NIMBRA_MACRO_TEST>", "from env", "from env"},
      {"<ENV:NIMBRA_MACRO_TEST>", "from env", "from env"},  // the prefix in any case
      {"[<env:NIMBRA_MACRO_UNSET>]", "[]", "[]"},
      {"<Date>", "<Date>", "<Date>"},  // names are case-sensitive
      {"<unknown>", "<unknown>", "<unknown>"},
      {"page <pageno,3>.png", "page <pageno,3>.png", "page <pageno,3>.png"},  // for later
      {"<<<>>>", "<<<>>>", "<<<>>>"},
      {"a <b", "a <b", "a <b"},
      {"a <title", "a <title", "a <title"},
      {"x > y < z", "x > y < z", "x > y < z"},
      {"<>", "<>", "<>"},
      {"<<title>>", "<<title>>", "<<title>>"},  // "<title" is the name, unknown
      {"", "", ""},
      {"<vbs:1+1>", "", ""},  // no script interpreter yet: empty
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpandMacros(c.text, false, facts_), c.textForm) << c.text;
    EXPECT_EQ(ExpandMacros(c.text, true, facts_), c.fileSafeForm) << c.text;
  }
}

TEST_F(MacrosTest, DateAndTimeComeFromTheMoment) {
  const auto moment = LocalMoment(2009, 3, 14, 9, 5, 7);
  EXPECT_EQ(EvaluateMacro("date", moment, true, facts_), "2009-03-14");
  EXPECT_EQ(EvaluateMacro("time", moment, true, facts_), "09.05.07");
  EXPECT_EQ(EvaluateMacro("time", LocalMoment(2009, 12, 31, 23, 59, 58), false, facts_),
            "23.59.58");
  // One expansion uses one moment for all its references.
  const std::string both = ExpandMacros("<date> <time>|<date> <time>", false, facts_);
  EXPECT_TRUE(std::regex_match(both, std::regex(R"((\d{4}-\d\d-\d\d \d\d\.\d\d\.\d\d)\|\1)")))
      << both;
}

TEST_F(MacrosTest, UserComputerAndGuid) {
  EXPECT_EQ(ExpandMacros("<username>@<computername>", false, facts_),
            UserName() + "@" + ComputerName());
  const std::string guids = ExpandMacros("<guid>|<guid>", true, facts_);
  const std::regex guid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  const std::string first = guids.substr(0, guids.find('|'));
  EXPECT_TRUE(std::regex_match(first, guid)) << first;
  EXPECT_EQ(guids, first + "|" + first);
  EXPECT_EQ(ExpandMacros("<guid>", false, facts_), first);  // the same for the whole process
}

TEST_F(MacrosTest, BaseDocumentName) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/home/ann/letter.odt", "letter"},
      {"C:\\a\\b.c\\notes", "notes"},
      {"Invoice: 12/2026.pdf", "2026"},
      {"archive.tar.gz", "archive.tar"},
      {"no extension", "no extension"},
      {"what?.txt", "what_"},
      {"", ""},
  };
  for (const auto& [name, expected] : cases) {
    DocumentFacts facts;
    facts.documentName = name;
    EXPECT_EQ(ExpandMacros("<basedocname>", false, facts), expected) << name;
  }
}

TEST_F(MacrosTest, VeryLongValues) {
  const std::string plain(40000, 'x');
  EXPECT_EQ(ExpandMacros(plain, true, facts_), plain);
  const std::string opens(40000, '<');
  EXPECT_EQ(ExpandMacros(opens, true, facts_), opens);
  const std::string longName = "<" + std::string(39998, 'n') + ">";
  EXPECT_EQ(ExpandMacros(longName, true, facts_), longName);
  std::string many;
  while (many.size() + 7 <= 40000) many += "<title>";
  const std::string expanded = ExpandMacros(many, true, facts_);
  EXPECT_EQ(expanded.size(), many.size() / 7 * std::string("Q3_ plans_ draft").size());
  EXPECT_EQ(expanded.substr(0, 32), "Q3_ plans_ draftQ3_ plans_ draft");
}

TEST_F(MacrosTest, ExpandSettingsFormsAndOutputRules) {
  Dictionary settings;
  settings.Set("output", "  <desktop>//<title>.pdf ");
  settings.Set("watermarktext", "<title> by <author>");
  settings.Set("mergefile", "/m/<title>.pdf");
  settings.Set("superimpose", "/s/<author>.pdf");
  settings.Set("subject", "<author>");
  settings.Set("keywords", "<docname>");
  settings.Set("statusfile", "/st/<title>.txt");  // not a macro setting
  settings.Set("runonsuccess", "<title>");
  ExpandSettings(settings, facts_);

  EXPECT_EQ(settings.Item("output"), env_.Home() + "/Schreibtisch/Q3_ plans_ draft.pdf");
  EXPECT_EQ(settings.Item("watermarktext"), "Q3: plans? draft... by Ann <ops>");
  EXPECT_EQ(settings.Item("mergefile"), "/m/Q3_ plans_ draft.pdf");
  EXPECT_EQ(settings.Item("superimpose"), "/s/Ann _ops_.pdf");
  EXPECT_EQ(settings.Item("subject"), "Ann <ops>");
  EXPECT_EQ(settings.Item("keywords"), "C:\\docs\\report.v2.txt");
  EXPECT_EQ(settings.Item("statusfile"), "/st/<title>.txt");
  EXPECT_EQ(settings.Item("runonsuccess"), "<title>");
  // The document title setting keeps the characters the file name could not.
  EXPECT_EQ(settings.Item("title"), "Q3: plans? draft...");
  EXPECT_EQ(settings.Item("author"), "Ann <ops>");
}

TEST_F(MacrosTest, OutputSeparatorsCollapseAfterTheFirstCharacter) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"//server//share///docs//a.pdf", "//server/share/docs/a.pdf"},
      {"///a", "//a"},
      {"/home//ann/a.pdf", "/home/ann/a.pdf"},
      {"relative//a.pdf", "relative/a.pdf"},
      {" /a.pdf  ", "/a.pdf"},
      {"/", "/"},
      {"", ""},
  };
  for (const auto& [output, expected] : cases) {
    Dictionary settings;
    settings.Set("output", output);
    ExpandSettings(settings, facts_);
    EXPECT_EQ(settings.Item("output"), expected) << output;
  }
}

TEST_F(MacrosTest, DocumentTitleAndAuthorFillTheSettings) {
  struct Case {
    std::string useDefault;
    std::string configured;
    std::string document;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"no", "", "Doc title", "Doc title"},
      {"no", "Mine <env:NIMBRA_MACRO_TEST>", "Doc title", "Mine from env"},
      {"", "", "", ""},
      {"yes", "Mine", "Doc title", "Doc title"},
      {"YES", "Mine", "Doc title", "Doc title"},
      {"yes", "Mine <env:NIMBRA_MACRO_TEST>", "", "Mine from env"},
      {"yes", "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.useDefault + "|" + c.configured + "|" + c.document);
    DocumentFacts facts;
    facts.title = c.document;
    facts.author = c.document;
    Dictionary settings;
    settings.Set("usedefaulttitle", c.useDefault);
    settings.Set("usedefaultauthor", c.useDefault);
    settings.Set("title", c.configured);
    settings.Set("author", c.configured);
    ExpandSettings(settings, facts);
    EXPECT_EQ(settings.Item("title"), c.expected);
    EXPECT_EQ(settings.Item("author"), c.expected);
  }
}

TEST_F(MacrosTest, DocumentFactsFromProperties) {
  auto properties = Dictionary::New();
  properties->Set("title", "T");
  properties->Set("author", "A");
  properties->Set("creationdate", "D");
  const DocumentFacts facts = DocumentFacts::From("doc", properties);
  EXPECT_EQ(facts.documentName, "doc");
  EXPECT_EQ(facts.title, "T");
  EXPECT_EQ(facts.author, "A");
  const DocumentFacts none = DocumentFacts::From("doc", nullptr);
  EXPECT_EQ(none.title, "");
}

TEST_F(MacrosTest, MacroListForThePickers) {
  const DictionaryPtr list = MacroList();
  EXPECT_EQ(list->Keys(), (std::vector<std::string>{"date", "time", "docname", "basedocname",
                                                    "username", "computername", "author",
                                                    "title", "guid", "personal", "desktop",
                                                    "env:TEMP"}));
  EXPECT_EQ(list->Item("date"), "Date (yyyy-mm-dd)");
  EXPECT_EQ(list->Item("time"), "Time (hh.mm.ss)");
  EXPECT_EQ(list->Item("desktop"), "User's desktop");
  EXPECT_EQ(list->Item("env:TEMP"), "Value of environment variable TEMP");
}

TEST(MacroFileCodeTest, HeaderBeforeTheMarkerIsCut) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Function A\r\nEnd Function\r\n", "Function A\r\nEnd Function\r\n"},
      {"header\r\nREM -- MACRO REGION BEGINS\r\nFunction A\r\n", "Function A\r\n"},
      {"header\r\nrem -- macro region begins\r\nFunction A\r\n", "Function A\r\n"},
      {"header\nREM -- MACRO REGION BEGINS ---\nFunction A\n", "Function A\n"},
      {"REM -- MACRO REGION BEGINS", "REM -- MACRO REGION BEGINS"},  // no line after it
  };
  for (const auto& [text, code] : cases) EXPECT_EQ(MacroFileCode(text), code) << text;
}

// A script engine that records what it is given; code containing "BROKEN" is rejected.
struct EngineLog {
  std::vector<std::string> code;
  std::string language;
  DictionaryPtr context;
  int engines = 0;
};

class RecordingEngine : public ScriptEngine {
 public:
  explicit RecordingEngine(EngineLog& log) : log_(log) { ++log_.engines; }
  void SetLanguage(std::string_view language) override { log_.language = language; }
  void AddObject(std::string_view name, DictionaryPtr object) override {
    if (name == "context") log_.context = object;
  }
  std::optional<ScriptError> AddCode(std::string_view code) override {
    if (code.find("BROKEN") != std::string_view::npos) {
      return ScriptError{1002, "Syntax error", 3, 4, "BROKEN line"};
    }
    log_.code.emplace_back(code);
    return std::nullopt;
  }
  std::optional<std::string> Eval(std::string_view expression) override {
    if (expression == "Nothing") return std::nullopt;
    return std::string(expression) + "=" + log_.context->Item("DocumentTitle");
  }

 private:
  EngineLog& log_;
};

class ScriptMacrosTest : public MacrosTest {
 protected:
  ScriptMacrosTest() {
    ResetScriptEngineForTesting();
    SetScriptEngineFactory([this] { return std::make_unique<RecordingEngine>(log_); });
  }
  ~ScriptMacrosTest() override {
    SetScriptEngineFactory(nullptr);
    ResetScriptEngineForTesting();
  }
  EngineLog log_;
};

TEST_F(ScriptMacrosTest, OneEngineWithTheMacroFilesAndTheContext) {
  env_.Write(env_.AppFolder() + "/macros/a.vbs",
             "' notes\r\nREM -- Macro Region Begins\r\nFunction Hello()\r\nEnd Function\r\n");
  env_.Write(env_.AppFolder() + "/macros/readme.txt", "not code");
  EXPECT_EQ(ExpandMacros("[<vbs:Hello()>]", true, facts_), "[Hello()=Q3: plans? draft...]");
  EXPECT_EQ(ExpandMacros("<VBS:Nothing>", false, facts_), "");
  // Later files are not seen: the engine and its code live for the process.
  env_.Write(env_.AppFolder() + "/macros/b.vbs", "Function Later()\r\nEnd Function\r\n");
  EXPECT_EQ(ExpandMacros("<vbs:x>", false, facts_), "x=Q3: plans? draft...");
  EXPECT_EQ(log_.engines, 1);
  EXPECT_EQ(log_.language, "VBScript");
  EXPECT_EQ(log_.code, (std::vector<std::string>{"Function Hello()\r\nEnd Function\r\n"}));
}

TEST_F(ScriptMacrosTest, RejectedMacroFileFailsWithLineAndPosition) {
  const std::string path = env_.AppFolder() + "/macros/bad.vbs";
  env_.Write(path, "Function X()\r\nBROKEN\r\n");
  try {
    ExpandMacros("<vbs:X()>", false, facts_);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 1002);
    EXPECT_EQ(e.Description(), "Error adding macro source code from file '" + path +
                                   "'.\r\n\r\nSyntax error\r\nLine 3 position 5\r\nBROKEN line");
  }
}

TEST_F(ScriptMacrosTest, AnEngineThatCannotBeMadeIsError429) {
  SetScriptEngineFactory([] { return std::unique_ptr<ScriptEngine>(); });
  try {
    ExpandMacros("<vbs:1>", false, facts_);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 429);
    EXPECT_EQ(e.Description(), "Error creating object: MSScriptControl.ScriptControl");
  }
}

}  // namespace
}  // namespace nimbra
