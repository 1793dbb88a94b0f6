#include "gui/postscript/postscript_properties.h"

#include <cctype>
#include <string_view>

#include "gui/postscript/line_reader.h"
#include "gui/postscript/postscript_string.h"

namespace nimbra {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

struct PropertyComment {
  std::string_view prefix;  // lower case
  std::string_view key;
};

constexpr PropertyComment kPropertyComments[] = {
    {"%%for:", "author"},
    {"%%title:", "title"},
    {"%%creationdate:", "creationdate"},
};

}  // namespace

DictionaryPtr ReadDocumentProperties(const std::string& postScriptFile) {
  DictionaryPtr properties = Dictionary::New();
  LineReader reader(postScriptFile);
  std::string line;
  std::string ending;
  for (int n = 0; n < kDocumentPropertyLines && reader.Next(line, ending); ++n) {
    for (const PropertyComment& comment : kPropertyComments) {
      if (StartsWithNoCase(line, comment.prefix)) {
        properties->Set(comment.key,
                        DecodeDscText(std::string_view(line).substr(comment.prefix.size())));
        break;
      }
    }
  }
  return properties;
}

std::int64_t GetPageCount(const std::string& postScriptFile) {
  LineReader reader(postScriptFile);
  std::string line;
  std::string ending;
  std::int64_t pages = 0;
  while (reader.Next(line, ending)) {
    if (line.starts_with("%%Page:")) ++pages;
  }
  return pages;
}

}  // namespace nimbra
