// The gui program as a person or the monitor starts it: what it prints, what it logs, and that
// it always ends with exit code 0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sandbox_support.h"

namespace nimbra {
namespace {

using test::ProgramResult;
using test::Sandbox;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(GuiProgram, MessageModePrintsTheDecodedMessageUnderTheProductCaption) {
  Sandbox sandbox;
  // As a shell passes it (quotes removed) and as the monitor passes it (one argument).
  const std::vector<std::vector<std::string>> forms = {
      {R"(msg=Line1\nLine2)", "icon=error"},
      {R"(msg="Line1\nLine2", icon="error")"},
  };
  for (const auto& args : forms) {
    ProgramResult r = test::RunGuiProgram(args, sandbox);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.stdErr, "Nimbra Creator [error]\nLine1\nLine2\n");
    EXPECT_EQ(r.stdOut, "");
    const std::string log = test::ReadAll(sandbox.LogFile(""));
    EXPECT_TRUE(Contains(log, ": Nimbra Creator [error]: Line1\nLine2\r\n")) << log;
  }
}

TEST(GuiProgram, MissingPostScriptFileEndsInTheErrorHandler) {
  Sandbox sandbox;
  ProgramResult r =
      test::RunGuiProgram({"ps=/nonexistent.ps", "sessionid=abc", "printer=P"}, sandbox);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.stdErr,
            "Nimbra Creator [error]\nAn error occured.\n\nError 1006: Unable to find postscript "
            "file '/nonexistent.ps'.\n\nRead PS file from parameters\n");
  const std::string log = test::ReadAll(sandbox.LogFile("abc"));
  EXPECT_TRUE(Contains(log, ": Command Line: ps=/nonexistent.ps sessionid=abc printer=P\r\n"))
      << log;
  EXPECT_TRUE(Contains(log, ": Error handler. Error 1006: Unable to find postscript file "
                            "'/nonexistent.ps'.\r\n"))
      << log;
}

TEST(GuiProgram, ShellFormWithBlanksInAPathReadsOneValue) {
  Sandbox sandbox;
  ProgramResult r = test::RunGuiProgram(
      {"ps=" + sandbox.out + "/a b, c.ps", "sessionid=7", "printer=P"}, sandbox);
  EXPECT_TRUE(Contains(r.stdErr, "Unable to find postscript file '" + sandbox.out +
                                     "/a b, c.ps'."))
      << r.stdErr;
}

TEST(GuiProgram, DuplicateNameIsReported) {
  Sandbox sandbox;
  ProgramResult r = test::RunGuiProgram({"ps=a.ps", "ps=b.ps"}, sandbox);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(Contains(r.stdErr, "Error 457: ")) << r.stdErr;
  EXPECT_TRUE(Contains(r.stdErr, "(parameter 'ps')")) << r.stdErr;
  EXPECT_TRUE(Contains(r.stdErr, "\n\nParse command line\n")) << r.stdErr;
}

TEST(GuiProgram, HugeCommandLinesEndCleanly) {
  Sandbox sandbox;
  const std::vector<std::vector<std::string>> cases = {
      {std::string(100000, 'x')},                             // one bare name
      {"ps=\"/" + std::string(99990, 'p') + "\" printer=P"},  // a long missing file
      {std::string(100000, ',')},                             // the empty name twice
      {"msg=\"" + std::string(99990, '\\') + "\""},           // escapes only: an empty message
  };
  for (const auto& args : cases) {
    ProgramResult r = test::RunGuiProgram(args, sandbox);
    EXPECT_EQ(r.exitCode, 0) << args[0].substr(0, 20);
    EXPECT_EQ(r.signal, 0);
    EXPECT_TRUE(Contains(r.stdErr, "Nimbra Creator [")) << r.stdErr.substr(0, 200);
  }
}

TEST(GuiProgram, ConvertsAJob) {
  Sandbox sandbox;
  const std::string pdf = sandbox.out + "/Test page.pdf";
  sandbox.WriteSettings({{"output", pdf}, {"showsettings", "never"}});
  ProgramResult r = test::RunGuiProgram(
      {"ps=" + std::string(NIMBRA_TEST_DATA) + "/testpage.ps", "sessionid=job", "doc=Test page",
       "printer=Nimbra_Creator"},
      sandbox);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.stdErr, "");
  EXPECT_EQ(test::PdfInfoField(pdf, "Pages"), "1");
}

}  // namespace
}  // namespace nimbra
