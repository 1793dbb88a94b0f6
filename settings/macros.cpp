#include "settings/macros.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/files.h"
#include "platform/system_info.h"
#include "settings/folders.h"
#include "settings/localisation.h"
#include "settings/script_engine.h"
#include "settings/settings_keys.h"

namespace nimbra {
namespace {

std::tm LocalTime(std::chrono::system_clock::time_point moment) {
  const std::time_t t = std::chrono::system_clock::to_time_t(moment);
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

std::string FormatDate(std::chrono::system_clock::time_point moment) {
  const std::tm t = LocalTime(moment);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return text;
}

std::string FormatTime(std::chrono::system_clock::time_point moment) {
  const std::tm t = LocalTime(moment);
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

// Values that come from the document or the user may hold characters a file name cannot.
std::string Cleaned(std::string_view value) { return FileNameEncode(value, /*percentForm=*/false); }

// The document name without folder and without its extension. Document names may come from
// clients that write "\" as well as "/".
std::string BaseDocumentName(std::string_view documentName) {
  const auto slash = documentName.find_last_of("/\\");
  std::string_view name =
      slash == std::string_view::npos ? documentName : documentName.substr(slash + 1);
  const auto dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return Cleaned(name);
}

bool HasPrefix(std::string_view name, std::string_view prefix) {
  if (name.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

// Repeated "/" after the first character become one; a leading "//" stays.
std::string CollapseSeparators(const std::string& path) {
  if (path.empty()) return path;
  std::string result(1, path[0]);
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] == '/' && result.size() > 1 && result.back() == '/') continue;
    result += path[i];
  }
  return result;
}

// "author" and "title": the configured text (expanded), or the document's own value, the
// "usedefault..." flag deciding which of the two is preferred.
void ExpandDocumentText(Dictionary& settings, std::string_view key, std::string_view flagKey,
                        const std::string& documentValue, const DocumentFacts& facts) {
  const std::string configured = settings.Item(key);
  const bool preferDocument = IsYes(settings.Item(flagKey));
  const bool useConfigured = preferDocument ? documentValue.empty() : !configured.empty();
  settings.Set(key, useConfigured ? ExpandMacros(configured, false, facts) : documentValue);
}

void ExpandOne(Dictionary& settings, std::string_view key, bool fileSafe,
               const DocumentFacts& facts) {
  settings.Set(key, ExpandMacros(settings.Item(key), fileSafe, facts));
}

}  // namespace

DocumentFacts DocumentFacts::From(std::string_view documentName, const DictionaryPtr& properties) {
  DocumentFacts facts;
  facts.documentName = std::string(documentName);
  if (properties) {
    facts.title = properties->Item("title");
    facts.author = properties->Item("author");
  }
  return facts;
}

std::string ProcessGuid() {
  static const std::string guid = NewGuid();
  return guid;
}

std::string EvaluateMacro(std::string_view name, std::chrono::system_clock::time_point moment,
                          bool fileSafe, const DocumentFacts& facts) {
  auto clean = [fileSafe](std::string_view value) {
    return fileSafe ? Cleaned(value) : std::string(value);
  };
  if (name == "date") return FormatDate(moment);
  if (name == "time") return FormatTime(moment);
  if (name == "docname") return clean(facts.documentName);
  if (name == "basedocname") return BaseDocumentName(facts.documentName);
  if (name == "username") return clean(UserName());
  if (name == "computername") return clean(ComputerName());
  if (name == "title") return clean(facts.title);
  if (name == "author") return clean(facts.author);
  if (name == "guid") return ProcessGuid();
  if (name == "personal") return SpecialFolder(kDocuments);
  if (name == "desktop") return SpecialFolder(kDesktop);
  if (HasPrefix(name, "env:")) {
    const char* value = std::getenv(std::string(name.substr(4)).c_str());
    return value ? value : "";
  }
  if (HasPrefix(name, "vbs:")) return EvaluateScriptMacro(name.substr(4), facts.title);
  return "<" + std::string(name) + ">";
}

std::string ExpandMacros(std::string_view text, bool fileSafe, const DocumentFacts& facts) {
  const auto moment = std::chrono::system_clock::now();
  std::string result;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto open = text.find('<', start);
    const auto close = open == std::string_view::npos ? open : text.find('>', open + 1);
    if (close == std::string_view::npos) {
      result += text.substr(start);
      break;
    }
    result += text.substr(start, open - start);
    result += EvaluateMacro(text.substr(open + 1, close - open - 1), moment, fileSafe, facts);
    start = close + 1;
  }
  return result;
}

void ExpandSettings(Dictionary& settings, const DocumentFacts& facts) {
  settings.Set("output",
               CollapseSeparators(TrimSpaces(ExpandMacros(settings.Item("output"), true, facts))));
  ExpandOne(settings, "watermarktext", false, facts);
  ExpandOne(settings, "mergefile", true, facts);
  ExpandOne(settings, "superimpose", true, facts);
  ExpandDocumentText(settings, "author", "usedefaultauthor", facts.author, facts);
  ExpandDocumentText(settings, "title", "usedefaulttitle", facts.title, facts);
  ExpandOne(settings, "subject", false, facts);
  ExpandOne(settings, "keywords", false, facts);
}

DictionaryPtr MacroList() {
  auto list = Dictionary::New();
  list->Set("date", Localize("[L97]Date") + " (" + Localize("[L130]yyyy-mm-dd") + ")");
  list->Set("time", Localize("[L98]Time") + " (" + Localize("[L131]hh.mm.ss") + ")");
  list->Set("docname", Localize("[L99]Document name"));
  list->Set("basedocname", Localize("[L100]Document name without extension"));
  list->Set("username", Localize("[L101]User name"));
  list->Set("computername", Localize("[L102]Computer name"));
  list->Set("author", Localize("[L103]Document author"));
  list->Set("title", Localize("[L104]Document title"));
  list->Set("guid", Localize("[L105]System generated GUID"));
  list->Set("personal", Localize("[L106]Location of personal documents"));
  list->Set("desktop", Localize("[L107]User's desktop"));
  list->Set("env:TEMP", Localize("[L108]Value of environment variable TEMP"));
  return list;
}

}  // namespace nimbra
