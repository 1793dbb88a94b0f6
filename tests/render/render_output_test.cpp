// Whole rendering passes with real Ghostscript, checked with real PDF tools: PDF/A, encryption,
// image devices, and document information in any language.
#include <gtest/gtest.h>

#include "gui/render/ghostscript.h"
#include "gui/render/image_parameters.h"
#include "gui/render/pdf_document_info.h"
#include "gui/render/pdf_parameters.h"
#include "platform/dictionary.h"
#include "platform/error.h"
#include "platform/files.h"
#include "render_world_support.h"

namespace nimbra {
namespace {

const std::string kTestData = NIMBRA_TEST_DATA;
// "Форма заявки", the title of the Russian fixture.
const std::string kRussianTitle = "\xD0\xA4\xD0\xBE\xD1\x80\xD0\xBC\xD0\xB0 "
                                  "\xD0\xB7\xD0\xB0\xD1\x8F\xD0\xB2\xD0\xBA\xD0\xB8";

class RenderOutputTest : public ::testing::Test {
 protected:
  // Rendering pass as the pipeline runs it: header, then the document.
  std::string RenderPdf(const std::string& document, const std::string& name = "out.pdf") {
    const std::string header = world_.Path("header.ps");
    test_support::WriteFileBytes(header, test::PageReportProgram());
    const std::string pdf = world_.Path(name);
    params_ = world_.Path("params.gs");
    WritePdfParameters(params_, pdf, settings_, false, world_.Path("params.out"), {header, document});
    RunGhostscript(settings_, params_, world_.Path("params.out"));
    return pdf;
  }
  std::string Tool(const std::string& commandLine, int expectedExit = 0) {
    const test::ToolResult r = test::RunTool(commandLine);
    EXPECT_EQ(r.exitCode, expectedExit) << commandLine << "\n" << r.output;
    return r.output;
  }
  // The dictionary of the catalog's metadata stream, as qpdf shows it.
  std::string MetadataStreamDictionary(const std::string& pdf) {
    const std::string root = Tool("qpdf --show-object=trailer " + test::ShellQuote(pdf));
    const std::size_t rootAt = root.find("/Root ");
    if (rootAt == std::string::npos) return {};
    const std::string catalog = Tool("qpdf --show-object=" +
                                     std::to_string(std::stoi(root.substr(rootAt + 6))) + " " +
                                     test::ShellQuote(pdf));
    const std::size_t at = catalog.find("/Metadata ");
    if (at == std::string::npos) return {};
    return Tool("qpdf --show-object=" + std::to_string(std::stoi(catalog.substr(at + 10))) + " " +
                test::ShellQuote(pdf));
  }
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

