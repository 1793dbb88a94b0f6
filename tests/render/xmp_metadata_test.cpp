// Reading and setting the document information copies in XMP metadata.
#include "gui/render/xmp_metadata.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

// A packet shaped as Ghostscript writes it.
const std::string kPacket =
    "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
    "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
    "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
    "<rdf:Description rdf:about=\"\" xmlns:pdf='http://ns.adobe.com/pdf/1.3/' "
    "pdf:Producer='GPL Ghostscript' pdf:Keywords='old &amp; keys'/>\n"
    "<rdf:Description rdf:about=\"\" xmlns:xmp='http://ns.adobe.com/xap/1.0/'>"
    "<xmp:CreatorTool>Old tool</xmp:CreatorTool></rdf:Description>\n"
    "<rdf:Description rdf:about=\"\" xmlns:dc='http://purl.org/dc/elements/1.1/' "
    "dc:format='application/pdf'><dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Untitled"
    "</rdf:li></rdf:Alt></dc:title></rdf:Description>\n"
    "<rdf:Description rdf:about=\"\" xmlns:pdfaid='http://www.aiim.org/pdfa/ns/id/' "
    "pdfaid:part='1' pdfaid:conformance='B'/></rdf:RDF>\n"
    "</x:xmpmeta>\n<?xpacket end='w'?>";

TEST(XmpPropertyTextTest, ReadsElementsAttributesAndArrays) {
  EXPECT_EQ(XmpPropertyText(kPacket, "dc:title"), "Untitled");
  EXPECT_EQ(XmpPropertyText(kPacket, "pdf:Keywords"), "old & keys");
  EXPECT_EQ(XmpPropertyText(kPacket, "xmp:CreatorTool"), "Old tool");
  EXPECT_EQ(XmpPropertyText(kPacket, "pdfaid:part"), "1");
  EXPECT_EQ(XmpPropertyText(kPacket, "dc:creator"), std::nullopt);
  // A name that only starts like another is a different property.
  EXPECT_EQ(XmpPropertyText("<a:titles>x</a:titles>", "a:title"), std::nullopt);
  // Text outside a tag that looks like an attribute is not one.
  EXPECT_EQ(XmpPropertyText("<a>b pdf:Keywords='x'</a>", "pdf:Keywords"), std::nullopt);
}

TEST(XmpWithPropertiesTest, ReplacesEveryFormAndKeepsTheRest) {
  const std::string title = "\xD0\xA4\xD0\xBE\xD1\x80\xD0\xBC\xD0\xB0";  // "Форма"
  const std::string updated = XmpWithProperties(
      kPacket, {{"dc:title", "http://purl.org/dc/elements/1.1/", XmpForm::kLanguageAlt, title},
                {"dc:creator", "http://purl.org/dc/elements/1.1/", XmpForm::kOrderedArray, "A <b>"},
                {"pdf:Keywords", "http://ns.adobe.com/pdf/1.3/", XmpForm::kText, "new"}});
  EXPECT_EQ(XmpPropertyText(updated, "dc:title"), title);
  EXPECT_EQ(XmpPropertyText(updated, "dc:creator"), "A <b>");
  EXPECT_EQ(XmpPropertyText(updated, "pdf:Keywords"), "new");
  // Each property is there once; untouched ones stay as they were.
  EXPECT_EQ(updated.find("Untitled"), std::string::npos);
  EXPECT_EQ(updated.find("old &amp; keys"), std::string::npos);
  EXPECT_EQ(updated.find("<dc:title>"), updated.rfind("<dc:title>"));
  EXPECT_NE(updated.find("pdf:Producer='GPL Ghostscript'"), std::string::npos);
  EXPECT_NE(updated.find("<xmp:CreatorTool>Old tool</xmp:CreatorTool>"), std::string::npos);
  EXPECT_NE(updated.find("pdfaid:part='1'"), std::string::npos);
  EXPECT_NE(updated.find("<rdf:li>A &lt;b&gt;</rdf:li>"), std::string::npos);
  // The new description sits inside rdf:RDF, describes the same resource, and declares the
  // namespaces it uses once each.
  const std::size_t added = updated.rfind("<rdf:Description");
  ASSERT_NE(added, std::string::npos);
  EXPECT_LT(added, updated.find("</rdf:RDF>"));
  const std::string description = updated.substr(added, updated.find('>', added) - added);
  EXPECT_EQ(description,
            "<rdf:Description rdf:about=\"\" xmlns:dc='http://purl.org/dc/elements/1.1/' "
            "xmlns:pdf='http://ns.adobe.com/pdf/1.3/'");
  EXPECT_EQ(updated.substr(updated.size() - 19), "<?xpacket end='w'?>");
}

TEST(XmpWithPropertiesTest, PacketWithoutRdfIsLeftAlone) {
  EXPECT_EQ(XmpWithProperties("<x/>", {{"dc:title", "ns", XmpForm::kText, "t"}}), "<x/>");
}

TEST(XmlEscapeTest, RoundTripAndForbiddenCharacters) {
  EXPECT_EQ(XmlEscape("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
  EXPECT_EQ(XmlEscape(std::string("x\x01y\tz", 5)), "xy\tz");
  EXPECT_EQ(XmlUnescape(XmlEscape("a&b<c>d\"e'f")), "a&b<c>d\"e'f");
  EXPECT_EQ(XmlUnescape("&#1060;&#x444;&unknown;&"), "\xD0\xA4\xD1\x84&unknown;&");
}

}  // namespace
}  // namespace nimbra
