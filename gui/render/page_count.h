#pragma once
// Page progress of a Ghostscript run, read from its capture file. Every run reports each page
// as a line "%%[Page: <n>]%%"; the tray progress polls this while Ghostscript is still writing,
// and the pipeline reads the final count after the run.
#include <string>

namespace nimbra {

// The number of the last complete "%%[Page: <n>]%%" marker within the last 1000 bytes of the
// capture file (a marker cut off at the end is passed over); 0 when there is none or the file
// cannot be read. The file is opened for reading only, so Ghostscript may keep writing it.
int ReadPageCount(const std::string& captureFile);

// The same search on text already read (the tail of a capture file).
int PageCountFromText(const std::string& text);

}  // namespace nimbra
