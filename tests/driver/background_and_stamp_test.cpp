// Whole jobs through the real gui program as a user sets them up: background pages, the stamp
// over and under the page, appending to an existing PDF, macros in the output name, and
// settings a user can get wrong. Pages are rendered with pdftoppm at a low resolution and
// checked by their pixels; their text with pdftotext, page by page.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "sandbox_support.h"

namespace nimbra {
namespace {

using test::ProgramResult;
using test::Sandbox;
using Settings = std::vector<std::pair<std::string, std::string>>;

constexpr int kDpi = 20;
constexpr double kPageHeight = 792;  // letter-sized pages, in points

std::string Fixture(const std::string& name) { return std::string(NIMBRA_TEST_DATA) + "/" + name; }

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

ProgramResult Convert(const Sandbox& sandbox, const std::string& postScriptFile, Settings settings,
                      const std::string& sessionId = "job") {
  settings.insert(settings.begin(), {{"showsettings", "never"}, {"showpdf", "no"},
                                     {"statusfile", sandbox.out + "/status.txt"}});
  sandbox.WriteSettings(settings);
  return test::RunGuiProgram({"ps=" + postScriptFile, "sessionid=" + sessionId, "doc=Document",
                              std::string("printer=") + test::kPrinter},
                             sandbox);
}

std::string Status(const Sandbox& sandbox) {
  return test::ReadStatusFile(sandbox.out + "/status.txt");
}

// Runs Ghostscript on a small PostScript program; `device` "pdfwrite" or "ps2write" (the latter
// gives PostScript in the form CUPS's filters deliver).
void MakeWithGhostscript(const std::string& program, const std::string& device,
                         const std::string& output) {
  const std::string source = output + ".src.ps";
  std::ofstream(source, std::ios::binary) << program;
  test::CommandOutput("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=" + device +
                      " -sOutputFile=" + test::Quoted(output) + " " + test::Quoted(source));
  ASSERT_TRUE(test::Exists(output)) << output;
}

// A letterhead: a red band across the top 92 points of a letter page.
std::string MakeLetterhead(const Sandbox& sandbox) {
  const std::string pdf = sandbox.out + "/letterhead.pdf";
  MakeWithGhostscript("%!PS\n<< /PageSize [612 792] >> setpagedevice\n"
                      "1 0 0 setrgbcolor 0 700 612 92 rectfill showpage\n",
                      "pdfwrite", pdf);
  return pdf;
}

// A CUPS-style document of `pages` pages, each with "Page number <n>" in black below the band.
std::string MakeDocument(const Sandbox& sandbox, int pages) {
  const std::string ps = sandbox.out + "/document.ps";
  MakeWithGhostscript("%!PS\n<< /PageSize [612 792] >> setpagedevice\n"
                      "/Helvetica findfont 24 scalefont setfont\n1 1 " +
                          std::to_string(pages) +
                          " { 72 300 moveto (Page number ) show 3 string cvs show showpage } for\n",
                      "ps2write", ps);
  return ps;
}

std::string PageText(const std::string& pdf, int page) {
  const std::string p = std::to_string(page);
  return test::CommandOutput("pdftotext -layout -f " + p + " -l " + p + " " + test::Quoted(pdf) +
                             " -");
}

struct Rgb {
  int r, g, b;
};

// One page rendered at kDpi, read from pdftoppm's PPM.
class Page {
 public:
  Page(const std::string& pdf, int page) {
    const std::string base = pdf + ".page" + std::to_string(page);
    const std::string p = std::to_string(page);
    test::CommandOutput("pdftoppm -r " + std::to_string(kDpi) + " -f " + p + " -l " + p +
                        " -singlefile " + test::Quoted(pdf) + " " + test::Quoted(base));
    const std::string ppm = test::ReadAll(base + ".ppm");
    std::filesystem::remove(base + ".ppm");
    // "P6\n<w> <h>\n255\n" then the pixels.
    std::size_t at = 0;
    auto word = [&ppm, &at]() {
      while (at < ppm.size() && std::isspace(static_cast<unsigned char>(ppm[at]))) ++at;
      const std::size_t start = at;
      while (at < ppm.size() && !std::isspace(static_cast<unsigned char>(ppm[at]))) ++at;
      return ppm.substr(start, at - start);
    };
    if (word() != "P6") return;
    width_ = std::stoi(word());
    height_ = std::stoi(word());
    word();
    pixels_ = ppm.substr(at + 1);
    if (pixels_.size() < static_cast<std::size_t>(width_ * height_ * 3)) width_ = height_ = 0;
  }
  bool Valid() const { return width_ > 0; }
  Rgb At(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width_ + x) * 3;
    return {static_cast<unsigned char>(pixels_[i]), static_cast<unsigned char>(pixels_[i + 1]),
            static_cast<unsigned char>(pixels_[i + 2])};
  }
  // Pixels that are red (the letterhead's and the stamp's colour) in a rectangle given in
  // points from the lower left corner.
  int RedIn(double x0, double y0, double x1, double y1) const {
    int n = 0;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        const double px = (x + 0.5) * 72.0 / kDpi;
        const double py = kPageHeight - (y + 0.5) * 72.0 / kDpi;
        if (px < x0 || px > x1 || py < y0 || py > y1) continue;
        const Rgb c = At(x, y);
        if (c.r > 180 && c.g < 90 && c.b < 90) ++n;
      }
    }
    return n;
  }

 private:
  int width_ = 0;
  int height_ = 0;
  std::string pixels_;
};

