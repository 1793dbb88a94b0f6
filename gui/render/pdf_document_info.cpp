#include "gui/render/pdf_document_info.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <utility>

#include "gui/render/xmp_metadata.h"
#include "platform/dictionary.h"
#include "platform/error.h"

namespace nimbra {
namespace {

constexpr char kOperation[] = "ApplyDocumentInfo";
constexpr std::string_view kDublinCore = "http://purl.org/dc/elements/1.1/";
constexpr std::string_view kAdobePdf = "http://ns.adobe.com/pdf/1.3/";
constexpr std::string_view kXmpBasic = "http://ns.adobe.com/xap/1.0/";

struct InfoEntry {
  const char* infoKey;
  std::string_view xmpName;
  std::string_view xmpNameSpace;
  XmpForm xmpForm;
  std::string DocumentInfo::*value;
};

// Each Info entry with its XMP copy, as PDF/A pairs them.
constexpr InfoEntry kEntries[] = {
    {"/Title", "dc:title", kDublinCore, XmpForm::kLanguageAlt, &DocumentInfo::title},
    {"/Author", "dc:creator", kDublinCore, XmpForm::kOrderedArray, &DocumentInfo::author},
    {"/Subject", "dc:description", kDublinCore, XmpForm::kLanguageAlt, &DocumentInfo::subject},
    {"/Keywords", "pdf:Keywords", kAdobePdf, XmpForm::kText, &DocumentInfo::keywords},
    {"/Creator", "xmp:CreatorTool", kXmpBasic, XmpForm::kText, &DocumentInfo::creator},
};

void OpenPdf(QPDF& pdf, const std::string& pdfPath, const std::string& password) {
  pdf.setSuppressWarnings(true);
  pdf.processFile(pdfPath.c_str(), password.empty() ? nullptr : password.c_str());
}

std::string MetadataText(QPDFObjectHandle metadata) {
  const std::shared_ptr<Buffer> data = metadata.getStreamData(qpdf_dl_generalized);
  return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

// Writes the changed document next to the original and renames it over it, so a failure
// leaves the original untouched. Streams are copied as they are (no recompression), and the
// encryption of the original is kept.
void WriteOver(QPDF& pdf, const std::string& pdfPath) {
  std::string temporary = pdfPath + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) throw SystemError(errno, "Cannot create a file beside " + pdfPath, kOperation);
  struct stat original {};
  if (::stat(pdfPath.c_str(), &original) == 0) ::fchmod(fd, original.st_mode & 07777);
  FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    throw SystemError(error, "Cannot write " + temporary, kOperation);
  }
  try {
    QPDFWriter writer(pdf, temporary.c_str(), file, true);
    writer.setDecodeLevel(qpdf_dl_none);
    // Also keeps the new metadata stream unfiltered, as PDF/A-1 wants it.
    writer.setCompressStreams(false);
    writer.write();
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  if (::rename(temporary.c_str(), pdfPath.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throw SystemError(error, "Cannot replace " + pdfPath, kOperation);
  }
}

}  // namespace

DocumentInfo DocumentInfoFromSettings(const Dictionary& jobSettings) {
  DocumentInfo info;
  info.title = jobSettings.Item("title");
  info.author = jobSettings.Item("author");
  info.subject = jobSettings.Item("subject");
  info.keywords = jobSettings.Item("keywords");
  info.creator = jobSettings.Item("creator");
  return info;
}

bool ApplyDocumentInfo(const std::string& pdfPath, const DocumentInfo& info,
                       const std::string& password) {
  std::vector<const InfoEntry*> wanted;
  for (const InfoEntry& entry : kEntries) {
    if (!(info.*entry.value).empty()) wanted.push_back(&entry);
  }
  if (wanted.empty()) return false;

  try {
    QPDF pdf;
    OpenPdf(pdf, pdfPath, password);
    bool changed = false;

    QPDFObjectHandle trailer = pdf.getTrailer();
    QPDFObjectHandle infoDictionary = trailer.getKey("/Info");
    if (!infoDictionary.isDictionary()) {
      infoDictionary = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
      trailer.replaceKey("/Info", infoDictionary);
      changed = true;
    }
    for (const InfoEntry* entry : wanted) {
      const std::string& value = info.*entry->value;
      QPDFObjectHandle current = infoDictionary.getKey(entry->infoKey);
      if (!current.isString() || current.getUTF8Value() != value) {
        // PDFDocEncoding when the text fits it, else UTF-16BE with its byte-order mark.
        infoDictionary.replaceKey(entry->infoKey, QPDFObjectHandle::newUnicodeString(value));
        changed = true;
      }
    }

    QPDFObjectHandle metadata = pdf.getRoot().getKey("/Metadata");
    if (metadata.isStream()) {
      const std::string xmp = MetadataText(metadata);
      std::vector<XmpProperty> properties;
      bool xmpDiffers = false;
      for (const InfoEntry* entry : wanted) {
        const std::string& value = info.*entry->value;
        properties.push_back({entry->xmpName, entry->xmpNameSpace, entry->xmpForm, value});
        xmpDiffers = xmpDiffers || XmpPropertyText(xmp, entry->xmpName) != value;
      }
      if (xmpDiffers) {
        const std::string updated = XmpWithProperties(xmp, properties);
        if (updated != xmp) {
          metadata.replaceStreamData(updated, QPDFObjectHandle::newNull(),
                                     QPDFObjectHandle::newNull());
          changed = true;
        }
      }
    }

    if (!changed) return false;
    WriteOver(pdf, pdfPath);
    return true;
  } catch (const Error&) {
    throw;
  } catch (const std::exception& e) {
    throw Error(err::kGeneral,
                "Unable to set the document information of " + pdfPath + ": " + e.what(),
                kOperation);
  }
}

bool ApplyDocumentInfo(const std::string& pdfPath, const Dictionary& jobSettings) {
  return ApplyDocumentInfo(pdfPath, DocumentInfoFromSettings(jobSettings),
                           jobSettings.Item("ownerpassword"));
}

bool PdfaDeclared(const std::string& pdfPath, const std::string& password) {
  try {
    QPDF pdf;
    OpenPdf(pdf, pdfPath, password);
    QPDFObjectHandle metadata = pdf.getRoot().getKey("/Metadata");
    if (!metadata.isStream()) return false;
    const std::optional<std::string> part = XmpPropertyText(MetadataText(metadata), "pdfaid:part");
    return part.has_value() && !part->empty();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace nimbra
