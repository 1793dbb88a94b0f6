#include "gui/render/xmp_metadata.h"

#include <cstdint>

#include "platform/text_encoding.h"

namespace nimbra {
namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Position of the start tag "<name" (followed by a blank, ">" or "/"), from `from` on.
std::size_t FindStartTag(std::string_view xmp, std::string_view name, std::size_t from = 0) {
  const std::string open = "<" + std::string(name);
  for (std::size_t at = xmp.find(open, from); at != std::string_view::npos;
       at = xmp.find(open, at + 1)) {
    const std::size_t after = at + open.size();
    if (after < xmp.size() && (IsXmlSpace(xmp[after]) || xmp[after] == '>' || xmp[after] == '/')) {
      return at;
    }
  }
  return std::string_view::npos;
}

struct Span {
  std::size_t begin = std::string_view::npos;
  std::size_t end = 0;  // one past the last character
  std::size_t contentBegin = 0;
  std::size_t contentEnd = 0;
  bool Found() const { return begin != std::string_view::npos; }
};

// The element <name ...>...</name> or <name .../> starting at or after `from`.
Span FindElement(std::string_view xmp, std::string_view name, std::size_t from = 0) {
  Span span;
  const std::size_t at = FindStartTag(xmp, name, from);
  if (at == std::string_view::npos) return span;
  const std::size_t tagEnd = xmp.find('>', at);
  if (tagEnd == std::string_view::npos) return span;
  span.begin = at;
  if (xmp[tagEnd - 1] == '/') {
    span.end = span.contentBegin = span.contentEnd = tagEnd + 1;
    return span;
  }
  const std::string close = "</" + std::string(name) + ">";
  const std::size_t closeAt = xmp.find(close, tagEnd + 1);
  if (closeAt == std::string_view::npos) return Span{};
  span.contentBegin = tagEnd + 1;
  span.contentEnd = closeAt;
  span.end = closeAt + close.size();
  return span;
}

// The attribute name='value' or name="value" inside a start tag; begin..end covers the blank
// before it through the closing quotation mark.
Span FindAttribute(std::string_view xmp, std::string_view name, std::size_t from = 0) {
  const std::string key = std::string(name) + "=";
  for (std::size_t at = xmp.find(key, from); at != std::string_view::npos;
       at = xmp.find(key, at + 1)) {
    if (at == 0 || !IsXmlSpace(xmp[at - 1])) continue;
    const std::size_t quoteAt = at + key.size();
    if (quoteAt >= xmp.size() || (xmp[quoteAt] != '\'' && xmp[quoteAt] != '"')) continue;
    const std::size_t closeAt = xmp.find(xmp[quoteAt], quoteAt + 1);
    if (closeAt == std::string_view::npos) break;
    // Only inside a tag: the last "<" before it comes after the last ">".
    const std::size_t lastOpen = xmp.rfind('<', at);
    const std::size_t lastClose = xmp.rfind('>', at);
    if (lastOpen == std::string_view::npos ||
        (lastClose != std::string_view::npos && lastClose > lastOpen)) {
      continue;
    }
    Span span;
    span.begin = at - 1;
    span.end = closeAt + 1;
    span.contentBegin = quoteAt + 1;
    span.contentEnd = closeAt;
    return span;
  }
  return Span{};
}

std::string PropertyElement(const XmpProperty& property) {
  const std::string name(property.name);
  const std::string text = XmlEscape(property.value);
  switch (property.form) {
    case XmpForm::kLanguageAlt:
      return "<" + name + "><rdf:Alt><rdf:li xml:lang='x-default'>" + text +
             "</rdf:li></rdf:Alt></" + name + ">";
    case XmpForm::kOrderedArray:
      return "<" + name + "><rdf:Seq><rdf:li>" + text + "</rdf:li></rdf:Seq></" + name + ">";
    case XmpForm::kText:
      break;
  }
  return "<" + name + ">" + text + "</" + name + ">";
}

}  // namespace

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
        out += c;
    }
  }
  return out;
}

std::string XmlUnescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const std::size_t semicolon = text.find(';', i);
    if (semicolon == std::string_view::npos) {
      out += text[i];
      continue;
    }
    const std::string_view entity = text.substr(i + 1, semicolon - i - 1);
    if (entity == "amp") {
      out += '&';
    } else if (entity == "lt") {
      out += '<';
    } else if (entity == "gt") {
      out += '>';
    } else if (entity == "quot") {
      out += '"';
    } else if (entity == "apos") {
      out += '\'';
    } else if (entity.size() > 1 && entity[0] == '#') {
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      std::uint32_t code = 0;
      bool valid = entity.size() > (hex ? 2u : 1u);
      for (char c : entity.substr(hex ? 2 : 1)) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0 || code > 0x10FFFF) {
          valid = false;
          break;
        }
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
      }
      if (!valid || code > 0x10FFFF) {
        out += text[i];
        continue;
      }
      AppendUtf8(out, code);
    } else {
      out += text[i];
      continue;
    }
    i = semicolon;
  }
  return out;
}

std::optional<std::string> XmpPropertyText(std::string_view xmp, std::string_view name) {
  const Span element = FindElement(xmp, name);
  if (element.Found()) {
    std::string_view content =
        xmp.substr(element.contentBegin, element.contentEnd - element.contentBegin);
    const Span item = FindElement(content, "rdf:li");
    if (item.Found()) {
      content = content.substr(item.contentBegin, item.contentEnd - item.contentBegin);
    }
    return XmlUnescape(content);
  }
  const Span attribute = FindAttribute(xmp, name);
  if (attribute.Found()) {
    return XmlUnescape(
        xmp.substr(attribute.contentBegin, attribute.contentEnd - attribute.contentBegin));
  }
  return std::nullopt;
}

std::string XmpWithProperties(std::string_view xmp, const std::vector<XmpProperty>& properties) {
  const std::size_t rdfEnd = xmp.rfind("</rdf:RDF>");
  if (rdfEnd == std::string_view::npos || properties.empty()) return std::string(xmp);

  std::string head(xmp.substr(0, rdfEnd));
  for (const XmpProperty& property : properties) {
    for (Span s = FindElement(head, property.name); s.Found(); s = FindElement(head, property.name)) {
      head.erase(s.begin, s.end - s.begin);
    }
    for (Span s = FindAttribute(head, property.name); s.Found();
         s = FindAttribute(head, property.name)) {
      head.erase(s.begin, s.end - s.begin);
    }
  }

  // Every description of a packet describes the same resource.
  std::string about = "rdf:about=\"\"";
  const Span firstAbout = FindAttribute(head, "rdf:about");
  if (firstAbout.Found()) about = head.substr(firstAbout.begin + 1, firstAbout.end - firstAbout.begin - 1);

  std::string description = "<rdf:Description " + about;
  std::vector<std::string_view> declared;
  for (const XmpProperty& property : properties) {
    const std::string_view prefix = property.name.substr(0, property.name.find(':'));
    bool known = false;
    for (std::string_view d : declared) known = known || d == prefix;
    if (known) continue;
    declared.push_back(prefix);
    description += " xmlns:" + std::string(prefix) + "='" + std::string(property.nameSpace) + "'";
  }
  description += ">";
  for (const XmpProperty& property : properties) description += PropertyElement(property);
  description += "</rdf:Description>\n";

  return head + description + std::string(xmp.substr(rdfEnd));
}

}  // namespace nimbra
