// Real Ghostscript runs (pdfwrite) of the header and the patched document, as the rendering pass
// makes them: every emitted page is reported on the capture file, and the job's document
// information reaches the PDF.
#include <gtest/gtest.h>

#include <numeric>

#include "gui/postscript/postscript_header.h"
#include "gui/postscript/postscript_patch.h"
#include "tests/postscript/postscript_support.h"

namespace nimbra {
namespace {

using test::Fixture;
using test::MakeSettings;
using test::PageMarkers;
using test::PdfInfoField;
using test::PdfPages;
using test::RunPdfwrite;
using test::TempFolder;

struct Rendered {
  int status = -1;
  std::string pdf;
  std::string capture;
};

Rendered Render(const TempFolder& temp, const Dictionary& settings, const std::string& input) {
  Rendered r;
  const std::string header = temp.File("header.ps");
  const std::string patched = temp.File("patched.ps");
  EXPECT_TRUE(WritePostScriptHeader(header, settings, true));
  PatchPostScriptFile(settings, temp.File("si_#.eps"), patched, input);
  r.pdf = temp.File("out.pdf");
  r.capture = temp.File("params.out");
  r.status = RunPdfwrite({header, patched}, r.pdf, r.capture);
  return r;
}

std::vector<int> OneTo(int n) {
  std::vector<int> pages(static_cast<std::size_t>(n));
  std::iota(pages.begin(), pages.end(), 1);
  return pages;
}

TEST(PageReport, EveryFixtureReportsItsPage) {
  TempFolder temp;
  for (const char* name : {"plain.ps", "testpage.ps", "form_russian.ps"}) {
    const Rendered r = Render(temp, *MakeSettings({}), Fixture(name));
    ASSERT_EQ(r.status, 0) << name;
    EXPECT_EQ(PageMarkers(r.capture), OneTo(1)) << name;
    EXPECT_EQ(PdfPages(r.pdf), 1) << name;
  }
}

TEST(PageReport, ThirtySixPagesReportThirtySixWithAndWithoutStamps) {
  TempFolder temp;
  const std::string document = temp.File("doc36.ps");
  test::MakeMultiPageDocument(36, document);
  const DictionaryPtr cases[] = {
      MakeSettings({}),
      MakeSettings({{"watermarktext", "Draft"}}),  // top layer: its own EndPage chained
      MakeSettings({{"watermarktext", "Draft"}, {"watermarklayer", "bottom"}}),
  };
  for (const DictionaryPtr& settings : cases) {
    const Rendered r = Render(temp, *settings, document);
    ASSERT_EQ(r.status, 0) << test::ReadAll(r.capture);
    EXPECT_EQ(PageMarkers(r.capture), OneTo(36)) << settings->Item("watermarklayer");
    EXPECT_EQ(PdfPages(r.pdf), 36);
  }
}

TEST(PageReport, CountsOnAcrossPageSizeChangesAndCopies) {
  TempFolder temp;
  // The page device's own count restarts at every setpagedevice; copypage emits a page too.
  const std::string document = temp.File("sizes.ps");
  test::WriteAll(document,
                 "%!PS\n%%Page: 1 1\n<< /PageSize [612 792] >> setpagedevice showpage\n"
                 "%%Page: 2 2\n<< /PageSize [842 595] >> setpagedevice copypage showpage\n"
                 "%%Page: 3 3\n<< /PageSize [612 792] >> setpagedevice showpage\n");
  const Rendered r = Render(temp, *MakeSettings({}), document);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(PageMarkers(r.capture), OneTo(4));
  EXPECT_EQ(PdfPages(r.pdf), 4);
}

TEST(DocumentInformation, TheJobsTextReachesThePdfInAnyLanguage) {
  TempFolder temp;
  const struct {
    const char* title;
    const char* author;
  } cases[] = {
      {"Квартальный отчёт", "Jürgen Groß"},
      {"Q3 (draft) [v2] {x}", "Jane"},
      {"報告書 😀", "李"},
  };
  for (const auto& c : cases) {
    const DictionaryPtr settings =
        MakeSettings({{"title", c.title}, {"author", c.author}, {"subject", "Тема"}, {"keywords", "k1 k2"}});
    // The fixture's own %%Title: is Cyrillic too, and its %%For: is root.
    const Rendered r = Render(temp, *settings, Fixture("form_russian.ps"));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(PdfInfoField(r.pdf, "Title"), c.title);
    EXPECT_EQ(PdfInfoField(r.pdf, "Author"), c.author);
    EXPECT_EQ(PdfInfoField(r.pdf, "Subject"), "Тема");
    EXPECT_EQ(PdfInfoField(r.pdf, "Keywords"), "k1 k2");
  }
}

TEST(DocumentInformation, PdfaOutputStaysPdfa) {
  const std::string definition = std::string(NIMBRA_TEST_DATA) + "/../../data/PDFA_def.ps";
  if (test::Shell("test -f " + test::Quote(definition)) != 0) GTEST_SKIP() << "no " << definition;
  TempFolder temp;
  const DictionaryPtr settings = MakeSettings({{"pdfa", "yes"},
                                               {"title", "Q3 (draft)"},
                                               {"author", "Jürgen"},
                                               {"subject", "Plain"},
                                               {"watermarktext", "Draft"},
                                               {"watermarklayer", "bottom"}});
  const std::string header = temp.File("header.ps");
  const std::string patched = temp.File("patched.ps");
  ASSERT_TRUE(WritePostScriptHeader(header, *settings, true));
  PatchPostScriptFile(*settings, "", patched, Fixture("plain.ps"));
  const std::string pdf = temp.File("out.pdf");
  const std::string capture = temp.File("params.out");
  // The PDF/A arguments of the rendering pass; the page markers go to -sstdout as there.
  const int status = test::Shell(
      "gs -dPDFA -sProcessColorModel=DeviceCMYK -sColorConversionStrategy=CMYK -q -dSAFER -dNOPAUSE "
      "-dBATCH -sstdout=" + test::Quote(capture) + " -sDEVICE=pdfwrite -sOutputFile=" + test::Quote(pdf) +
          " -c -f " + test::Quote(definition) + " " + test::Quote(header) + " " + test::Quote(patched),
      temp.File("stderr.out"));
  ASSERT_EQ(status, 0) << test::ReadAll(temp.File("stderr.out"));
  EXPECT_EQ(test::ReadAll(temp.File("stderr.out")).find("reverting to normal PDF"), std::string::npos)
      << test::ReadAll(temp.File("stderr.out"));
  EXPECT_EQ(PageMarkers(capture), OneTo(1));
  EXPECT_EQ(PdfInfoField(pdf, "Subject"), "Plain");
}

}  // namespace
}  // namespace nimbra