TEST(Background, LetterheadLiesUnderExactlyThePagesOfItsPlace) {
  struct Case {
    const char* place;
    std::vector<bool> onPage;  // pages 1 to 6
  };
  const std::vector<Case> cases = {
      {"1", {true, false, false, false, false, false}},
      {"2-", {false, true, true, true, true, true}},
      {"LO", {false, true, false, true, false, true}},  // the last, third and fifth from last
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.place);
    Sandbox sandbox;
    const std::string document = MakeDocument(sandbox, 6);
    const std::string pdf = sandbox.out + "/doc.pdf";
    const ProgramResult r = Convert(
        sandbox, document,
        {{"output", pdf}, {"superimpose", MakeLetterhead(sandbox) + "<" + c.place + ">"}});
    EXPECT_EQ(r.exitCode, 0) << r.stdErr;
    ASSERT_TRUE(Contains(Status(sandbox), "Errors=0")) << Status(sandbox);
    EXPECT_TRUE(Contains(Status(sandbox), "PageCount=6")) << Status(sandbox);
    ASSERT_EQ(test::PdfInfoField(pdf, "Pages"), "6");
    for (int page = 1; page <= 6; ++page) {
      const Page image(pdf, page);
      ASSERT_TRUE(image.Valid()) << page;
      const int band = image.RedIn(0, 705, 612, 787);
      if (c.onPage[page - 1]) {
        EXPECT_GT(band, 500) << "page " << page;  // the band covers the top of the page
      } else {
        EXPECT_EQ(band, 0) << "page " << page;
      }
      EXPECT_EQ(image.RedIn(0, 0, 612, 690), 0) << "page " << page;  // nothing below the band
      EXPECT_TRUE(Contains(PageText(pdf, page), "Page number " + std::to_string(page)))
          << "page " << page;
    }
  }
}

