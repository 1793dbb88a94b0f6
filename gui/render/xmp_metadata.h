#pragma once
// Reading and setting simple properties of an XMP metadata packet as Ghostscript writes it
// (one rdf:RDF with rdf:Description elements; properties as elements or as attributes).
// PDF/A asks that the Info entries and these copies agree.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// How a document information entry is written in XMP.
enum class XmpForm {
  kText,          // <pdf:Keywords>text</pdf:Keywords>
  kLanguageAlt,   // <dc:title><rdf:Alt><rdf:li xml:lang='x-default'>text</rdf:li></rdf:Alt></dc:title>
  kOrderedArray,  // <dc:creator><rdf:Seq><rdf:li>text</rdf:li></rdf:Seq></dc:creator>
};

struct XmpProperty {
  std::string_view name;       // qualified name, e.g. "dc:title"
  std::string_view nameSpace;  // namespace URI of its prefix
  XmpForm form;
  std::string value;
};

// Text with the five XML special characters escaped; characters XML cannot hold (control
// characters other than tab and line breaks) are left out.
std::string XmlEscape(std::string_view text);
// The reverse, including numeric character references.
std::string XmlUnescape(std::string_view text);

// The text of the property `name` (element or attribute form; for arrays the first item),
// unescaped; nullopt when the packet does not have it.
std::optional<std::string> XmpPropertyText(std::string_view xmp, std::string_view name);

// The packet with every given property removed wherever it stood and written anew, in one
// rdf:Description placed before "</rdf:RDF>" (with the same rdf:about as the packet's first
// description). A packet without "</rdf:RDF>" is returned unchanged.
std::string XmpWithProperties(std::string_view xmp, const std::vector<XmpProperty>& properties);

}  // namespace nimbra
