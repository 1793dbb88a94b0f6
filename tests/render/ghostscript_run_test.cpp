// Running Ghostscript: success, and each way a run can fail (1005, 1012, 1007, 1008).
#include <gtest/gtest.h>

#include "gui/postscript/postscript_header.h"
#include "gui/render/ghostscript.h"
#include "gui/render/page_count.h"
#include "gui/render/pdf_parameters.h"
#include "platform/dictionary.h"
#include "platform/error.h"
#include "render_world_support.h"

namespace nimbra {
namespace {

class RunGhostscriptTest : public ::testing::Test {
 protected:
  // The error RunGhostscript raises, or a failure when it raises none.
  Error RunExpectingError(const std::string& parameterFile, const std::string& captureFile) {
    try {
      RunGhostscript(settings_, parameterFile, captureFile);
    } catch (const Error& e) {
      return e;
    }
    ADD_FAILURE() << "RunGhostscript raised no error";
    return Error(0, "");
  }

  test::RenderWorld world_;
  Dictionary settings_;
};

TEST_F(RunGhostscriptTest, RealRunMakesThePdfAndReportsItsPages) {
  const std::string header = world_.Path("header.ps");
  const std::string document = world_.Path("doc.ps");
  test_support::WriteFileBytes(header, test::PageReportProgram());
  test_support::WriteFileBytes(document, test::PostScriptPages(3));
  const std::string params = world_.Path("job_params.gs");
  const std::string capture = world_.Path("job_params.out");
  const std::string pdf = world_.Path("job printer.pdf");
  WritePdfParameters(params, pdf, settings_, false, capture, {header, document});

  RunGhostscript(settings_, params, capture);

  const test::ToolResult info = test::RunTool("pdfinfo " + test::ShellQuote(pdf));
  EXPECT_EQ(info.exitCode, 0) << info.output;
  EXPECT_NE(info.output.find("Pages:           3"), std::string::npos) << info.output;
  EXPECT_EQ(ReadPageCount(capture), 3);
  const test::ToolResult text = test::RunTool("pdftotext " + test::ShellQuote(pdf) + " -");
  EXPECT_NE(text.output.find("Page 2"), std::string::npos) << text.output;
}

TEST_F(RunGhostscriptTest, TheJobsHeaderMakesTheRunReportItsPages) {
  const std::string header = world_.Path("s_header.ps");
  const std::string document = world_.Path("s_patched.ps");
  ASSERT_TRUE(WritePostScriptHeader(header, settings_, true));
  test_support::WriteFileBytes(document, test::PostScriptPages(4));
  const std::string params = world_.Path("s_params.gs");
  const std::string capture = world_.Path("s_params.out");
  WritePdfParameters(params, world_.Path("s_printer.pdf"), settings_, false, capture,
                     {header, document});
  RunGhostscript(settings_, params, capture);
  EXPECT_EQ(ReadPageCount(capture), 4) << test_support::ReadFileBytes(capture);
}

TEST_F(RunGhostscriptTest, NoGhostscriptGives1005) {
  world_.SetEnv("PATH", world_.Path("nowhere"));
  const Error e = RunExpectingError(world_.Path("p.gs"), world_.Path("p.out"));
  EXPECT_EQ(e.Number(), err::kNoGhostscript);
  EXPECT_EQ(e.Description(), "Unable to locate Ghostscript installation.");
  EXPECT_EQ(e.Source(), "RunGhostscript");
}

TEST_F(RunGhostscriptTest, OldOrUnknownVersionGives1012) {
  int n = 0;
  for (const char* versionOutput : {"echo 8.15", "echo 7.07", "echo 'GPL Ghostscript'", "exit 1"}) {
    const std::string folder =
        world_.MakeFakeGhostscript("fake" + std::to_string(++n), versionOutput);
    world_.SetGhostscriptFolder(folder);
    const Error e = RunExpectingError(world_.Path("p.gs"), world_.Path("p.out"));
    EXPECT_EQ(e.Number(), err::kGhostscriptTooOld) << versionOutput;
    EXPECT_EQ(e.Description(),
              "You have an old version of Ghostscript installed. Ghostscript version 8.50 or newer "
              "is required. Please install a newer version.");
  }
}

TEST_F(RunGhostscriptTest, Version850IsAcceptedAndRunsInItsFolderWithTheParameterFile) {
  // The fake notes its folder and arguments; a parameter path with blanks, quotes and "$" must
  // reach it as one argument, untouched by the shell.
  const std::string folder = world_.MakeFakeGhostscript(
      "gs 8.50",
      "if [ \"$1\" = --version ]; then echo 8.50; exit 0; fi\n"
      "pwd > \"$(dirname \"$0\")/ran_in\"; printf '%s|' \"$@\" > \"$(dirname \"$0\")/args\"");
  world_.SetGhostscriptFolder(folder);
  const std::string params = world_.Path("it's a \"$HOME\" `x`.gs");
  RunGhostscript(settings_, params, world_.Path("p.out"));
  EXPECT_EQ(test_support::ReadFileBytes(folder + "/ran_in"), folder + "\n");
  EXPECT_EQ(test_support::ReadFileBytes(folder + "/args"), "@" + params + "|");
}

TEST_F(RunGhostscriptTest, FailedRunGives1007WithItsOutputInTheDescriptionAndTheLog) {
  const std::string document = world_.Path("bad.ps");
  test_support::WriteFileBytes(document, "%!PS\n/foo nosuchoperator\nshowpage\n");
  const std::string params = world_.Path("bad_params.gs");
  const std::string capture = world_.Path("bad_params.out");
  WritePdfParameters(params, world_.Path("bad.pdf"), settings_, false, capture, {document});

  const Error e = RunExpectingError(params, capture);
  EXPECT_EQ(e.Number(), err::kGhostscriptFailed);
  const std::string output = test_support::ReadFileBytes(capture);
  EXPECT_NE(output.find("/undefined in nosuchoperator"), std::string::npos) << output;
  EXPECT_EQ(e.Description(), "An error occured while running Ghostscript\n\n" + output);
  const std::string log = world_.Log();
  EXPECT_NE(log.find("Ghostscript returned exit code 1"), std::string::npos) << log;
  EXPECT_NE(log.find("Ghostscript output:"), std::string::npos) << log;
  EXPECT_NE(log.find("/undefined in nosuchoperator"), std::string::npos) << log;
}

TEST_F(RunGhostscriptTest, FailedRunWithoutCaptureFileGives1007WithEmptyOutput) {
  const std::string folder = world_.MakeFakeGhostscript(
      "failing", "if [ \"$1\" = --version ]; then echo 10.00.0; exit 0; fi\nexit 3");
  world_.SetGhostscriptFolder(folder);
  const Error e = RunExpectingError(world_.Path("p.gs"), world_.Path("never written.out"));
  EXPECT_EQ(e.Number(), err::kGhostscriptFailed);
  EXPECT_EQ(e.Description(), "An error occured while running Ghostscript\n\n");
  EXPECT_NE(world_.Log().find("Ghostscript returned exit code 3"), std::string::npos);
}

TEST_F(RunGhostscriptTest, SlowRunGives1008AfterTheTimeLimit) {
  const std::string folder = world_.MakeFakeGhostscript(
      "slow", "if [ \"$1\" = --version ]; then echo 10.00.0; exit 0; fi\nexec sleep 3");
  world_.SetGhostscriptFolder(folder);
  settings_.Set("ghostscripttimeout", "1");
  const auto start = std::chrono::steady_clock::now();
  const Error e = RunExpectingError(world_.Path("p.gs"), world_.Path("p.out"));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(e.Number(), err::kGhostscriptTimeout);
  EXPECT_EQ(e.Description(), "Ghostscript timed out");
  EXPECT_GE(waited, std::chrono::seconds(1));

  settings_.Set("ghostscripttimeout", "0");  // no wait at all
  EXPECT_EQ(RunExpectingError(world_.Path("p.gs"), world_.Path("p.out")).Number(),
            err::kGhostscriptTimeout);
}

}  // namespace
}  // namespace nimbra