TEST(Background, LetterheadUnderACupsFixtureKeepsItsText) {
  Sandbox sandbox;
  const std::string plain = sandbox.out + "/plain.pdf";
  const std::string with = sandbox.out + "/with.pdf";
  ASSERT_EQ(Convert(sandbox, Fixture("plain.ps"), {{"output", plain}}, "plain").exitCode, 0);
  ASSERT_EQ(Convert(sandbox, Fixture("plain.ps"),
                    {{"output", with}, {"superimpose", MakeLetterhead(sandbox)}}, "with")
                .exitCode,
            0);
  ASSERT_TRUE(Contains(Status(sandbox), "Errors=0")) << Status(sandbox);
  const Page image(with, 1);
  ASSERT_TRUE(image.Valid());
  EXPECT_GT(image.RedIn(0, 705, 612, 787), 500);
  const std::string text = PageText(plain, 1);
  ASSERT_GT(text.size(), 20u);
  EXPECT_EQ(PageText(with, 1), text);
  // The fixture's own ink at the top left is painted over the band, not hidden under it.
  const Page without(plain, 1);
  int ink = 0;
  int kept = 0;
  for (int y = 0; y < 25; ++y) {
    for (int x = 0; x < 170; ++x) {
      const Rgb a = without.At(x, y);
      if (a.r > 200) continue;
      ++ink;
      // Over the red band, ink darkens the red channel as much as it darkens white.
      if (image.At(x, y).r <= a.r + 40) ++kept;
    }
  }
  EXPECT_GT(ink, 20);
  EXPECT_GT(kept, ink * 9 / 10);
}

// The stamp on a CUPS fixture, over the page and under it.
TEST(Stamp, TextWhereThePositionPutsItAndThePageTextStays) {
  const double cx = 306;
  const double cy = 396;
  const double angle = std::atan2(792.0, 612.0);
  const double dx = 150 * std::cos(angle);
  const double dy = 150 * std::sin(angle);
  struct Square {
    double x, y;
    bool red;
  };
  struct Case {
    const char* name;
    Settings settings;
    std::vector<Square> squares;  // 50-point squares around these points
  };
  const std::vector<Case> cases = {
      {"top layer, corner to corner",
       {{"watermarkrotation", "c2c"}, {"watermarklayer", "top"}},
       {{cx, cy, true}, {cx + dx, cy + dy, true}, {cx - dx, cy - dy, true},
        {cx - dx, cy + dy, false}, {cx + dx, cy - dy, false}}},
      {"bottom layer, the other diagonal",
       {{"watermarkrotation", "-c2c"}, {"watermarklayer", "bottom"}},
       {{cx, cy, true}, {cx - dx, cy + dy, true}, {cx + dx, cy - dy, true},
        {cx + dx, cy + dy, false}, {cx - dx, cy - dy, false}}},
      {"45 degrees from the top left, 10 % in",
       {{"watermarkrotation", "45"}, {"watermarkhorizontalposition", "left"},
        {"watermarkverticalposition", "top"}, {"watermarkhorizontaladjustment", "10"},
        {"watermarkverticaladjustment", "10"}},
       {{25, cy, false}, {cx, 770, false}, {270, 504, true}, {550, 100, false}}},
  };
  Sandbox sandbox;
  const std::string plain = sandbox.out + "/plain.pdf";
  ASSERT_EQ(Convert(sandbox, Fixture("plain.ps"), {{"output", plain}}, "plain").exitCode, 0);
  const std::string plainText = PageText(plain, 1);
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string pdf = sandbox.out + "/stamp" + std::to_string(++n) + ".pdf";
    Settings settings = {{"output", pdf},
                         {"watermarktext", "CONFIDENTIAL"},
                         {"watermarkcolor", "#FF0000"},
                         {"watermarkoutlinewidth", "0"},
                         {"watermarkfontsize", "72"}};
    settings.insert(settings.end(), c.settings.begin(), c.settings.end());
    const ProgramResult r = Convert(sandbox, Fixture("plain.ps"), settings, "s" + std::to_string(n));
    EXPECT_EQ(r.exitCode, 0) << r.stdErr;
    ASSERT_TRUE(Contains(Status(sandbox), "Errors=0")) << Status(sandbox);
    const Page image(pdf, 1);
    ASSERT_TRUE(image.Valid());
    for (const auto& s : c.squares) {
      const int red = image.RedIn(s.x - 25, s.y - 25, s.x + 25, s.y + 25);
      if (s.red) {
        EXPECT_GT(red, 5) << s.x << "," << s.y;
      } else {
        EXPECT_EQ(red, 0) << s.x << "," << s.y;
      }
    }
    // The page's own lines are all still there, and the stamp's text once.
    const std::string text = PageText(pdf, 1);
    std::size_t start = 0;
    while (start < plainText.size()) {
      std::size_t end = plainText.find('\n', start);
      if (end == std::string::npos) end = plainText.size();
      std::string line = plainText.substr(start, end - start);
      start = end + 1;
      while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
      while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.erase(0, 1);
      if (line.size() < 4) continue;
      EXPECT_TRUE(Contains(text, line.substr(0, 20))) << line;
    }
    const std::string stampText = test::PdfText(pdf);
    EXPECT_EQ(stampText.find("CONFIDENTIAL"), stampText.rfind("CONFIDENTIAL")) << stampText;
  }
}

