// Whole print jobs through the real gui program and the real Ghostscript: the fixtures as CUPS
// delivers them, the output formats, and the ways a job can fail. PDFs are checked with poppler
// and qpdf.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "sandbox_support.h"

namespace nimbra {
namespace {

using test::ProgramResult;
using test::RunOptions;
using test::Sandbox;
using Settings = std::vector<std::pair<std::string, std::string>>;

std::string Fixture(const std::string& name) { return std::string(NIMBRA_TEST_DATA) + "/" + name; }

int DscPageCount(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::string line;
  int n = 0;
  while (std::getline(f, line)) n += line.rfind("%%Page:", 0) == 0;
  return n;
}

// Writes the printer's settings (never a dialog, a status file in the output folder) and runs
// gui on the PostScript file as the monitor would.
ProgramResult Convert(const Sandbox& sandbox, const std::string& postScriptFile,
                      const std::string& sessionId, Settings settings,
                      const RunOptions& options = {}) {
  settings.insert(settings.begin(), {{"showsettings", "never"},
                                     {"statusfile", sandbox.out + "/status.txt"}});
  sandbox.WriteSettings(settings);
  return test::RunGuiProgram({"ps=" + postScriptFile, "sessionid=" + sessionId,
                              "doc=Document", std::string("printer=") + test::kPrinter},
                             sandbox, options);
}

std::string Status(const Sandbox& sandbox) {
  return test::ReadStatusFile(sandbox.out + "/status.txt");
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string FileStart(const std::string& path, std::size_t n) {
  return test::ReadAll(path).substr(0, n);
}

TEST(Conversion, EachFixtureBecomesAPdfWithTheDocumentInformationOfTheSettings) {
  struct Info {
    const char* title;
    const char* author;
    const char* subject;
    const char* keywords;
  };
  const std::vector<Info> infos = {
      {"Отчёт за квартал", "Иван Петров", "Тема: бюджет", "ключ, слово"},
      {R"(Q3 (draft) \ C:\temp\x [1] {2})", R"(A. (B) \ C)", "Sub (1)", R"(k1, (k2), \k3)"},
  };
  const std::vector<std::string> fixtures = {"testpage.ps", "plain.ps", "form_russian.ps",
                                             "two_pages.ps"};
  for (const auto& fixture : fixtures) {
    for (const auto& info : infos) {
      SCOPED_TRACE(fixture + " / " + info.title);
      Sandbox sandbox;
      const std::string pdf = sandbox.out + "/doc.pdf";
      ProgramResult r = Convert(sandbox, Fixture(fixture), "job1",
                                {{"output", pdf}, {"title", info.title},
                                 {"author", info.author}, {"subject", info.subject},
                                 {"keywords", info.keywords}});
      EXPECT_EQ(r.exitCode, 0) << r.stdErr;
      EXPECT_EQ(r.stdErr, "");
      const std::string pages = std::to_string(DscPageCount(Fixture(fixture)));
      EXPECT_EQ(test::PdfInfoField(pdf, "Pages"), pages);
      EXPECT_EQ(test::PdfInfoField(pdf, "Title"), info.title);
      EXPECT_EQ(test::PdfInfoField(pdf, "Author"), info.author);
      EXPECT_EQ(test::PdfInfoField(pdf, "Subject"), info.subject);
      EXPECT_EQ(test::PdfInfoField(pdf, "Keywords"), info.keywords);
      EXPECT_EQ(test::CommandOutput("qpdf --check " + test::Quoted(pdf) + " >/dev/null 2>&1; echo $?"),
                "0\n");

      const std::string status = Status(sandbox);
      EXPECT_EQ(status.rfind("[Status]\r\n  Errors=0\r\n  PageCount=" + pages +
                                 "\r\n  FileCount=1\r\n\r\n[Files]\r\n  File1=" + pdf + "\r\n\r\n",
                             0),
                0u)
          << status;
      EXPECT_TRUE(Contains(status, "[PDF Printer]\r\n")) << status;
      EXPECT_TRUE(Contains(status, std::string("  title=") + info.title + "\r\n")) << status;
      // A successful run leaves nothing of its own in the temporary folder.
      EXPECT_FALSE(test::Exists(sandbox.LogFile("job1")));
      EXPECT_FALSE(test::Exists(sandbox.TempFolder() + "/job1_printer.pdf"));
    }
  }
  // The text of the document survives.
  Sandbox sandbox;
  const std::string pdf = sandbox.out + "/doc.pdf";
  Convert(sandbox, Fixture("two_pages.ps"), "job2", {{"output", pdf}});
  const std::string text = test::PdfText(pdf);
  EXPECT_TRUE(Contains(text, "First page")) << text;
  EXPECT_TRUE(Contains(text, "Second page")) << text;
}

TEST(Conversion, PdfVariants) {
  {
    SCOPED_TRACE("target=screen");
    Sandbox sandbox;
    const std::string pdf = sandbox.out + "/screen.pdf";
    ProgramResult r = Convert(sandbox, Fixture("testpage.ps"), "s", {{"output", pdf},
                                                                      {"target", "Screen"}});
    EXPECT_EQ(r.stdErr, "");
    EXPECT_EQ(test::PdfInfoField(pdf, "Pages"), "1");
    EXPECT_TRUE(Contains(Status(sandbox), "  Errors=0\r\n"));
  }
  {
    SCOPED_TRACE("pdfa=yes with Unicode and escaped information");
    Sandbox sandbox;
    const std::string pdf = sandbox.out + "/archive.pdf";
    ProgramResult r = Convert(sandbox, Fixture("form_russian.ps"), "a",
                              {{"output", pdf}, {"pdfa", "yes"}, {"title", "Архив (копия) \\ 1"},
                               {"author", "Мария"}});
    // Ghostscript announces on standard error when it gives up PDF/A.
    EXPECT_EQ(r.stdErr, "");
    EXPECT_EQ(test::PdfInfoField(pdf, "Title"), "Архив (копия) \\ 1");
    EXPECT_EQ(test::PdfInfoField(pdf, "Author"), "Мария");
    const std::string meta = test::CommandOutput("pdfinfo -meta " + test::Quoted(pdf));
    EXPECT_TRUE(Contains(meta, "pdfaid:part")) << meta;
    EXPECT_TRUE(Contains(meta, "Архив (копия)")) << meta;
  }
  {
    SCOPED_TRACE("owner and user password, permissions 61632");
    Sandbox sandbox;
    const std::string pdf = sandbox.out + "/secret.pdf";
    Convert(sandbox, Fixture("two_pages.ps"), "e",
            {{"output", pdf}, {"ownerpassword", "own er"}, {"userpassword", "user"},
             {"permissions", "61632"}, {"title", "Geheim"}});
    // Without a password the file does not open.
    EXPECT_EQ(test::PdfInfoField(pdf, "Pages"), "");
    EXPECT_EQ(test::PdfInfoField(pdf, "Pages", "own er"), "2");
    EXPECT_EQ(test::PdfInfoField(pdf, "Title", "own er"), "Geheim");
    const std::string enc = test::CommandOutput("qpdf --show-encryption --password=user " +
                                                test::Quoted(pdf) + " 2>&1");
    EXPECT_TRUE(Contains(enc, "P = 61632")) << enc;
    EXPECT_TRUE(Contains(enc, "print high resolution: not allowed")) << enc;
    EXPECT_TRUE(Contains(enc, "extract for any purpose: not allowed")) << enc;
  }
}

TEST(Conversion, ImageOutput) {
  {
    SCOPED_TRACE("png16m, one file per page");
    Sandbox sandbox;
    ProgramResult r = Convert(sandbox, Fixture("two_pages.ps"), "png",
                              {{"output", sandbox.out + "/doc-<PageNo,3>.png"},
                               {"device", "png16m"}, {"res", "30"}});
    EXPECT_EQ(r.stdErr, "");
    for (const char* name : {"/doc-001.png", "/doc-002.png"}) {
      EXPECT_EQ(FileStart(sandbox.out + name, 8), "\x89PNG\r\n\x1a\n") << name;
    }
    EXPECT_FALSE(test::Exists(sandbox.out + "/doc-003.png"));
    const std::string status = Status(sandbox);
    EXPECT_EQ(status.rfind("[Status]\r\n  Errors=0\r\n  PageCount=2\r\n  FileCount=2\r\n\r\n"
                           "[Files]\r\n  File1=" + sandbox.out + "/doc-001.png\r\n  File2=" +
                               sandbox.out + "/doc-002.png\r\n\r\n",
                           0),
              0u)
        << status;
  }
  struct Case {
    const char* device;
    const char* name;
    std::string magic;
  };
  const std::vector<Case> cases = {
      {"jpeg", "/doc.jpg", "\xff\xd8\xff"},
      {"tiffg4", "/doc.tif", std::string("II*\0", 4)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.device);
    Sandbox sandbox;
    Convert(sandbox, Fixture("testpage.ps"), "img",
            {{"output", sandbox.out + c.name}, {"device", c.device}, {"res", "30"}});
    EXPECT_EQ(FileStart(sandbox.out + c.name, c.magic.size()), c.magic);
    const std::string status = Status(sandbox);
    EXPECT_TRUE(Contains(status, "  Errors=0\r\n  PageCount=1\r\n  FileCount=1\r\n")) << status;
    EXPECT_TRUE(Contains(status, "  File1=" + sandbox.out + c.name + "\r\n")) << status;
  }
}

// Follow-up programs that append one line to a file in the output folder each time they run.
Settings FollowUpPrograms(const Sandbox& sandbox) {
  return {{"runonerror", "echo error \"%1\" >> " + test::Quoted(sandbox.out + "/onerror.txt")},
          {"afterprintprogram", "echo after %2 %3 >> " + test::Quoted(sandbox.out + "/after.txt")},
          {"runonsuccess", "echo success >> " + test::Quoted(sandbox.out + "/onsuccess.txt")}};
}

TEST(Conversion, GhostscriptFailures) {
  Sandbox sandbox;
  const std::string broken = sandbox.out + "/broken.ps";
  std::ofstream(broken) << "%!PS-Adobe-3.0\n%%Pages: 1\n%%EndComments\n%%Page: 1 1\n"
                           "/Helvetica findfont 12 scalefont setfont 72 72 moveto\n"
                           "(before the fault) show\nnosuchoperator\nshowpage\n%%EOF\n";
  // Ghostscript is still busy after one second, and ends by itself soon after.
  const std::string slow = sandbox.out + "/slow.ps";
  std::ofstream(slow) << "%!PS-Adobe-3.0\n%%Pages: 1\n%%EndComments\n%%Page: 1 1\n"
                         "realtime 2500 add { dup realtime le { exit } if } loop pop\n"
                         "showpage\n%%EOF\n";
  struct Case {
    const char* name;
    std::string postScript;
    Settings extra;
    RunOptions options;
    std::string error;
    std::string step;
  };
  RunOptions noGhostscript;
  noGhostscript.environment["PATH"] = sandbox.root + "/empty-path";
  const std::vector<Case> cases = {
      {"no Ghostscript", Fixture("two_pages.ps"), {}, noGhostscript,
       "Error 1005: Unable to locate Ghostscript installation.", "Run Ghost to create PDF file"},
      {"Ghostscript fails", broken, {}, {},
       "Error 1007: An error occured while running Ghostscript", "Run Ghost to create PDF file"},
      {"Ghostscript times out", slow, {{"ghostscripttimeout", "1"}}, {},
       "Error 1008: Ghostscript timed out", "Run Ghost to create PDF file"},
  };
  int run = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string sessionId = "fail" + std::to_string(++run);
    for (const char* f : {"/onerror.txt", "/after.txt", "/onsuccess.txt", "/status.txt"}) {
      std::filesystem::remove(sandbox.out + f);
    }
    Settings settings = FollowUpPrograms(sandbox);
    settings.emplace_back("output", sandbox.out + "/doc.pdf");
    settings.insert(settings.end(), c.extra.begin(), c.extra.end());
    ProgramResult r = Convert(sandbox, c.postScript, sessionId, settings, c.options);
    EXPECT_EQ(r.exitCode, 0);
    // The message names the error and the step.
    EXPECT_TRUE(Contains(r.stdErr, "Nimbra Creator [error]\nAn error occured.\n\n" + c.error))
        << r.stdErr;
    EXPECT_TRUE(Contains(r.stdErr, "\n\n" + c.step + "\n")) << r.stdErr;
    EXPECT_FALSE(test::Exists(sandbox.out + "/doc.pdf"));
    const std::string status = Status(sandbox);
    EXPECT_EQ(status.rfind("[Status]\r\n  Errors=1\r\n  PageCount=0\r\n  FileCount=0\r\n\r\n"
                           "[Files]\r\n\r\n[PDF Printer]\r\n",
                           0),
              0u)
        << status;
    // The failed run keeps its log, with the handler's line.
    const std::string log = test::ReadAll(sandbox.LogFile(sessionId));
    EXPECT_TRUE(Contains(log, "Error handler. " + c.error)) << log;
    // The error programs ran exactly once each; the success program not at all.
    EXPECT_EQ(test::WaitForLines(sandbox.out + "/onerror.txt", 1), 1);
    EXPECT_EQ(test::WaitForLines(sandbox.out + "/after.txt", 1), 1);
    EXPECT_EQ(test::ReadAll(sandbox.out + "/onerror.txt"),
              "error " + sandbox.out + "/doc.pdf\n");
    EXPECT_EQ(test::ReadAll(sandbox.out + "/after.txt"), "after 0 0\n");
    EXPECT_FALSE(test::Exists(sandbox.out + "/onsuccess.txt"));
    if (c.error.find("1007") != std::string::npos) {
      // Ghostscript's own report is in the log and in the message.
      EXPECT_TRUE(Contains(log, "Ghostscript returned exit code")) << log;
      EXPECT_TRUE(Contains(log, "nosuchoperator")) << log;
      EXPECT_TRUE(Contains(r.stdErr, "nosuchoperator")) << r.stdErr;
    }
  }
}

TEST(Conversion, DestinationFolderMissingFailsAtOnce) {
  Sandbox sandbox;
  Settings settings = FollowUpPrograms(sandbox);
  const std::string destination = sandbox.out + "/missing/doc.pdf";
  settings.emplace_back("output", destination);
  ProgramResult r = Convert(sandbox, Fixture("two_pages.ps"), "nofolder", settings);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(test::Exists(destination));
  const std::string status = Status(sandbox);
  EXPECT_EQ(status.rfind("[Status]\r\n  Errors=1\r\n  PageCount=2\r\n  FileCount=0\r\n\r\n"
                         "[Files]\r\n  File1=" + destination + "\r\n\r\n",
                         0),
            0u)
      << status;
  // A failed delivery is no error of the run: the log goes with the other temporary files, and
  // the copy was tried once (no retries for a missing folder).
  EXPECT_FALSE(test::Exists(sandbox.LogFile("nofolder")));
  EXPECT_EQ(test::WaitForLines(sandbox.out + "/onerror.txt", 1), 1);
  EXPECT_EQ(test::WaitForLines(sandbox.out + "/after.txt", 1), 1);
  EXPECT_EQ(test::ReadAll(sandbox.out + "/after.txt"), "after 2 0\n");
  EXPECT_FALSE(test::Exists(sandbox.out + "/onsuccess.txt"));
}

TEST(Conversion, UnwritableDestinationFailsAfterItsRetries) {
  Sandbox sandbox;
  RunOptions options;
  const std::string locked = sandbox.out + "/locked";
  if (geteuid() == 0) {
    // Root writes anywhere: the job runs as an unprivileged user who owns everything of the
    // sandbox except the destination folder.
    auto nobody = test::NobodyUser();
    if (!nobody) GTEST_SKIP() << "no user 'nobody' to run the job as";
    sandbox.GiveTo(nobody->first, nobody->second);
    options.user = nobody;
    std::filesystem::create_directory(locked);
  } else {
    std::filesystem::create_directory(locked);
    chmod(locked.c_str(), 0555);
  }
  Settings settings = FollowUpPrograms(sandbox);
  settings.emplace_back("output", locked + "/doc.pdf");
  settings.emplace_back("debug", "yes");  // keep the run's log to count the attempts
  ProgramResult r = Convert(sandbox, Fixture("two_pages.ps"), "locked", settings, options);
  EXPECT_EQ(r.exitCode, 0) << r.stdErr;
  EXPECT_FALSE(test::Exists(locked + "/doc.pdf"));
  const std::string status = Status(sandbox);
  EXPECT_TRUE(Contains(status, "  Errors=1\r\n  PageCount=2\r\n  FileCount=0\r\n")) << status;
  const std::string log = test::ReadAll(sandbox.LogFile("locked"));
  std::size_t retries = 0;
  for (std::size_t at = log.find("Possible file lock"); at != std::string::npos;
       at = log.find("Possible file lock", at + 1)) {
    ++retries;
  }
  EXPECT_GT(retries, 10u) << log;
  EXPECT_TRUE(Contains(log, "Error copying PDF to destination (")) << log;
  EXPECT_EQ(test::WaitForLines(sandbox.out + "/onerror.txt", 1), 1);
  EXPECT_EQ(test::WaitForLines(sandbox.out + "/after.txt", 1), 1);
}

}  // namespace
}  // namespace nimbra
