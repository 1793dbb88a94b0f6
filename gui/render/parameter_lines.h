#pragma once
// Building the lines of a Ghostscript parameter file. Ghostscript reads one argument per line
// (LF line ends: a CR would become part of the argument) and removes quotation marks only when
// they enclose the whole argument, so a quoted path is written as "-sOutputFile#/a b/x.pdf",
// never as -sOutputFile#"/a b/x.pdf" (which names a file with quotation marks in it).
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

class ParameterLines {
 public:
  // The argument as it is ("-dSAFER", "-sDEVICE#pdfwrite").
  void Add(std::string_view argument);
  // A value that is normally written bare (a password, a number, a name): enclosed in
  // quotation marks only when it holds a blank, a tab or a quotation mark, since Ghostscript
  // would otherwise split it or strip the marks.
  void AddValue(std::string_view prefix, std::string_view value);
  // Always enclosed in quotation marks as a whole: "<prefix><path>".
  void AddQuoted(std::string_view prefix, std::string_view path);

  // The lines joined, each ended by LF.
  std::string Text() const;
  // Writes Text() as the file's whole content.
  void WriteTo(const std::string& parameterFile) const;

 private:
  std::vector<std::string> lines_;
};

// The argument line for `text` as AddValue writes it. A line break can be written in no form
// (it would start a new argument): error 1000.
std::string ValueArgument(std::string_view prefix, std::string_view value);
std::string QuotedArgument(std::string_view prefix, std::string_view path);

// The font folders for -sFONTPATH: fontconfig's folders joined by ":".
std::string FontPathText();

}  // namespace nimbra
