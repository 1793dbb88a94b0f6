#pragma once
// The patched copy of the captured PostScript: the header comments "%%Title:" and "%%For:"
// carry the job's title and author, and after every "%%Page:" comment the page's background
// and under-the-print stamp are named for the page set-up installed by the header
// (postscript_header.h) to draw. Every other line keeps its bytes exactly.
#include <string>

#include "platform/dictionary.h"

namespace nimbra {

// Copies `postScriptFile` into `patchedFile` line by line (any line length, never the whole file
// in memory). `epsPattern` is the trimmed-EPS name pattern of the backgrounds with "#" for the
// background's number (superimpose.h); it is used only when `superimpose` is set. Logs the
// steps to the run's log. Raises the file errors (53 missing input or background EPS, 75 access),
// error 6 "Overflow" for a document of more than 32767 pages, and the page-map errors.
void PatchPostScriptFile(const Dictionary& jobSettings, const std::string& epsPattern,
                         const std::string& patchedFile, const std::string& postScriptFile);

}  // namespace nimbra
