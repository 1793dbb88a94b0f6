#pragma once
// Texts written into PostScript, and PostScript texts read back. Texts are UTF-8 here; the
// PostScript side sees bytes, so every byte beyond ASCII is written as an octal escape, and the
// DSC values of CUPS's PostScript (octal-escaped UTF-8 in parentheses) are decoded the same way.
#include <string>
#include <string_view>

namespace nimbra {

// The value as a PostScript string literal, parentheses included: "\" "(" ")" "[" "]" "{" "}"
// are escaped with a backslash, every byte above 127 becomes "\" and three octal digits, CR is
// dropped and LF becomes ") (" (so a text with a line break reads as two strings).
// "a(b)c\d" -> "(a\(b\)c\\d)", "é" (UTF-8 C3 A9) -> "(\303\251)", "" -> "()".
std::string PostScriptString(std::string_view value);

// The bytes a PostScript string literal stands for. `literal` may be given with or without its
// enclosing parentheses; escapes \n \r \t \b \f \\ \( \) and one to three octal digits are
// decoded, a backslash before a line end continues the line, and an unknown escape keeps the
// character after the backslash (as PostScript does).
std::string DecodePostScriptString(std::string_view literal);

// A DSC comment's value as text: when the trimmed value is one PostScript string "( ... )" it is
// decoded ("(Quarterly \(draft\) \303\274)" -> "Quarterly (draft) ü"); a plain value such as
// "Report" is returned trimmed and otherwise unchanged.
std::string DecodeDscText(std::string_view value);

// True when every byte is below 128.
bool IsPlainAscii(std::string_view text);

// The UTF-8 text as a PDF text string for a pdfmark: plain ASCII text is PostScriptString(text);
// any other text is "<FEFF" followed by its UTF-16BE code units in upper-case hex and ">", which
// pdfwrite stores as a Unicode text string (bytes that are not valid UTF-8 are taken as
// Latin-1 characters).
std::string PdfTextString(std::string_view text);

// The code points of a UTF-8 text; a byte that does not start a valid sequence stands for the
// Latin-1 character of the same code.
std::u32string DecodeUtf8(std::string_view text);

}  // namespace nimbra
