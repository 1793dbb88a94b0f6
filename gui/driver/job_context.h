#pragma once
// The state of one gui run, from start-up to exit: what the command line said, who the job is,
// the job's settings once loaded, and what the pipeline has done so far. Start-up fills the
// first block, MakePDF the rest; the error handler reads all of it to report a failure.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/dictionary.h"

namespace nimbra {

struct JobContext {
  // Written at start-up from the command line.
  DictionaryPtr parameters = Dictionary::New();
  std::string sessionId;
  std::string documentName;
  std::string printerName;
  std::string instanceName;
  // author, title and creationdate of the captured PostScript (filled before MakePDF).
  DictionaryPtr documentProperties = Dictionary::New();

  // Written by MakePDF. jobSettings stays null until the job's settings are loaded; from then on
  // the error handler writes a failure status file.
  DictionaryPtr jobSettings;
  std::string outputFile;
  std::int32_t pageCount = 0;
  std::int32_t fileCount = 0;
  std::string runOnErrorCommand;
  std::string runOnErrorFolder;
  // The follow-up programs already started, so that the error handler does not start them twice.
  bool runOnErrorDone = false;
  bool afterPrintDone = false;

  // Written when the job's settings are resolved.
  bool runonceUsed = false;
  bool suppressErrors = false;
  bool debugMode = false;

  // The completion balloon: wanted, and when it was shown (start-up waits up to 5 s for it to
  // close; whether it closed is asked of the user interface).
  bool finishBalloon = false;
  std::optional<std::chrono::steady_clock::time_point> balloonShownAt;

  // Capture file of the main Ghostscript run, read by the tray's progress display.
  std::string ghostscriptOutputFile;
};

}  // namespace nimbra
