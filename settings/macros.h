#pragma once
// Macros in settings: "<name>" in a value is replaced when the job runs. Built-in names (date,
// time, docname, basedocname, username, computername, title, author, guid, personal, desktop),
// "env:" + variable and "vbs:" + script expression; an unknown name stays as written.
// Two forms: file-safe (document and user values cleaned for file names: \ / : * ? " < > |
// become "_", trailing dots removed) and text (values inserted unchanged).
#include <chrono>
#include <string>
#include <string_view>

#include "platform/dictionary.h"

namespace nimbra {

// The job's document facts that macros read; fixed for the job.
struct DocumentFacts {
  std::string documentName;  // as passed by the spooler
  std::string title;         // found in the printed document ("" when none)
  std::string author;        // found in the printed document ("" when none)

  // From the document properties dictionary (keys "title", "author"; null means none).
  static DocumentFacts From(std::string_view documentName, const DictionaryPtr& properties);
};

// The text with every "<name>" replaced; all date and time macros use one moment.
std::string ExpandMacros(std::string_view text, bool fileSafe, const DocumentFacts& facts);

// The value of one macro name at `moment`.
std::string EvaluateMacro(std::string_view name, std::chrono::system_clock::time_point moment,
                          bool fileSafe, const DocumentFacts& facts);

// Expands, in place, the settings that may hold macros: output (file-safe, trimmed, repeated
// "/" after the first character collapsed), watermarktext, mergefile and superimpose
// (file-safe), author and title (text, or the document's own author/title per
// "usedefaultauthor"/"usedefaulttitle"), subject and keywords (text).
void ExpandSettings(Dictionary& settings, const DocumentFacts& facts);

// Macro text -> localised description, in the order the macro pickers show them.
DictionaryPtr MacroList();

// The process-wide GUID of the "guid" macro (made on first use).
std::string ProcessGuid();

}  // namespace nimbra