// An existing two-page PDF.
std::string MakeExistingPdf(const Sandbox& sandbox) {
  const std::string pdf = sandbox.out + "/existing.pdf";
  MakeWithGhostscript("%!PS\n/Helvetica findfont 24 scalefont setfont\n"
                      "72 700 moveto (Existing one) show showpage\n"
                      "72 700 moveto (Existing two) show showpage\n",
                      "pdfwrite", pdf);
  return pdf;
}

bool Encrypted(const std::string& pdf) {
  return test::CommandOutput("qpdf --is-encrypted " + test::Quoted(pdf) + "; echo $?") == "0\n";
}

TEST(Append, PageOrderAndEncryptionOfTheMergedFileOnly) {
  struct Case {
    const char* position;
    std::vector<std::string> pages;
  };
  const std::vector<Case> cases = {
      {"top", {"Page number 1", "Existing one", "Existing two"}},
      {"bottom", {"Existing one", "Existing two", "Page number 1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    Sandbox sandbox;
    // The debug marker keeps the run's intermediate PDF in the temporary folder.
    std::ofstream(sandbox.app + "/debug.txt") << "";
    const std::string pdf = sandbox.out + "/merged.pdf";
    const ProgramResult r = Convert(sandbox, MakeDocument(sandbox, 1),
                                    {{"output", pdf}, {"mergefile", MakeExistingPdf(sandbox)},
                                     {"mergeposition", c.position},
                                     {"ownerpassword", "owner-secret"}});
    EXPECT_EQ(r.exitCode, 0) << r.stdErr;
    ASSERT_TRUE(Contains(Status(sandbox), "Errors=0")) << Status(sandbox);
    ASSERT_EQ(test::PdfInfoField(pdf, "Pages"), "3");
    for (int page = 1; page <= 3; ++page) {
      EXPECT_TRUE(Contains(PageText(pdf, page), c.pages[page - 1])) << page;
    }
    EXPECT_TRUE(Encrypted(pdf));
    const std::string intermediate = sandbox.TempFolder() + "/job_printer.pdf";
    ASSERT_TRUE(test::Exists(intermediate));
    EXPECT_FALSE(Encrypted(intermediate));
    EXPECT_EQ(test::PdfInfoField(intermediate, "Pages"), "1");
  }
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

TEST(Macros, OutputNameFromTitleAndDateOnTheDesktop) {
  struct Case {
    const char* name;
    std::string document;  // "" for the Russian fixture
    std::string fileTitle;
    std::string pdfTitle;
  };
  const std::vector<Case> cases = {
      {"Cyrillic title", "", "Форма заявки", "Форма заявки"},
      {"title with : and ?", "(Q3: ready?)", "Q3_ ready_", "Q3: ready?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    const std::string desktop = sandbox.home + "/Arbeitsfläche";
    std::filesystem::create_directories(desktop);
    std::ofstream(sandbox.config + "/user-dirs.dirs")
        << "XDG_DESKTOP_DIR=\"$HOME/Arbeitsfläche\"\n";
    std::string input = Fixture("form_russian.ps");
    if (!c.document.empty()) {
      input = sandbox.out + "/titled.ps";
      std::string text = test::ReadAll(Fixture("plain.ps"));
      const std::size_t at = text.find("%%Title: ");
      ASSERT_NE(at, std::string::npos);
      text.replace(at, text.find('\n', at) - at, "%%Title: " + c.document);
      std::ofstream(input, std::ios::binary) << text;
    }
    const std::string before = Today();
    const ProgramResult r = Convert(sandbox, input, {{"output", "<desktop>/<title>-<date>.pdf"}});
    const std::string after = Today();
    EXPECT_EQ(r.exitCode, 0) << r.stdErr;
    ASSERT_TRUE(Contains(Status(sandbox), "Errors=0")) << Status(sandbox);
    std::string pdf = desktop + "/" + c.fileTitle + "-" + before + ".pdf";
    if (!test::Exists(pdf)) pdf = desktop + "/" + c.fileTitle + "-" + after + ".pdf";
    ASSERT_TRUE(test::Exists(pdf)) << test::CommandOutput("ls " + test::Quoted(desktop));
    EXPECT_TRUE(Contains(Status(sandbox), "File1=" + pdf)) << Status(sandbox);
    EXPECT_EQ(test::PdfInfoField(pdf, "Title"), c.pdfTitle);
  }
}

// Background settings a user can get wrong: the job ends with a clear error, never a crash.
TEST(BadInput, BackgroundSettingsEndTheJobWithAClearError) {
  struct Case {
    const char* name;
    std::string superimpose;  // "@" stands for the letterhead's path
    bool error;
    std::string logged;  // in the run's log
  };
  const std::vector<Case> cases = {
      {"40 000-character file name", std::string(40000, 'a') + ".pdf", true,
       "Error 1011: Background PDF '" + std::string(40000, 'a') + ".pdf' does not exist."},
      {"40 000-digit place", "@<" + std::string(40000, '1') + ">", true,
       "Error 6: Overflow: the background place '" + std::string(40, '1') +
           "...' holds a number above 32767."},
      {"place 99999", "@<99999>", true,
       "Error 6: Overflow: the background place '99999' holds a number above 32767."},
      {"<<<>>>", "<<<>>>", true, "Error 1011: Background PDF '' does not exist."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    std::string value = c.superimpose;
    if (value.front() == '@') value = MakeLetterhead(sandbox) + value.substr(1);
    const std::string pdf = sandbox.out + "/doc.pdf";
    const ProgramResult r = Convert(sandbox, Fixture("plain.ps"),
                                    {{"output", pdf}, {"superimpose", value}});
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 0) << r.stdErr;
    const std::string status = Status(sandbox);
    EXPECT_TRUE(Contains(status, c.error ? "Errors=1" : "Errors=0")) << status.substr(0, 400);
    const std::string log = test::ReadAll(sandbox.LogFile("job"));
    EXPECT_TRUE(Contains(log, c.logged)) << log.substr(0, 2000);
    EXPECT_EQ(test::Exists(pdf), !c.error);
  }
}

// The background's own PostScript brings an error handler that would end a failing run quietly
// with a short PDF: an error in the document after a background still fails the job.
TEST(BadInput, DocumentErrorAfterABackgroundFailsTheJob) {
  Sandbox sandbox;
  const std::string document = sandbox.out + "/broken.ps";
  std::ofstream(document, std::ios::binary)
      << test::ReadAll(Fixture("plain.ps")) << "\nnimbra_no_such_operator\n";
  const std::string pdf = sandbox.out + "/doc.pdf";
  const ProgramResult r =
      Convert(sandbox, document, {{"output", pdf}, {"superimpose", MakeLetterhead(sandbox)}});
  EXPECT_EQ(r.exitCode, 0) << r.stdErr;
  EXPECT_TRUE(Contains(Status(sandbox), "Errors=1")) << Status(sandbox);
  EXPECT_FALSE(test::Exists(pdf));
  const std::string log = test::ReadAll(sandbox.LogFile("job"));
  EXPECT_TRUE(Contains(log, "nimbra_no_such_operator")) << log.substr(0, 3000);
}

}  // namespace
}  // namespace nimbra
