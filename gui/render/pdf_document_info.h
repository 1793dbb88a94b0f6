#pragma once
// Document information after Ghostscript. Ghostscript keeps only what it can represent: in
// PDF/A mode it drops DOCINFO text that is not plain ASCII, and DSC comments of the input
// override the header's entries. This step sets the Info entries (as PDF text strings:
// PDFDocEncoding when possible, else UTF-16BE) and their copies in the XMP metadata, so the
// text reaches the PDF intact in any language and a PDF/A file stays PDF/A.
#include <string>

namespace nimbra {

class Dictionary;

struct DocumentInfo {
  std::string title;     // /Title      and dc:title
  std::string author;    // /Author     and dc:creator
  std::string subject;   // /Subject    and dc:description
  std::string keywords;  // /Keywords   and pdf:Keywords
  std::string creator;   // /Creator    and xmp:CreatorTool
};

// The information the job asks for: `title`, `author`, `subject`, `keywords`, `creator`.
DocumentInfo DocumentInfoFromSettings(const Dictionary& jobSettings);

// Sets every non-empty entry of `info` in the PDF's Info dictionary and, when the PDF has XMP
// metadata, in the metadata too; empty entries are left as they are. The file is rewritten
// only when something differs (atomically: a new file renamed over the old one); encryption is
// kept, and `password` opens an encrypted file. Returns true when the file was rewritten.
// Raises error 1000 with qpdf's message when the PDF cannot be read or written.
bool ApplyDocumentInfo(const std::string& pdfPath, const DocumentInfo& info,
                       const std::string& password = {});

// The same with the job's information and its owner password.
bool ApplyDocumentInfo(const std::string& pdfPath, const Dictionary& jobSettings);

// True when the PDF's XMP metadata declares PDF/A conformance (a pdfaid:part entry).
bool PdfaDeclared(const std::string& pdfPath, const std::string& password = {});

}  // namespace nimbra
