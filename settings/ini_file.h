#pragma once
// IniFile: turns an INI text file into a two-level ordered Dictionary and back. It knows
// nothing about setting names. The reader knows no comments, quoting, escapes or continuation
// lines: a line is a section header "[name]", a "key=value" pair, or ignored.
//
// Reading: lines end at CR LF, a lone CR or a lone LF (files edited on Linux use LF); only
// blanks (U+0020) are trimmed, tabs are text; lines shorter than 3 characters are skipped.
// A repeated section header replaces the earlier section in place (its keys are dropped).
// Lines may be of any length. A UTF-8 byte-order mark at the start is skipped.
//
// Writing: loose values first, then each section with its keys indented by two blanks; every
// line ends with CR LF. Save replaces the file atomically (temporary file in the same folder,
// then rename), so readers and concurrent writers never see a torn file; the last save wins.
//
// No operation throws: Load and Save report failure by their result and LastError /
// LastErrorMessage (error numbers as ErrorNumberFromErrno: 53 file not found, 75 access).
#include <string>

#include "platform/dictionary.h"

namespace nimbra {

class IniFile {
 public:
  IniFile();

  // The document, shared and not copied: changing it changes what the next Save writes.
  DictionaryPtr data() const { return data_; }
  // Replaces the document by `dict` (shared, not copied). A null pointer counts as empty.
  void set_data(DictionaryPtr dict);

  // Replaces data() by a new dictionary filled from the file. On failure data() keeps what
  // was read before the failure (empty when the file could not be opened).
  bool Load(const std::string& fileName);
  // Writes IniDict2String(data()) as the whole new content of the file.
  bool Save(const std::string& fileName);
  // Clears the error and makes data() a new empty dictionary.
  void Reset();

  long LastError() const { return lastError_; }
  const std::string& LastErrorMessage() const { return lastErrorMessage_; }

  // The INI text of `dict` (loose values first, then sections). Pure.
  static std::string IniDict2String(const Dictionary& dict);

 private:
  void ClearError();
  void SetError(long number, std::string message);

  DictionaryPtr data_;
  long lastError_ = 0;
  std::string lastErrorMessage_;
};

}  // namespace nimbra