  test::RenderWorld world_;
  Dictionary settings_;
  std::string params_;
};

TEST_F(RenderOutputTest, PdfaOutputIsDeclaredAndCleanWithoutWarnings) {
  settings_.Set("pdfa", "yes");
  // RGB text and an RGB image: PDF/A with a CMYK output intent must not keep them as RGB.
  const std::string document = world_.Path("rgb.ps");
  test_support::WriteFileBytes(document,
                      "%!PS-Adobe-3.0\n%%Pages: 1\n%%EndComments\n%%Page: 1 1\n"
                      "1 0 0 setrgbcolor /Helvetica findfont 24 scalefont setfont\n"
                      "72 700 moveto (Red text) show\n"
                      "gsave 72 400 translate 100 100 scale\n"
                      "2 2 8 [2 0 0 -2 0 2] <ff000000ff000000ffffff00> false 3 colorimage\n"
                      "grestore showpage\n%%EOF\n");
  const std::string pdf = RenderPdf(document);
  // The same parameter file without -q: Ghostscript would name any PDF/A problem here.
  const std::string loud = world_.Path("loud.gs");
  std::string text = test_support::ReadFileBytes(params_);
  text.replace(text.find("-q\n"), 3, "");
  text.replace(text.find("out.pdf"), 7, "loud.pdf");
  test_support::WriteFileBytes(loud, text);
  const std::string messages = Tool("gs @" + test::ShellQuote(loud));
  EXPECT_FALSE(Has(messages, "PDFA") || Has(messages, "PDF/A") || Has(messages, "rror")) << messages;
  EXPECT_FALSE(Has(test_support::ReadFileBytes(world_.Path("params.out")), "PDFA"));

  const std::string meta = Tool("pdfinfo -meta " + test::ShellQuote(pdf));
  EXPECT_TRUE(Has(meta, "pdfaid:part='1'")) << meta;
  EXPECT_TRUE(PdfaDeclared(pdf));
  EXPECT_TRUE(Has(Tool("qpdf --check " + test::ShellQuote(pdf)), "No syntax or stream encoding errors"));
  // An output intent with a CMYK profile, and no device-dependent RGB left beside it.
  const std::string plain = Tool("qpdf --qdf --object-streams=disable " + test::ShellQuote(pdf) + " -");
  EXPECT_TRUE(Has(plain, "/GTS_PDFA1"));
  for (const char* rgb : {"/DeviceRGB", "/RGB", " rg\n", " RG\n"}) EXPECT_FALSE(Has(plain, rgb)) << rgb;
  EXPECT_TRUE(Has(plain, " k\n"));  // the red text, now in CMYK
}

TEST_F(RenderOutputTest, PlainPdfIsNotDeclaredPdfa) {
  const std::string pdf = RenderPdf(kTestData + "/plain.ps");
  EXPECT_FALSE(Has(Tool("pdfinfo -meta " + test::ShellQuote(pdf)), "pdfaid"));
  EXPECT_FALSE(PdfaDeclared(pdf));
}

TEST_F(RenderOutputTest, PdfaWithRussianTitleKeepsTheTitleAndStaysPdfa) {
  settings_.Set("pdfa", "yes");
  const std::string pdf = RenderPdf(kTestData + "/form_russian.ps");
  DocumentInfo info;
  info.title = kRussianTitle;
  info.author = "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD & <Co>";  // "Иван & <Co>"
  info.subject = "Subject 'quoted'";
  info.keywords = "one, two";
  EXPECT_TRUE(ApplyDocumentInfo(pdf, info));

  const std::string pdfInfo = Tool("pdfinfo " + test::ShellQuote(pdf));
  EXPECT_TRUE(Has(pdfInfo, "Title:           " + kRussianTitle + "\n")) << pdfInfo;
  EXPECT_TRUE(Has(pdfInfo, "Author:          " + info.author + "\n")) << pdfInfo;
  EXPECT_TRUE(Has(pdfInfo, "Subject:         Subject 'quoted'\n")) << pdfInfo;
  EXPECT_TRUE(Has(pdfInfo, "Keywords:        one, two\n")) << pdfInfo;
  const std::string meta = Tool("pdfinfo -meta " + test::ShellQuote(pdf));
  EXPECT_TRUE(Has(meta, "pdfaid:part='1'")) << meta;
  EXPECT_TRUE(Has(meta, ">" + kRussianTitle + "</rdf:li>")) << meta;
  EXPECT_TRUE(Has(meta, "<rdf:li>\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD &amp; &lt;Co&gt;</rdf:li>")) << meta;
  EXPECT_TRUE(Has(meta, "<pdf:Keywords>one, two</pdf:Keywords>")) << meta;
  EXPECT_TRUE(PdfaDeclared(pdf));
  EXPECT_TRUE(Has(Tool("qpdf --check " + test::ShellQuote(pdf)), "No syntax or stream encoding errors"));
  // PDF/A-1 wants the metadata stream unfiltered.
  const std::string metadata = MetadataStreamDictionary(pdf);
  EXPECT_TRUE(Has(metadata, "/Type /Metadata")) << metadata;
  EXPECT_FALSE(Has(metadata, "/Filter")) << metadata;
  // A second pass finds nothing to change.
  EXPECT_FALSE(ApplyDocumentInfo(pdf, info));
}

TEST_F(RenderOutputTest, EncryptedPdfNeedsTheUserPasswordAndRefusesPrintingAndCopying) {
  settings_.Set("ownerpassword", "owner secret");
  settings_.Set("userpassword", "user");
  settings_.Set("permissions", "61632");
  settings_.Set("keylength", "128");
  const std::string pdf = RenderPdf(kTestData + "/plain.ps");
  const std::string quoted = test::ShellQuote(pdf);

  Tool("pdfinfo " + quoted, 1);  // no password: refused
  const std::string info = Tool("pdfinfo -upw user " + quoted);
  EXPECT_TRUE(Has(info, "Encrypted:       yes (print:no copy:no")) << info;
  const std::string encryption = Tool("qpdf --show-encryption --password=user " + quoted);
  EXPECT_TRUE(Has(encryption, "P = 61632")) << encryption;
  EXPECT_TRUE(Has(encryption, "R = 3")) << encryption;
  EXPECT_TRUE(Has(Tool("qpdf --show-encryption '--password=owner secret' " + quoted),
                  "Supplied password is owner password"));

  // The document information step keeps the encryption.
  DocumentInfo docInfo;
  docInfo.title = kRussianTitle;
  EXPECT_TRUE(ApplyDocumentInfo(pdf, docInfo, "owner secret"));
  const std::string after = Tool("pdfinfo -upw user " + quoted);
  EXPECT_TRUE(Has(after, "Title:           " + kRussianTitle)) << after;
  EXPECT_TRUE(Has(after, "Encrypted:       yes (print:no copy:no")) << after;
  Tool("pdfinfo " + quoted, 1);
}

TEST_F(RenderOutputTest, PdfaWithEncryptionFollowsGhostscriptWhichKeepsTheEncryption) {
  // PDF/A forbids encryption; both are asked for, and Ghostscript encrypts and drops PDF/A.
  settings_.Set("pdfa", "yes");
  settings_.Set("ownerpassword", "own");
  const std::string pdf = RenderPdf(kTestData + "/plain.ps");
  EXPECT_TRUE(Has(Tool("qpdf --show-encryption --password=own " + test::ShellQuote(pdf)), "R = 3"));
  EXPECT_FALSE(PdfaDeclared(pdf, "own"));
}

TEST_F(RenderOutputTest, PlainTitleThatGhostscriptAlreadyWroteIsNotRewritten) {
  const std::string document = world_.Path("titled.ps");
  test_support::WriteFileBytes(document, test::PostScriptPages(1, "Quarterly report"));
  const std::string pdf = RenderPdf(document);
  ASSERT_TRUE(Has(Tool("pdfinfo " + test::ShellQuote(pdf)), "Title:           Quarterly report"));
  DocumentInfo info;
  info.title = "Quarterly report";
  EXPECT_FALSE(ApplyDocumentInfo(pdf, info));
  EXPECT_FALSE(ApplyDocumentInfo(pdf, DocumentInfo{}));
}

TEST_F(RenderOutputTest, ApplyDocumentInfoOnABrokenFileRaisesAndLeavesItAlone) {
  const std::string broken = world_.Path("broken.pdf");
  test_support::WriteFileBytes(broken, "not a pdf");
  DocumentInfo info;
  info.title = "x";
  EXPECT_THROW(ApplyDocumentInfo(broken, info), Error);
  EXPECT_EQ(test_support::ReadFileBytes(broken), "not a pdf");
}

class ImagePassTest : public RenderOutputTest {
 protected:
  // The first bytes of a file, which name its format.
  static std::string Signature(const std::string& file, std::size_t size) {
    return PathExists(file) ? test_support::ReadFileBytes(file).substr(0, size) : std::string();
  }
  // Renders a document of `pages` pages to PDF, then runs the image pass with `base`.
  std::string RunImagePass(int pages, std::string base) {
    const std::string document = world_.Path("pages.ps");
    test_support::WriteFileBytes(document, test::PostScriptPages(pages));
    const std::string pdf = RenderPdf(document, "pages.pdf");
    const std::string params = world_.Path("device_param.gs");
    const std::string extension = WriteImageParameters(params, base, settings_,
                                                       world_.Path("device_param.out"), pdf);
    RunGhostscript(settings_, params, world_.Path("device_param.out"));
    return extension;
  }
};

TEST_F(ImagePassTest, Png16mWritesOneNumberedFilePerPage) {
  settings_.Set("device", "png16m");
  settings_.Set("res", "30");
  EXPECT_EQ(RunImagePass(2, world_.Path("s_page_%08d")), "png");
  for (const char* name : {"s_page_00000001.png", "s_page_00000002.png"}) {
    EXPECT_EQ(Signature(world_.Path(name), 4), "\x89PNG") << name;
  }
  EXPECT_FALSE(PathExists(world_.Path("s_page_00000003.png")));
}

TEST_F(ImagePassTest, JpegAndTiffG4WriteTheirFormats) {
  struct Case {
    const char* device;
    const char* extension;
    std::string signature;
  };
  for (const Case& c : {Case{"jpeg", "jpg", "\xFF\xD8\xFF"}, Case{"tiffg4", "tif", std::string("II*\0", 4)}}) {
    settings_.Set("device", c.device);
    settings_.Set("res", "30");
    EXPECT_EQ(RunImagePass(1, world_.Path("s_page")), c.extension);
    const std::string file = world_.Path(std::string("s_page.") + c.extension);
    EXPECT_EQ(Signature(file, c.signature.size()), c.signature) << c.device;
  }
}

TEST_F(ImagePassTest, EncryptedPdfIsReadWithTheOwnerPassword) {
  settings_.Set("ownerpassword", "own");
  settings_.Set("userpassword", "user");
  // Ghostscript 10.0 cannot read back its own 40-bit files; 128 bits it can.
  settings_.Set("keylength", "128");
  settings_.Set("device", "pnggray");
  settings_.Set("res", "20");
  EXPECT_EQ(RunImagePass(1, world_.Path("enc_page")), "png");
  EXPECT_TRUE(PathExists(world_.Path("enc_page.png")));
}

}  // namespace
}  // namespace nimbra
