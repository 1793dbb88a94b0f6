#pragma once
// Backgrounds: the first page of one or more PDF files laid under selected pages. Each PDF is
// converted once into an EPS drawing; the patched PostScript names the drawing for each page it
// applies to, and the header's page set-up draws it before the page's own content.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/dictionary.h"

namespace nimbra {

// `superimpose` is not empty.
bool SuperimposeEnabled(const Dictionary& jobSettings);

// The background list of a `superimpose` text "file<place>file<place>...": keys "0", "1", ...;
// each value a dictionary with `filename` (not trimmed) and `place`.
DictionaryPtr ParsePlaceList(std::string_view placeList);

// What MakeSuperimposeFiles needs from the layers above it.
struct SuperimposeRunner {
  // Runs one Ghostscript pass (the render layer's RunGhostscript); raises its errors.
  std::function<void(const std::string& parameterFile, const std::string& captureFile)>
      runGhostscript;
  // Told the capture file of each pass before it starts (the job's ghostscriptOutputFile).
  std::function<void(const std::string& captureFile)> captureFileChanged;
  // Keep the capture files (the debug marker file exists).
  bool keepCaptureFiles = false;
};

// For each background i = 1, 2, ...: resolves its file against the program folder (error 1011
// "Background PDF '<name>' does not exist." when missing), writes the parameter file, runs
// Ghostscript into the full EPS, deletes the capture file (unless kept) and writes the
// page-ready EPS with CutAtShowpage. Patterns hold "#" for i.
void MakeSuperimposeFiles(const Dictionary& jobSettings, const std::string& epsPattern,
                          const std::string& fullEpsPattern, const std::string& parameterPattern,
                          const std::string& capturePattern, const SuperimposeRunner& runner);

// The parameter file of one background pass: -q -dSAFER -dNOPAUSE -dBATCH, the capture file as
// stdout, the vector EPS device, -r14400, the full EPS as output, the background PDF (first page
// only). One argument per line, LF line ends, quoted paths as whole arguments.
void WriteSuperimposeParameters(const std::string& parameterFile,
                                const std::string& backgroundFile, const std::string& fullEpsFile,
                                const std::string& captureFile);

// Writes `epsFile`: the drawing of `fullEpsFile` as a PostScript procedure body that paints the
// EPS the EPS way (its own save level, showpage disabled, operand and dictionary stacks
// balanced), so that it can run under a page of another document and leave that page's
// graphics state and definitions untouched.
void CutAtShowpage(const std::string& fullEpsFile, const std::string& epsFile);

// The page map: keys "1" ... pageCount (more for places beyond the last page) to the EPS file
// (pattern with "#" = background number) or "". Later backgrounds win. Raises error 6, its
// description beginning "Overflow", when pageCount or a number of a place exceeds 32767.
DictionaryPtr MakeSuperimposePageMap(const Dictionary& jobSettings, const std::string& epsPattern,
                                     std::int64_t pageCount);

}  // namespace nimbra
