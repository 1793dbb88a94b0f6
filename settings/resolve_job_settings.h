#pragma once
// The settings step of a print job: load the printer's settings (consuming a one-shot file),
// expand the macros, then ask for a file name and show the per-job settings dialog as the
// settings say. The person is reached only through the UserInterface; when it cannot show
// dialogs (headless), the job goes on unattended as if "showsaveas" and "showsettings" were
// "never", and the "showpdf" "ask" question is answered "no".
//
// Used by the job pipeline (MakePDF). For the options-mode test of "disableoptiondialog" use
// LoadConfig(printer, /*ignoreRunonce=*/true, name) instead: it does not consume a one-shot file.
#include <string>

#include "platform/dictionary.h"

namespace nimbra {

class UserInterface;

// What the job knows before its settings are resolved.
struct JobSettingsRequest {
  std::string printerName;   // selects the settings files
  std::string documentName;  // the spooler's document name (macros <docname>, <basedocname>)
  // author, title and creationdate read from the captured PostScript (may be null).
  DictionaryPtr documentProperties;
};

struct JobSettingsResult {
  // False when the person cancelled the per-job settings dialog: the job ends quietly.
  bool proceed = false;
  // The job's settings, loaded, expanded and possibly edited by the dialogs. Never null.
  DictionaryPtr settings;
  // The per-user settings file that was used (one-shot or persistent).
  std::string fileName;
  // The name chosen in the Save As dialog ("" when none was shown or it was cancelled).
  std::string chosenOutputName;
  // Copied into the job context by the driver.
  bool runonceUsed = false;
  bool suppressErrors = false;  // "suppresserrors" is "yes"
  bool debugMode = false;       // "debug" is "yes"
};

// Raises the errors of LoadConfig (1002) and of the macro expansion.
JobSettingsResult ResolveJobSettings(const JobSettingsRequest& request, UserInterface& ui);

// The same, filling `result` as the step goes: when a later step raises (a script macro whose
// file the engine rejects), `result` already holds the loaded settings, the file name and the
// flags, so the error report can honour "suppresserrors" and "debug" of the job.
void ResolveJobSettings(const JobSettingsRequest& request, UserInterface& ui,
                        JobSettingsResult& result);

}  // namespace nimbra
