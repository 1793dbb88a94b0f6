#pragma once
// The header PostScript that Ghostscript runs before the patched document: the stamp program,
// the page set-up that reports every finished page and draws the backgrounds and
// under-the-print stamps, the viewer settings (DOCVIEW) and the document information (DOCINFO).
#include <string>

#include "platform/dictionary.h"

namespace nimbra {

// The text of the /Producer entry. Ghostscript writes its own producer into the PDF whatever
// the header says; the entry is kept for other PostScript consumers.
inline constexpr char kProducerText[] = "Nimbra Creator / https://www.varnell.example";

// The whole header text (every line ends with CR LF). `includeStamp`: the stamp program is
// included (rendering pass) or not (append pass).
std::string MakePostScriptHeader(const Dictionary& jobSettings, bool includeStamp);

// Writes MakePostScriptHeader to `headerFile`, replacing it. True on success, false on any error.
bool WritePostScriptHeader(const std::string& headerFile, const Dictionary& jobSettings,
                           bool includeStamp);

// The PostScript that makes a Ghostscript run report each page it emits as a line
// "%%[Page: <n>]%%" on standard output (the run's capture file), counting across page-device
// changes, and that draws, at the start of each page, what the patched file named for it
// (background, bottom-layer stamp). Chains the EndPage and BeginPage procedures already
// installed.
std::string MakePageSetupProgram();

// The DOCVIEW and DOCINFO pdfmarks of the job. Plain ASCII values are written as PostScript
// strings; other text as UTF-16BE hex strings with byte-order mark, which reach the PDF as
// Unicode. For PDF/A (`pdfa` yes) values that need escapes or are not ASCII are left out:
// Ghostscript would give up PDF/A for them; the rendering step writes them afterwards.
std::string MakeDocViewMark(const Dictionary& jobSettings);
std::string MakeDocInfoMark(const Dictionary& jobSettings);

}  // namespace nimbra
