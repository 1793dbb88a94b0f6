#include "gui/postscript/postscript_string.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

TEST(PostScriptString, EscapesAsPostScriptReadsIt) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"", "()"},
      {"a(b)c\\d", "(a\\(b\\)c\\\\d)"},
      {"[x]{y}", "(\\[x\\]\\{y\\})"},
      {"x\r\ny", "(x) (y)"},
      {"\xC3\xA9", "(\\303\\251)"},  // é in UTF-8: each byte as octal
      {"tab\there", "(tab\there)"},
  };
  for (const auto& c : cases) EXPECT_EQ(PostScriptString(c.in), c.out) << c.in;
}

TEST(PostScriptString, DecodesStringLiterals) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"(Quarterly \\(draft\\) \\303\\274)", "Quarterly (draft) \xC3\xBC"},
      {"a\\nb\\tc", "a\nb\tc"},
      {"\\101\\60x", "A0x"},      // one to three octal digits
      {"\\1234", "S4"},           // at most three
      {"\\q", "q"},               // unknown escape keeps the character
      {"long\\\nline", "longline"},  // backslash before a line end continues the line
      {"end\\", "end"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodePostScriptString(c.in), c.out) << c.in;
}

TEST(PostScriptString, DscValuesAreDecodedOnlyWhenOneString) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {" (Quarterly \\(draft\\) \\303\\274) ", "Quarterly (draft) \xC3\xBC"},
      {"(\\320\\244\\320\\276\\321\\200\\320\\274\\320\\260)", "Форма"},
      {"  Report  ", "Report"},
      {"Report (final)", "Report (final)"},
      {"(a) (b)", "(a) (b)"},  // two strings: left as written
      {"(unbalanced", "(unbalanced"},
      {"()", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeDscText(c.in), c.out) << c.in;
}

TEST(PostScriptString, RoundTripsEveryByte) {
  std::string all;
  for (int i = 1; i < 256; ++i) {
    if (i != '\r' && i != '\n') all += static_cast<char>(i);
  }
  EXPECT_EQ(DecodeDscText(PostScriptString(all)), all);
}

TEST(PdfTextString, AsciiStaysAPostScriptStringOtherTextBecomesUtf16) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"Q3 (draft)", "(Q3 \\(draft\\))"},
      {"\xC3\xBC", "<FEFF00FC>"},
      {"Я", "<FEFF042F>"},
      {"a\xF0\x9F\x98\x80", "<FEFF0061D83DDE00>"},  // beyond the BMP: a surrogate pair
      {"\xFF", "<FEFF00FF>"},                      // not UTF-8: taken as Latin-1
  };
  for (const auto& c : cases) EXPECT_EQ(PdfTextString(c.in), c.out) << c.in;
}

TEST(DecodeUtf8, InvalidSequencesFallBackToLatin1) {
  EXPECT_EQ(DecodeUtf8("\xC3\xA9"), std::u32string(U"\u00E9"));
  EXPECT_EQ(DecodeUtf8("\xC3"), std::u32string(U"\u00C3"));           // cut short
  EXPECT_EQ(DecodeUtf8("\xC0\x80"), std::u32string(U"\u00C0\u0080"));  // overlong
  EXPECT_EQ(DecodeUtf8("\xED\xA0\x80").size(), 3u);                   // a surrogate
}

}  // namespace
}  // namespace nimbra
